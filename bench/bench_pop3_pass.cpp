// The header pass (logon, STAT, TOP n 0 for every message) and the download pass (RETR of every
// message) of CPOP3Client against a private Dovecot, side by side with Python's poplib doing the
// same passes one command at a time against the same server in the same run.
//
// usage: bench_pop3_pass [MESSAGES] [ROUNDS]   (default 10000 messages of about 2 KB, 3 rounds)
// Prints the best time of the rounds for each client and the ratio ours / poplib.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "net/CPOP3Client.h"
#include "tests/support/DovecotServer.h"

namespace {

using sieveclaw::CEmailMsg;
using sieveclaw::CPOP3Client;
using sieveclaw::CTransportOptions;
using sieveclaw::test::CDovecotServer;

constexpr const char* kUser = "bench";
constexpr const char* kPassword = "benchpw";

// A plausible 2 KB message: a dozen header lines and a body of short text lines.
std::string MakeMessage(int index) {
    std::string text = "Return-Path: <sender" + std::to_string(index % 97) + "@example.net>\n" +
                       "Received: from mx.example.net (mx.example.net [192.0.2.7])\n\tby pop.example.org; Tue, 8 "
                       "Dec 2026 09:00:00 +0000\n" +
                       "Message-ID: <" + std::to_string(index) + ".bench@example.net>\n" +
                       "Date: Tue, 8 Dec 2026 09:" + std::to_string(10 + index % 50) + ":00 +0000\n" +
                       "From: Sender " + std::to_string(index % 97) + " <sender" + std::to_string(index % 97) +
                       "@example.net>\n" + "To: Reader <reader@example.org>\n" +
                       "Subject: Weekly figures, part " + std::to_string(index) + "\n" +
                       "MIME-Version: 1.0\nContent-Type: text/plain; charset=us-ascii\n\n";
    while (text.size() < 2000) {
        text += "The quarterly numbers are in the shared folder; please read them before Friday.\n";
    }
    return text;
}

struct Pass {
    double m_Seconds = 0;
    long long m_Messages = 0;
};

Pass OurPass(const CDovecotServer& server, bool tls, bool retr) {
    CTransportOptions options;
    options.m_CaFile = server.CaFile();
    options.m_ImplicitTlsPorts = {server.TlsPort()};
    const int port = tls ? server.TlsPort() : server.PlainPort();
    const auto start = std::chrono::steady_clock::now();
    CPOP3Client client(std::move(options));
    Pass pass;
    if (!client.Logon("127.0.0.1", kUser, kPassword, port)) {
        std::fprintf(stderr, "logon failed: %s\n", client.m_LastError.c_str());
        std::exit(1);
    }
    long long count = 0;
    long long size = 0;
    client.GetStats(count, size);
    for (long long n = 1; n <= count; ++n) {
        CEmailMsg message;
        if (retr) {
            client.GetMessage(static_cast<int>(n), message);
            pass.m_Messages += message.m_RawText.empty() ? 0 : 1;
        } else {
            client.GetHeader(static_cast<int>(n), message);
            pass.m_Messages += message.m_Subject.empty() ? 0 : 1;
        }
    }
    client.Logoff();
    pass.m_Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return pass;
}

Pass PoplibPass(const CDovecotServer& server, bool tls, bool retr) {
    const std::string command = std::string("/usr/bin/python3 ") + SIEVECLAW_POPLIB_SCRIPT + " 127.0.0.1 " +
                                std::to_string(tls ? server.TlsPort() : server.PlainPort()) + " " + kUser + " " +
                                kPassword + " " + server.CaFile() + (tls ? " tls" : " plain") +
                                (retr ? " retr" : " headers");
    Pass pass;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr || std::fscanf(pipe, "%lf %lld", &pass.m_Seconds, &pass.m_Messages) != 2) {
        std::fprintf(stderr, "poplib pass failed: %s\n", command.c_str());
        std::exit(1);
    }
    ::pclose(pipe);
    return pass;
}

}  // namespace

int main(int argc, char** argv) {
    const int messages = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;

    std::vector<std::string> mailbox;
    mailbox.reserve(static_cast<std::size_t>(messages));
    for (int i = 0; i < messages; ++i) {
        mailbox.push_back(MakeMessage(i));
    }
    // A server that offers STLS gets it from our client, so the plain figures come from a
    // second server without TLS, holding the same mailbox.
    CDovecotServer plainServer(CDovecotServer::ECertificateNames::kLocalhostAndIp, CDovecotServer::ETls::kOff);
    CDovecotServer tlsServer;
    plainServer.AddUser(kUser, kPassword, mailbox);
    tlsServer.AddUser(kUser, kPassword, std::move(mailbox));
    for (CDovecotServer* server : {&plainServer, &tlsServer}) {
        if (!server->Start()) {
            std::fprintf(stderr, "dovecot did not start: %s\n", server->Error().c_str());
            return 1;
        }
    }

    std::printf("%d messages of about 2 KB, best of %d rounds, Dovecot on 127.0.0.1\n", messages, rounds);
    std::printf("%-8s %-6s %12s %12s %8s\n", "pass", "link", "CPOP3Client", "poplib", "ratio");
    for (const bool retr : {false, true}) {
        for (const bool tls : {false, true}) {
            double ours = 1e9;
            double peer = 1e9;
            const CDovecotServer& server = tls ? tlsServer : plainServer;
            for (int round = 0; round < rounds; ++round) {
                const Pass mine = OurPass(server, tls, retr);
                const Pass theirs = PoplibPass(server, tls, retr);
                if (mine.m_Messages != messages || theirs.m_Messages != messages) {
                    std::fprintf(stderr, "a pass saw %lld / %lld messages, not %d\n", mine.m_Messages,
                                 theirs.m_Messages, messages);
                    return 1;
                }
                ours = std::min(ours, mine.m_Seconds);
                peer = std::min(peer, theirs.m_Seconds);
            }
            std::printf("%-8s %-6s %11.3fs %11.3fs %8.2f\n", retr ? "RETR" : "TOP n 0", tls ? "TLS" : "plain",
                        ours, peer, ours / peer);
        }
    }
    return 0;
}
