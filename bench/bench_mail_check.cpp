// The mail check as the worker runs it (log on, every header, every new message downloaded,
// judged, stored, spam deleted, log off) on a mailbox of MESSAGES messages of about 2 KB, one in
// five of them spam, held by a private Dovecot (STLS on its plain port). A first check does all
// the work; an immediate second check by the same worker finds only known messages; a third
// after a restart (CEmailThread::RunOnce: the thread start, which reads the inbox folder of the
// last run, and one check) finds them known from the files the first left behind. Each runs
// over the loopback and through a relay that delays every chunk by 20 ms each way (what a distant
// server costs), once the way a server without PIPELINING and UIDL is checked (one command at a
// time, every header read) and once the way this Dovecot allows (ids, commands sent ahead).
//
// usage: bench_mail_check [MESSAGES] [loopback] [new]   (default 5000; "loopback" skips the
// delayed relay, "new" the one-at-a-time way, whose first delayed check takes minutes)
// Prints the times, the messages per second and how many times faster the second way is. Exits
// 1 when a check did not do what it should (so a figure is never reported for work that was not
// done).

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/AccountList.h"
#include "core/EmailAccountInfo.h"
#include "core/StatusSink.h"
#include "engine/EmailThread.h"
#include "engine/FolderUpdater.h"
#include "engine/MailCheck.h"
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
    double m_Restart = 0;
};

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Both checks on a fresh data folder against the mailbox of user through port. False (with a
// message) when a check did not do its work.
bool MeasureChecks(const CDovecotServer& server, const std::string& user, int port, bool oneAtATime, int messages,
                   int spam, Figures& figures) {
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
    sieveclaw::CFolderUpdater updater;
    const std::string caFile = server.CaFile();
    const auto tune = [caFile, oneAtATime](sieveclaw::CTransportOptions& options) {
        options.m_CaFile = caFile;
        options.m_OneCommandAtATime = oneAtATime;
    };
    sieveclaw::CMailCheck worker(state, sink, updater, nullptr, tune);
    worker.ThreadStart();

    auto start = std::chrono::steady_clock::now();
    const std::vector<CEmailThread::AccountResult> first = worker.CheckAllAccounts();
    figures.m_First = Seconds(start);
    if (first.size() != 1 || !first[0].m_LoggedOn || first[0].m_Spam != spam || first[0].m_Good != messages - spam ||
        !first[0].m_Failure.empty()) {
        std::fprintf(stderr, "first check (%s): logged on %d, %d spam, %d good; expected %d spam, %d good\n%s\n",
                     user.c_str(), first.empty() ? 0 : first[0].m_LoggedOn, first.empty() ? 0 : first[0].m_Spam,
                     first.empty() ? 0 : first[0].m_Good, spam, messages - spam,
                     first.empty() ? "" : first[0].m_Failure.c_str());
        return false;
    }
    for (const bool restart : {false, true}) {
        CEmailThread restarted(state, sink);
        restarted.SetTransportTuning(tune);
        start = std::chrono::steady_clock::now();
        const std::vector<CEmailThread::AccountResult> again = restart ? restarted.RunOnce() : worker.CheckAllAccounts();
        (restart ? figures.m_Restart : figures.m_Second) = Seconds(start);
        if (again.size() != 1 || !again[0].m_LoggedOn || again[0].m_Messages != messages - spam ||
            again[0].m_Examined != 0 || !again[0].m_Failure.empty()) {
            std::fprintf(stderr, "%s check (%s): %lld on the server, %d examined; expected %d and 0\n%s\n",
                         restart ? "restarted" : "second", user.c_str(), again.empty() ? 0LL : again[0].m_Messages,
                         again.empty() ? 0 : again[0].m_Examined, messages - spam,
                         again.empty() ? "" : again[0].m_Failure.c_str());
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    int messages = 5000;
    bool loopbackOnly = false;
    bool newOnly = false;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "loopback") {
            loopbackOnly = true;
        } else if (argument == "new") {
            newOnly = true;
        } else if (i == 1 && std::atoi(argv[i]) > 0) {
            messages = std::atoi(argv[i]);
        } else {
            std::fprintf(stderr, "usage: bench_mail_check [MESSAGES] [loopback] [new]\n");
            return 2;
        }
    }
    std::vector<std::string> mailbox;
    int spam = 0;
    for (int i = 0; i < messages; ++i) {
        mailbox.push_back(MakeMessage(i));
        spam += IsSpamIndex(i) ? 1 : 0;
    }
    // One mailbox for each link and way: the first check of each must find all the work to do.
    struct Run {
        const char* m_Link;
        const char* m_Way;
        std::string m_User;
        bool m_Delayed;
        bool m_OneAtATime;
        Figures m_Figures;
    };
    std::vector<Run> runs;
    for (const bool delayed : {false, true}) {
        for (const bool oneAtATime : {true, false}) {
            if ((delayed && loopbackOnly) || (oneAtATime && newOnly)) {
                continue;
            }
            runs.push_back({delayed ? "+20 ms each way" : "loopback", oneAtATime ? "one at a time" : "ids, pipelined",
                            std::string(delayed ? "delayed" : "direct") + (oneAtATime ? "old" : "new"), delayed,
                            oneAtATime, {}});
        }
    }
    CDovecotServer server;
    for (const Run& run : runs) {
        server.AddUser(run.m_User, kPassword, mailbox);
    }
    mailbox.clear();
    if (!server.Start()) {
        std::fprintf(stderr, "dovecot did not start: %s\n", server.Error().c_str());
        return 1;
    }
    CDelayProxy proxy(server.PlainPort(), kDelay);
    if (!proxy.Start()) {
        std::fprintf(stderr, "the delaying relay could not listen on 127.0.0.1\n");
        return 1;
    }

    for (Run& run : runs) {
        const int port = run.m_Delayed ? proxy.Port() : server.PlainPort();
        if (!MeasureChecks(server, run.m_User, port, run.m_OneAtATime, messages, spam, run.m_Figures)) {
            return 1;
        }
        std::fprintf(stderr, "%s, %s: done\n", run.m_Link, run.m_Way);
    }

    std::printf("%d messages of about 2 KB (%d spam), Dovecot on 127.0.0.1 with STLS\n", messages, spam);
    std::printf("%-16s %-15s %-7s %10s %12s %9s\n", "link", "way", "check", "seconds", "messages/s", "faster");
    for (const Run& run : runs) {
        // The same link's one-at-a-time figure, when it was measured.
        const Run* baseline = nullptr;
        for (const Run& other : runs) {
            if (other.m_Delayed == run.m_Delayed && other.m_OneAtATime) {
                baseline = &other;
            }
        }
        for (const auto figure : {&Figures::m_First, &Figures::m_Second, &Figures::m_Restart}) {
            const double seconds = run.m_Figures.*figure;
            const double base = baseline == nullptr ? 0 : baseline->m_Figures.*figure;
            char ratio[32] = "";
            if (baseline != nullptr && seconds > 0) {
                std::snprintf(ratio, sizeof ratio, "%8.1fx", base / seconds);
            }
            const char* check = figure == &Figures::m_First ? "first" : figure == &Figures::m_Second ? "second" : "restart";
            std::printf("%-16s %-15s %-7s %10.3f %12.1f %9s\n", run.m_Link, run.m_Way, check,
                        seconds, messages / seconds, ratio);
        }
    }
    return 0;
}
