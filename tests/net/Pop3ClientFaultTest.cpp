#include "net/CPOP3Client.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <thread>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "core/ActivityLog.h"
#include "core/StatusSink.h"
#include "net/SockRecv.h"
#include "tests/support/DovecotServer.h"
#include "tests/support/FaultServer.h"

namespace sieveclaw {
namespace {

using namespace std::chrono_literals;
using test::CFaultServer;
using test::FinishesWithin;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using ::testing::StartsWith;

constexpr auto kHangGuard = 60s;
constexpr std::size_t kSixteenMiB = 16u * 1024 * 1024;

// Replies that come at all come long before this; only the silent-server tests shorten it.
CTransportOptions Patient() {
    CTransportOptions options;
    options.m_TimeoutUnit = 1s;
    options.m_Timeout = [] { return 30; };
    return options;
}

CTransportOptions ShortTimeout(std::chrono::milliseconds unit = 200ms, int units = 1) {
    CTransportOptions options;
    options.m_TimeoutUnit = unit;
    options.m_Timeout = [units] { return units; };
    return options;
}

// Greeting, a CAPA the server does not know, USER and PASS accepted.
CFaultServer& ScriptPlainLogon(CFaultServer& server) {
    return server.Pop3Greeting()
        .Expect("CAPA")
        .Send("-ERR unknown command\r\n")
        .Expect("USER bob")
        .Send("+OK\r\n")
        .Expect("PASS secret")
        .Send("+OK logged in\r\n");
}

std::unique_ptr<CPOP3Client> LoggedOn(CFaultServer& server) {
    auto client = std::make_unique<CPOP3Client>(Patient());
    EXPECT_TRUE(client->Logon("127.0.0.1", "bob", "secret", server.Port()));
    return client;
}

// Connected but not logged on: for the commands that do not look at m_Connected.
std::unique_ptr<CPOP3Client> ConnectedOnly(CFaultServer& server, CTransportOptions options = Patient()) {
    auto client = std::make_unique<CPOP3Client>(std::move(options));
    EXPECT_TRUE(client->m_Sock.Connect("127.0.0.1", server.Port()));
    return client;
}

std::vector<std::string> ReceivedAfterClientLeft(std::unique_ptr<CPOP3Client>& client, CFaultServer& server) {
    client.reset();
    EXPECT_TRUE(server.WaitClientGone(kHangGuard));
    return server.Received();
}

// What the client said in plain text: the lines of a TLS handshake it began are left out.
std::vector<std::string> PlainCommands(const std::vector<std::string>& received) {
    std::vector<std::string> commands;
    for (const std::string& line : received) {
        if (std::all_of(line.begin(), line.end(), [](char c) { return c >= 0x20 && c < 0x7f; })) {
            commands.push_back(line);
        }
    }
    return commands;
}

class CRecordingSink : public CStatusSink {
public:
    void PostStatus(int code, std::int64_t value) override { m_Posts.emplace_back(code, value); }
    std::vector<std::pair<int, std::int64_t>> m_Posts;
};

// --- logon ------------------------------------------------------------------------------------

TEST(Pop3ClientFaultTest, LogonWithoutStlsSendsUserAndPassThenQuitOnLogoff) {
    // A server that does not know CAPA and one whose CAPA offers no STLS: both get plain USER/PASS.
    for (const std::string capaAnswer : {"-ERR unknown command\r\n", "+OK\r\nTOP\r\nUSER\r\nUIDL\r\n.\r\n"}) {
        SCOPED_TRACE(capaAnswer);
        CFaultServer server;
        server.Pop3Greeting().Expect("CAPA").Send(capaAnswer);
        server.Expect("USER bob").Send("+OK\r\n").Expect("PASS secret").Send("+OK logged in\r\n");
        server.Expect("QUIT").Send("+OK bye\r\n").Close();
        server.Start();

        CPOP3Client client(Patient());
        EXPECT_TRUE(client.Logon("127.0.0.1", "bob", "secret", server.Port()));
        EXPECT_EQ(client.m_Connected, 1);
        EXPECT_EQ(client.m_LastError, "");
        EXPECT_EQ(client.Logoff(), 0);
        EXPECT_EQ(client.m_Connected, 0);
        EXPECT_FALSE(client.m_Sock.IsValid());

        ASSERT_TRUE(server.WaitClientGone(kHangGuard));
        EXPECT_THAT(server.Received(), ElementsAre("CAPA", "USER bob", "PASS secret", "QUIT"));
        EXPECT_THAT(server.Failures(), IsEmpty());
    }
}

// Every reply of the logon and STAT, split at every offset: each is read whole, so the password
// goes out in plain text only where no STLS was offered, and the count is the one sent.
TEST(Pop3ClientFaultTest, LogonRepliesSplitAtEveryOffset) {
    struct Step {
        std::string m_Expect;  // empty: nothing, the greeting comes unasked
        std::string m_Reply;
    };
    const std::vector<Step> plain = {{"", "+OK POP3 server ready <1896.697170952@dbc.mtview.ca.us>\r\n"},
                                     {"CAPA", "+OK\r\nTOP\r\nUSER\r\nUIDL\r\n.\r\n"},
                                     {"USER bob", "+OK\r\n"},
                                     {"PASS secret", "+OK logged in\r\n"},
                                     {"STAT", "+OK 2 320\r\n"}};
    // The same server offering STLS: the client must ask for it and never send the password.
    const std::vector<Step> offered = {{"", plain[0].m_Reply},
                                       {"CAPA", "+OK\r\nTOP\r\nSTLS\r\nUSER\r\n.\r\n"},
                                       {"STLS", "+OK Begin TLS negotiation\r\n"}};
    for (const auto* steps : {&plain, &offered}) {
        for (std::size_t split = 0; split < steps->size(); ++split) {
            const std::string& reply = (*steps)[split].m_Reply;
            for (std::size_t offset = 1; offset < reply.size() && !HasFailure(); ++offset) {
                SCOPED_TRACE((*steps)[split].m_Expect + " reply split at " + std::to_string(offset));
                CFaultServer server;
                for (std::size_t i = 0; i < steps->size(); ++i) {
                    if (!(*steps)[i].m_Expect.empty()) {
                        server.Expect((*steps)[i].m_Expect);
                    }
                    if (i == split) {
                        server.Send(reply.substr(0, offset)).Pause(3ms).Send(reply.substr(offset));
                    } else {
                        server.Send((*steps)[i].m_Reply);
                    }
                }
                server.Close();
                server.Start();
                auto client = std::make_unique<CPOP3Client>(Patient());
                long long count = 0;
                long long size = 0;
                if (steps == &plain) {
                    ASSERT_TRUE(client->Logon("127.0.0.1", "bob", "secret", server.Port())) << client->m_SessionError;
                    EXPECT_EQ(client->GetStats(count, size), 2);
                    EXPECT_EQ(size, 320);
                    EXPECT_FALSE(client->SessionOver()) << client->m_SessionError;
                } else {
                    EXPECT_FALSE(client->Logon("127.0.0.1", "bob", "secret", server.Port()));
                    EXPECT_THAT(PlainCommands(ReceivedAfterClientLeft(client, server)), ElementsAre("CAPA", "STLS"));
                }
                EXPECT_THAT(server.Failures(), IsEmpty());
            }
        }
    }
}

// Logons that must fail, each without sending what it must not: no password where the answer to
// USER was not "+OK", nothing after a reply that was not whole or not a POP3 reply, no user name
// or password where the account's connection security cannot be had.
TEST(Pop3ClientFaultTest, FailedLogonsSendNoSecret) {
    const std::string capaStls = "+OK\r\nTOP\r\nSTLS\r\nUSER\r\n.\r\n";
    const std::string capaPlain = "+OK\r\nTOP\r\nUSER\r\n.\r\n";
    struct Case {
        const char* m_Name;
        std::function<void(CFaultServer&)> m_Script;
        std::vector<std::string> m_Received;  // everything the client sent, in order
        const char* m_Reason;                 // in m_SessionError
        EConnectionSecurity m_Security = EConnectionSecurity::kWhenOffered;
        bool m_ImplicitTlsPort = false;
        std::string m_User = "bob";
        std::string m_Password = "secret";
    };
    const auto upToPass = [](CFaultServer& s) {
        s.Pop3Greeting().Expect("CAPA").Send("-ERR\r\n").Expect("USER bob").Send("+OK\r\n").Expect("PASS secret");
    };
    const std::vector<std::string> userAndPass = {"CAPA", "USER bob", "PASS secret"};
    const Case cases[] = {
        // The server's own words are kept for the error box; no QUIT, the client is not logged on.
        {"PASS refused", [&](CFaultServer& s) { upToPass(s); s.Send("-ERR bad\r\n"); }, userAndPass,
         "refused the logon: bad"},
        {"USER refused", [](CFaultServer& s) { s.Pop3Greeting().Expect("CAPA").Send("-ERR\r\n").Expect("USER bob").Send("-ERR no such user\r\n"); },
         {"CAPA", "USER bob"}, "refused the user name: no such user"},
        {"PASS answered with garbage", [&](CFaultServer& s) { upToPass(s); s.Send("welcome\r\n").Hold(); }, userAndPass, "PASS"},
        {"PASS answered with an empty line", [&](CFaultServer& s) { upToPass(s); s.Send("\r\n").Hold(); }, userAndPass, "PASS"},
        {"PASS answer cut off", [&](CFaultServer& s) { upToPass(s); s.Send("+O").Close(); }, userAndPass, "lost during PASS"},
        {"PASS never answered", [&](CFaultServer& s) { upToPass(s); s.Hold(); }, userAndPass, "did not answer PASS in time"},
        {"greeting refuses", [](CFaultServer& s) { s.Send("-ERR too many connections\r\n").Hold(); }, {}, "too many connections"},
        {"greeting is garbage", [](CFaultServer& s) { s.Send("SSH-2.0-OpenSSH_9.2\r\n").Hold(); }, {}, "SSH-2.0"},
        {"no greeting", [](CFaultServer& s) { s.Hold(); }, {}, "did not answer the greeting in time"},
        {"CAPA answered with garbage", [](CFaultServer& s) { s.Pop3Greeting().Expect("CAPA").Send("what?\r\n").Hold(); }, {"CAPA"}, "CAPA"},
        {"STLS refused", [&](CFaultServer& s) { s.Pop3Greeting().Expect("CAPA").Send(capaStls).Expect("STLS").Send("-ERR not now\r\n"); },
         {"CAPA", "STLS"}, "refused to start it"},
        // Says yes to STLS, then drops the connection instead of the handshake.
        {"STLS accepted, no handshake", [&](CFaultServer& s) { s.Pop3Greeting().Expect("CAPA").Send(capaStls).Expect("STLS").Send("+OK begin\r\n").Close(); },
         {"CAPA", "STLS"}, ""},
        // Plain text injected behind the STLS answer must not be read as if it came over TLS.
        {"plain text after the STLS answer", [&](CFaultServer& s) { s.Pop3Greeting().Expect("CAPA").Send(capaStls).Expect("STLS").Send("+OK begin\r\n+OK injected\r\n").Hold(); },
         {"CAPA", "STLS"}, ""},
        {"implicit TLS port speaking plain text", [](CFaultServer& s) { s.Pop3Greeting().Close(); }, {}, "", EConnectionSecurity::kWhenOffered, true},
        {"SSL/TLS asked for, plain text answered", [](CFaultServer& s) { s.Pop3Greeting().Close(); }, {}, "", EConnectionSecurity::kSslTls},
        {"STARTTLS asked for, STLS not offered", [&](CFaultServer& s) { s.Pop3Greeting().Expect("CAPA").Send(capaPlain).Hold(); }, {"CAPA"},
         "does not offer a secure connection (STLS)", EConnectionSecurity::kStartTls},
        {"STARTTLS asked for, CAPA unknown", [](CFaultServer& s) { s.Pop3Greeting().Expect("CAPA").Send("-ERR unknown command\r\n").Hold(); }, {"CAPA"},
         "does not offer a secure connection (STLS)", EConnectionSecurity::kStartTls},
        // Refused before connecting: the server has nothing to play.
        {"line break in the user name", [](CFaultServer&) {}, {}, "line break", EConnectionSecurity::kWhenOffered, false, "bob\r\nDELE 1"},
        {"line break in the password", [](CFaultServer&) {}, {}, "line break", EConnectionSecurity::kWhenOffered, false, "bob", "pw\nDELE 1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.m_Name);
        CFaultServer server;
        c.m_Script(server);
        server.Start();
        CTransportOptions options = ShortTimeout(1s);
        options.m_Security = c.m_Security;
        if (c.m_ImplicitTlsPort) {
            options.m_ImplicitTlsPorts = {server.Port()};
        }
        auto client = std::make_unique<CPOP3Client>(std::move(options));
        bool loggedOn = true;
        ASSERT_TRUE(FinishesWithin(server, kHangGuard,
                                   [&] { loggedOn = client->Logon("127.0.0.1", c.m_User, c.m_Password, server.Port()); }));
        EXPECT_FALSE(loggedOn);
        EXPECT_EQ(client->m_Connected, 0);
        EXPECT_FALSE(client->m_Sock.IsConnected());
        EXPECT_THAT(client->m_SessionError, HasSubstr(c.m_Reason));
        EXPECT_NE(client->m_SessionError, "");
        if (std::string_view(c.m_Name) == "PASS refused") {
            EXPECT_EQ(client->m_LastError, " bad\r\n");
        }
        EXPECT_EQ(PlainCommands(ReceivedAfterClientLeft(client, server)), c.m_Received);
    }
}

TEST(Pop3ClientFaultTest, UnresolvableHostIsTriedExactly240TimesOtherFailuresOnce) {
    // The tries are counted in the activity log, written into a folder of this test's own.
    const std::filesystem::path home =
        std::filesystem::temp_directory_path() / ("sieveclaw-retry-" + std::to_string(::getpid()));
    std::filesystem::create_directories(home);
    const char* oldHome = std::getenv("SIEVECLAW_HOME");
    const std::string savedHome = oldHome != nullptr ? oldHome : "";
    ::setenv("SIEVECLAW_HOME", (home.string() + "/").c_str(), 1);
    SetActivityLogEnabled(true);
    const auto countLogLines = [&](const std::string& text) {
        std::ifstream log(home / "spam.log");
        int count = 0;
        for (std::string line; std::getline(log, line);) {
            count += line.find(text) != std::string::npos ? 1 : 0;
        }
        return count;
    };

    {
        // A label longer than names may have fails in the resolver itself, without asking a
        // name server, so the count does not depend on how the network answers.
        const std::string unresolvable = std::string(64, 'x') + ".invalid";
        CPOP3Client client(Patient());
        client.m_RetryPause = 1ms;
        EXPECT_FALSE(client.Logon(unresolvable, "bob", "secret", 110));
        EXPECT_EQ(client.m_LastError, "could not resolve " + unresolvable);
        EXPECT_EQ(client.m_SessionError, client.m_LastError);
    }
    EXPECT_EQ(countLogLines("CPOP3Client::Logon - Connecting"), 240);
    EXPECT_EQ(countLogLines("CPOP3Client::Logon - unable to connect: "), 1);

    // A refused connection is not retried.
    std::filesystem::remove(home / "spam.log");
    int closedPort = 0;
    {
        CFaultServer gone;
        closedPort = gone.Port();
    }
    {
        CPOP3Client client(Patient());
        client.m_RetryPause = 1ms;
        EXPECT_FALSE(client.Logon("127.0.0.1", "bob", "secret", closedPort));
        EXPECT_EQ(client.m_LastError, "");
        EXPECT_EQ(client.m_SessionError,
                  "could not connect to 127.0.0.1 port " + std::to_string(closedPort) + ": the connection was refused");
    }
    EXPECT_EQ(countLogLines("CPOP3Client::Logon - Connecting"), 1);

    SetActivityLogEnabled(false);
    if (oldHome != nullptr) {
        ::setenv("SIEVECLAW_HOME", savedHome.c_str(), 1);
    } else {
        ::unsetenv("SIEVECLAW_HOME");
    }
    std::filesystem::remove_all(home);
}

TEST(Pop3ClientFaultTest, ConnectIsBoundedByTheTimeoutAndCutShortByTheStop) {
    const test::CUnansweredPort port;
    ASSERT_NE(port.Port(), 0);
    std::atomic<bool> stop{false};
    for (const bool stopped : {false, true}) {
        SCOPED_TRACE(stopped ? "stop" : "time-out");
        CTransportOptions options = ShortTimeout(1s, stopped ? 60 : 1);
        options.m_StopRequested = [&stop] { return stop.load(); };
        CPOP3Client client(std::move(options));
        std::thread stopper([&] {
            std::this_thread::sleep_for(300ms);
            stop = stopped;
        });
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(client.Logon("127.0.0.1", "bob", "secret", port.Port()));
        const auto took = std::chrono::steady_clock::now() - start;
        stopper.join();
        EXPECT_LT(took, 5s);
        EXPECT_THAT(client.m_SessionError, HasSubstr(stopped ? "stopped" : "no answer within the time-out"));
    }
}

// --- the line reader --------------------------------------------------------------------------

TEST(Pop3ClientFaultTest, LineSplitAtAnyOffsetComesBackWhole) {
    const std::string line = "+OK 2 messages (320 octets)\r\n";
    const std::string following = "+OK next\r\n";
    for (std::size_t offset = 1; offset < line.size(); ++offset) {
        SCOPED_TRACE(offset);
        CFaultServer server;
        server.Send(line.substr(0, offset)).Pause(2ms).Send(line.substr(offset) + following).Hold();
        server.Start();
        auto client = ConnectedOnly(server, ShortTimeout(1s, 5));
        std::string got;
        EXPECT_EQ(client->SockRecvLine(got), static_cast<int>(line.size()));
        EXPECT_EQ(got, line);
        EXPECT_EQ(client->SockRecvLine(got), static_cast<int>(following.size()));
        EXPECT_EQ(got, following);
        if (HasFailure()) {
            break;  // one broken offset says enough; the others would only wait out their Timeouts
        }
    }
}

TEST(Pop3ClientFaultTest, LongLineIsReturnedWholeAndNothingAfterItIsTaken) {
    const std::string longLine = std::string(5000, 'a') + "\r\n";
    CFaultServer server;
    server.Send(longLine + "+OK next\r\n+OK third").Hold();
    server.Start();
    auto client = ConnectedOnly(server);
    std::string got;
    EXPECT_EQ(client->SockRecvLine(got), 5002);
    EXPECT_EQ(got, longLine);
    EXPECT_EQ(client->SockRecvLine(got), 10);
    EXPECT_EQ(got, "+OK next\r\n");
    EXPECT_EQ(client->m_Sock.Buffered(), "+OK third");
}

TEST(Pop3ClientFaultTest, LineReaderGivesUpOnSilenceAndOnDeadConnections) {
    {
        // Silent server: 0 and an empty line once the Timeout has passed.
        CFaultServer server;
        server.Hold();
        server.Start();
        auto client = ConnectedOnly(server, ShortTimeout());
        std::string got = "stale";
        int length = -2;
        ASSERT_TRUE(FinishesWithin(server, kHangGuard, [&] { length = client->SockRecvLine(got); }));
        EXPECT_EQ(length, 0);
        EXPECT_EQ(got, "");
    }
    {
        // The peer closes in the middle of a line: the line will never end.
        CFaultServer server;
        server.Send("+OK partial").Close();
        server.Start();
        auto client = ConnectedOnly(server);
        std::string got;
        int length = 0;
        ASSERT_TRUE(FinishesWithin(server, kHangGuard, [&] { length = client->SockRecvLine(got); }));
        EXPECT_EQ(length, -1);
    }
    {
        // A line that never ends: past 16 MiB the connection counts as dead and reading stops.
        constexpr std::size_t kFlood = 4 * kSixteenMiB;
        CFaultServer server;
        server.Flood(std::string(64 * 1024, 'x'), kFlood);
        server.Start();
        auto client = ConnectedOnly(server);
        std::string got;
        int length = 0;
        ASSERT_TRUE(FinishesWithin(server, kHangGuard, [&] { length = client->SockRecvLine(got); }));
        EXPECT_EQ(length, -1);
        EXPECT_TRUE(IsSocketDead(client->m_Sock));
        EXPECT_LT(server.BytesSent(), kFlood);
    }
}

// --- replies to single commands ---------------------------------------------------------------

TEST(Pop3ClientFaultTest, StatAndListRepliesAreParsed) {
    CFaultServer server;
    ScriptPlainLogon(server).Expect("STAT").Send("+OK 12 20480\r\n");
    server.Expect("LIST 3").Send("+OK 3 2048\r\n");
    server.Expect("LIST 4").Send("-ERR no such message\r\n");
    server.Expect("LIST 5").SendSplit("+OK 5 1234\r\n", 3, 1ms);
    server.Start();

    auto client = LoggedOn(server);
    long long count = -1;
    long long size = -1;
    EXPECT_EQ(client->GetStats(count, size), 12);
    EXPECT_EQ(count, 12);
    EXPECT_EQ(size, 20480);
    EXPECT_EQ(client->GetMessageSize(3), 2048);
    EXPECT_EQ(client->GetMessageSize(4), 0);
    EXPECT_EQ(client->GetMessageSize(5), 1234);
    EXPECT_THAT(server.Failures(), IsEmpty());
}

TEST(Pop3ClientFaultTest, NotLoggedOnStatAndLogoffSendNothing) {
    CFaultServer server;
    server.Hold();
    server.Start();
    auto client = ConnectedOnly(server);
    long long count = 7;
    long long size = 9;
    EXPECT_EQ(client->GetStats(count, size), 7);
    EXPECT_EQ(count, 7);
    EXPECT_EQ(size, 9);
    client->DeleteMessage(1);
    CEmailMsg message;
    client->GetMessage(1, message);
    EXPECT_EQ(client->Logoff(), 0);
    EXPECT_FALSE(client->m_Sock.IsValid());
    EXPECT_THAT(ReceivedAfterClientLeft(client, server), IsEmpty());
}

TEST(Pop3ClientFaultTest, RefusedDeleteKeepsTheServersText) {
    CFaultServer server;
    ScriptPlainLogon(server).Expect("DELE 2").Send("+OK deleted\r\n");
    server.Expect("DELE 9").Send("-ERR no such message\r\n");
    server.Start();

    auto client = LoggedOn(server);
    client->DeleteMessage(2);
    EXPECT_EQ(client->m_LastError, "");
    client->DeleteMessage(9);
    EXPECT_EQ(client->m_LastError, " no such message\r\n");  // the line without "-ERR"
    EXPECT_THAT(server.Failures(), IsEmpty());
}

// --- TOP --------------------------------------------------------------------------------------

TEST(Pop3ClientFaultTest, HeaderBlockFillsTheFourFieldsAndErrKeepsTheRecord) {
    const std::string header =
        "Return-Path: <ann@example.com>\r\n"
        "To: Bob <bob@example.org>\r\n"
        "From: Ann <ann@example.com>\r\n"
        "Subject: Lunch on Friday\r\n"
        "Date: Fri, 1 Mar 2024 10:00:00 +0000\r\n"
        ".\r\n";
    CFaultServer server;
    server.Expect("TOP 1 0").Send("+OK\r\n").SendSplit(header, 5, 1ms);
    server.Expect("TOP 2 0").Send("-ERR no such message\r\n");
    server.Start();
    auto client = ConnectedOnly(server);

    CEmailMsg message;
    client->GetHeader(1, message);
    EXPECT_EQ(message.m_To, "bob@example.org");
    EXPECT_EQ(message.m_From, "ann@example.com");
    EXPECT_EQ(message.m_Subject, "Lunch on Friday");
    EXPECT_EQ(message.m_Date, "Fri, 1 Mar 2024 10:00:00 +0000");
    EXPECT_EQ(client->m_LastError, "");

    CEmailMsg untouched;
    untouched.m_Subject = "kept";
    client->GetHeader(2, untouched);
    EXPECT_EQ(untouched.m_Subject, "kept");
    EXPECT_EQ(untouched.m_To, "");
    EXPECT_EQ(client->m_LastError, "-ERR no such message\r\n");
    EXPECT_THAT(server.Failures(), IsEmpty());
}

TEST(Pop3ClientFaultTest, HeaderThatStopsOrNeverEndsEndsTheSession) {
    {
        // Silent after two lines: what came is not a header, and the session is over.
        CFaultServer server;
        server.Expect("TOP 1 0").Send("+OK\r\nReceived: by mx\r\nSubject: cut short\r\n").Hold();
        server.Start();
        auto client = ConnectedOnly(server, ShortTimeout(1s));
        CEmailMsg message;
        bool read = true;
        ASSERT_TRUE(FinishesWithin(server, kHangGuard, [&] { read = client->GetHeader(1, message); }));
        EXPECT_FALSE(read);
        EXPECT_EQ(message.m_Subject, "");
        EXPECT_TRUE(client->SessionOver());
        EXPECT_THAT(client->m_SessionError, HasSubstr("did not answer TOP 1 0 in time"));
    }
    {
        // Endless header lines: past 16 MiB the session is over.
        constexpr std::size_t kFlood = 4 * kSixteenMiB;
        CFaultServer server;
        server.Expect("TOP 1 0").Send("+OK\r\n").Flood("X-Filler: " + std::string(1000, 'y') + "\r\n", kFlood);
        server.Start();
        auto client = ConnectedOnly(server);
        CEmailMsg message;
        ASSERT_TRUE(FinishesWithin(server, kHangGuard, [&] { client->GetHeader(1, message); }));
        EXPECT_TRUE(client->SessionOver());
        EXPECT_FALSE(client->m_Sock.IsConnected());
        EXPECT_LT(server.BytesSent(), kFlood);
    }
}

// After a fault the connection is closed and nothing more goes out: no DELE, no QUIT.
TEST(Pop3ClientFaultTest, AfterAFaultNothingMoreIsSent) {
    CFaultServer server;
    ScriptPlainLogon(server).Expect("TOP 1 0").Send("+OK\r\nSubject: x\r\n").Pause(1500ms).Send("\r\n.\r\n").Hold();
    server.Start();
    auto client = std::make_unique<CPOP3Client>(ShortTimeout(1s));
    ASSERT_TRUE(client->Logon("127.0.0.1", "bob", "secret", server.Port()));
    CEmailMsg message;
    EXPECT_FALSE(client->GetHeader(1, message));
    long long count = 5;
    long long size = 5;
    EXPECT_EQ(client->GetStats(count, size), 5);
    EXPECT_EQ(client->GetMessageSize(1), 0);
    EXPECT_FALSE(client->GetHeader(2, message));
    EXPECT_FALSE(client->GetMessage(1, message));
    EXPECT_FALSE(client->DeleteMessage(1));
    client->Logoff();
    EXPECT_FALSE(client->m_QuitAccepted);
    EXPECT_THAT(ReceivedAfterClientLeft(client, server), ElementsAre("CAPA", "USER bob", "PASS secret", "TOP 1 0"));
}

// --- RETR -------------------------------------------------------------------------------------

// A message as the server holds it, with lines that go out dot-stuffed.
std::string SampleMessage() {
    std::string message =
        "Received: by mx.example.org\r\n"
        "From: Ann <ann@example.com>\r\n"
        "To: bob@example.org\r\n"
        "Subject: Minutes\r\n"
        "\r\n";
    for (int i = 0; i < 60; ++i) {
        message += "Line " + std::to_string(i) + " of the minutes, long enough to fill a few chunks.\r\n";
    }
    return message + ".\r\n..two dots\r\n.one dot\r\n";
}

TEST(Pop3ClientFaultTest, MessageInSmallPiecesIsReassembledWithRisingProgress) {
    const std::string body = SampleMessage();
    ASSERT_GT(body.size(), 3000u);
    CFaultServer server;
    ScriptPlainLogon(server).Expect("RETR 1").Send("+OK " + std::to_string(body.size()) + " octets\r\n");
    server.SendSplit(test::CDovecotServer::RetrWireForm(body), 7, 1ms);
    server.Start();

    auto client = LoggedOn(server);
    CRecordingSink sink;
    client->SetNotifyWindow(&sink);
    CEmailMsg message;
    EXPECT_TRUE(client->GetMessage(1, message));

    EXPECT_EQ(message.m_Body, body);
    EXPECT_EQ(message.m_RawText, body);
    EXPECT_EQ(client->m_Connected, 1);
    ASSERT_FALSE(sink.m_Posts.empty());
    std::int64_t previous = 0;
    for (const auto& [code, value] : sink.m_Posts) {
        EXPECT_EQ(code, kStatusBytesDownloaded);
        EXPECT_GT(value, previous);
        previous = value;
    }
    EXPECT_EQ(previous, static_cast<std::int64_t>(body.size()));
}

TEST(Pop3ClientFaultTest, HeaderLineSplitBetweenTwoPiecesGivesTheWholeField) {
    const std::string head = "Return-Path: <x@y>\r\nFrom: seat1@cas";
    const std::string tail = "ino.example\r\nTo: ann@example.org\r\nSubject: Chips\r\nDate: Mon\r\n\r\nPlay!\r\n";
    CFaultServer server;
    ScriptPlainLogon(server).Expect("RETR 1").Send("+OK\r\n").Send(head).Pause(100ms).Send(tail + ".\r\n");
    server.Start();

    auto client = LoggedOn(server);
    CEmailMsg message;
    client->GetMessage(1, message);

    EXPECT_EQ(message.m_RawText, head + tail);
    EXPECT_EQ(message.m_From, "seat1@casino.example");
    EXPECT_EQ(message.m_To, "ann@example.org");
    EXPECT_EQ(message.m_Subject, "Chips");
}

TEST(Pop3ClientFaultTest, MessageWithNulBytesSurvives) {
    constexpr char kRaw[] = "Subject: binary\r\n\r\nA\0B\0\0C\r\n\0\r\n";
    const std::string body(kRaw, sizeof kRaw - 1);
    ASSERT_EQ(body.find('\0'), 20u);
    CFaultServer server;
    ScriptPlainLogon(server).Expect("RETR 2").Send("+OK\r\n" + body + ".\r\n");
    server.Start();

    auto client = LoggedOn(server);
    CRecordingSink sink;
    client->SetNotifyWindow(&sink);
    CEmailMsg message;
    client->GetMessage(2, message);
    EXPECT_EQ(message.m_Body, body);
    EXPECT_EQ(message.m_RawText, body);
    ASSERT_FALSE(sink.m_Posts.empty());
    EXPECT_EQ(sink.m_Posts.back().second, static_cast<std::int64_t>(body.size()));
}

TEST(Pop3ClientFaultTest, ConnectionLostInTheMiddleOfRetrKeepsTheRecord) {
    for (const bool reset : {true, false}) {
        SCOPED_TRACE(reset ? "reset" : "orderly close");
        CFaultServer server;
        ScriptPlainLogon(server).Expect("RETR 1").Send("+OK\r\nSubject: cut\r\n\r\npartial body").Pause(20ms);
        if (reset) {
            server.Reset();
        } else {
            server.Close();
        }
        server.Start();

        auto client = LoggedOn(server);
        CEmailMsg message;
        message.m_Body = "old body";
        message.m_RawText = "old raw";
        message.m_To = "to";
        message.m_From = "from";
        message.m_Subject = "subject";
        message.m_Date = "date";
        ASSERT_TRUE(FinishesWithin(server, kHangGuard, [&] { client->GetMessage(1, message); }));
        EXPECT_EQ(message.m_Body, "old body");
        EXPECT_EQ(message.m_RawText, "old raw");
        EXPECT_EQ(client->m_Connected, 0);
        EXPECT_FALSE(client->m_Sock.IsValid());
    }
}

}  // namespace
}  // namespace sieveclaw
