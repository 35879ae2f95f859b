// The mail check as the worker runs it (CEmailThread::RunOnce: log on, every header, every new
// message downloaded, judged, stored, spam deleted, log off) on a mailbox of MESSAGES messages of
// about 2 KB, one in five of them spam, held by a private Dovecot (STLS on its plain port). A
// first check does all the work; an immediate second check finds only known headers. Both run
// once over the loopback and once through a relay that delays every chunk by 20 ms each way,
// which is what a distant server costs.
//
// usage: bench_mail_check [MESSAGES] [loopback]   (default 5000; "loopback" skips the delayed relay,
// whose first check takes minutes)
// Prints the four times and the messages per second. Exits 1 when a check did not do what it
// should (so a figure is never reported for work that was not done).

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/AccountList.h"
#include "core/EmailAccountInfo.h"
#include "core/StatusSink.h"
#include "engine/EmailThread.h"
#include "engine/SharedState.h"
#include "tests/support/DelayProxy.h"
#include "tests/support/DovecotServer.h"
#include "tests/support/ScopedDataFolder.h"
#include "bench/BenchMessages.h"

namespace {

using sieveclaw::CEmailThread;
using sieveclaw::CSharedState;
using sieveclaw::CStatusSink;
using sieveclaw::EmailAccountInfo;
using sieveclaw::test::CDelayProxy;
using sieveclaw::test::CDovecotServer;
using sieveclaw::test::CScopedDataFolder;
using sieveclaw::bench::IsSpamIndex;
using sieveclaw::bench::MakeMessage;

constexpr const char* kPassword = "benchpw";
constexpr std::chrono::milliseconds kDelay{20};

// The worker's notifications are not printed: the figures are about the check itself.
class CSilentSink : public CStatusSink {
public:
    void PostStatus(int, std::int64_t) override {}
};

struct Figures {
    double m_First = 0;
    double m_Second = 0;
};

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Both checks on a fresh data folder against the mailbox of user through port. False (with a
// message) when a check did not do its work.
bool MeasureChecks(const CDovecotServer& server, const std::string& user, int port, int messages, int spam,
                   Figures& figures) {
    CScopedDataFolder home;
    CSharedState state;  // after the folder: the settings store's path comes from it
    state.m_Store.Load();
    state.m_Settings.LoadSettings(state.m_Store);
    state.m_Lists.m_FromList.Add("casino");
    state.m_Lists.m_BodyList.Add("cheap pills");
    EmailAccountInfo account;
    account.m_AccountName = "Bench";
    account.m_POP3Server = "127.0.0.1";
    account.m_POP3Port = std::to_string(port);
    account.m_POP3UserId = user;
    account.m_POP3Password = kPassword;
    account.m_PlaySounds = 0;
    sieveclaw::AddAccount(state.m_Accounts, account);

    CSilentSink sink;
    CEmailThread worker(state, sink);
    const std::string caFile = server.CaFile();
    worker.SetTransportTuning([caFile](sieveclaw::CTransportOptions& options) { options.m_CaFile = caFile; });

    auto start = std::chrono::steady_clock::now();
    const std::vector<CEmailThread::AccountResult> first = worker.RunOnce();
    figures.m_First = Seconds(start);
    if (first.size() != 1 || !first[0].m_LoggedOn || first[0].m_Spam != spam || first[0].m_Good != messages - spam) {
        std::fprintf(stderr, "first check (%s): logged on %d, %d spam, %d good; expected %d spam, %d good\n%s\n",
                     user.c_str(), first.empty() ? 0 : first[0].m_LoggedOn, first.empty() ? 0 : first[0].m_Spam,
                     first.empty() ? 0 : first[0].m_Good, spam, messages - spam,
                     first.empty() ? "" : first[0].m_Error.c_str());
        return false;
    }
    start = std::chrono::steady_clock::now();
    const std::vector<CEmailThread::AccountResult> second = worker.RunOnce();
    figures.m_Second = Seconds(start);
    if (second.size() != 1 || !second[0].m_LoggedOn || second[0].m_Messages != messages - spam ||
        second[0].m_Examined != 0) {
        std::fprintf(stderr, "second check (%s): %lld on the server, %d examined; expected %d and 0\n", user.c_str(),
                     second.empty() ? 0LL : second[0].m_Messages, second.empty() ? 0 : second[0].m_Examined,
                     messages - spam);
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const int messages = argc > 1 ? std::atoi(argv[1]) : 5000;
    const bool loopbackOnly = argc > 2 && std::string(argv[2]) == "loopback";
    if (messages <= 0 || (argc > 2 && !loopbackOnly)) {
        std::fprintf(stderr, "usage: bench_mail_check [MESSAGES] [loopback]\n");
        return 2;
    }
    std::vector<std::string> mailbox;
    int spam = 0;
    for (int i = 0; i < messages; ++i) {
        mailbox.push_back(MakeMessage(i));
        spam += IsSpamIndex(i) ? 1 : 0;
    }
    // One mailbox for each link: the first check of each must find all the work still to do.
    CDovecotServer server;
    server.AddUser("direct", kPassword, mailbox);
    server.AddUser("delayed", kPassword, std::move(mailbox));
    if (!server.Start()) {
        std::fprintf(stderr, "dovecot did not start: %s\n", server.Error().c_str());
        return 1;
    }
    CDelayProxy proxy(server.PlainPort(), kDelay);
    if (!proxy.Start()) {
        std::fprintf(stderr, "the delaying relay could not listen on 127.0.0.1\n");
        return 1;
    }

    Figures direct;
    Figures delayed;
    if (!MeasureChecks(server, "direct", server.PlainPort(), messages, spam, direct) ||
        (!loopbackOnly && !MeasureChecks(server, "delayed", proxy.Port(), messages, spam, delayed))) {
        return 1;
    }

    std::printf("%d messages of about 2 KB (%d spam), Dovecot on 127.0.0.1 with STLS\n", messages, spam);
    std::printf("%-22s %-7s %10s %12s\n", "link", "check", "seconds", "messages/s");
    const auto row = [messages](const char* link, const char* check, double seconds) {
        std::printf("%-22s %-7s %10.3f %12.1f\n", link, check, seconds, messages / seconds);
    };
    row("loopback", "first", direct.m_First);
    row("loopback", "second", direct.m_Second);
    if (!loopbackOnly) {
        row("+20 ms each way", "first", delayed.m_First);
        row("+20 ms each way", "second", delayed.m_Second);
    }
    return 0;
}
