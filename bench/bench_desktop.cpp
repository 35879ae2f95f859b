// The desktop program's figures, each beside a bare Qt program that only shows an empty dialog,
// measured in the same run (offscreen):
//
//   - start: from before the process is started to its main window exposed on the screen;
//   - memory: resident memory idle after one check (the bare program: idle after its start);
//   - stall: the longest gap between two ticks of a 1 ms timer on the user interface thread while
//     the worker checks a mailbox of MESSAGES messages of about 2 KB (one in five spam) on a
//     private Dovecot, against the longest gap while the bare program idles as long.
//
// usage: bench_desktop [MESSAGES]   (default 1000)
// Exits 1 when the check did not do its work, so a figure is never reported for work not done.

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>
#include <QTreeWidget>
#include <QWindow>

#include "bench/BenchMessages.h"
#include "core/AccountsFile.h"
#include "engine/SharedState.h"
#include "filter/FilterFiles.h"
#include "tests/support/DovecotServer.h"
#include "tests/support/ScopedDataFolder.h"
#include "ui/CSieveclawApp.h"
#include "ui/CSieveclawDlg.h"

namespace {

using namespace std::chrono_literals;
using sieveclaw::test::CDovecotServer;

std::int64_t MonotonicNs() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

long ResidentKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::atol(line.c_str() + 6);
        }
    }
    return 0;
}

// Runs the event loop until done() holds or bound passes, noting the longest gap between two ticks
// of a 1 ms timer; the gap in milliseconds, or -1 when done() never held.
double LongestStall(const std::function<bool()>& done, std::chrono::milliseconds bound) {
    QElapsedTimer clock;
    clock.start();
    qint64 last = 0;
    qint64 longest = 0;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        longest = std::max(longest, now - last);
        last = now;
    });
    tick.start(1);
    while (!done()) {
        if (clock.elapsed() > bound.count()) {
            return -1;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    return static_cast<double>(longest) / 1e6;
}

void WaitExposed(QWidget& window) {
    while (window.windowHandle() == nullptr || !window.windowHandle()->isExposed()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
}

// The child programs print "name value" lines for the parent.
int RunBare(int argc, char** argv, std::chrono::milliseconds idle) {
    QApplication application(argc, argv);
    QDialog window;
    window.resize(720, 440);
    window.show();
    WaitExposed(window);
    std::printf("shown %lld\n", static_cast<long long>(MonotonicNs()));
    const auto end = std::chrono::steady_clock::now() + idle;
    std::printf("stall %.3f\n", LongestStall([&] { return std::chrono::steady_clock::now() > end; }, idle + 5s));
    std::printf("rss %ld\n", ResidentKb());
    return 0;
}

int RunDesktop(int argc, char** argv, int good, int spam) {
    QApplication application(argc, argv);
    sieveclaw::CSieveclawApp program({"/m"});
    if (!program.InitInstance()) {
        return 1;
    }
    sieveclaw::CSieveclawDlg& window = *program.MainWindow();
    WaitExposed(window);
    std::printf("shown %lld\n", static_cast<long long>(MonotonicNs()));
    const QTreeWidgetItem* row = window.findChild<QTreeWidget*>(QStringLiteral("accounts"))->topLevelItem(0);
    const auto started = std::chrono::steady_clock::now();
    const double stall = LongestStall(
        [&] { return row->text(1).toInt() == good && row->text(2).toInt() == spam; }, 600s);
    if (stall < 0) {
        std::fprintf(stderr, "the check did not end with %d good and %d spam: %s and %s\n", good, spam,
                     row->text(1).toStdString().c_str(), row->text(2).toStdString().c_str());
        return 1;
    }
    std::printf("check %.3f\n", std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
    std::printf("stall %.3f\n", stall);
    const auto end = std::chrono::steady_clock::now() + 2s;
    LongestStall([&] { return std::chrono::steady_clock::now() > end; }, 10s);
    std::printf("rss %ld\n", ResidentKb());
    std::fflush(stdout);
    return program.ExitInstance();
}

// Starts this program in mode and returns its "name value" lines, with "start" the time from
// before the start to "shown" in milliseconds.
std::map<std::string, double> Measure(const char* self, const std::string& mode, int messages) {
    int output[2];
    if (::pipe(output) != 0) {
        return {};
    }
    const std::int64_t before = MonotonicNs();
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(output[1], STDOUT_FILENO);
        ::close(output[0]);
        ::close(output[1]);
        const std::string count = std::to_string(messages);
        ::execl(self, self, mode.c_str(), count.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(output[1]);
    std::string text;
    char buffer[4096];
    for (ssize_t got; (got = ::read(output[0], buffer, sizeof buffer)) > 0;) {
        text.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(output[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    std::map<std::string, double> values;
    std::istringstream lines(text);
    std::string name;
    double value = 0;
    while (lines >> name >> value) {
        values[name] = value;
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        values.clear();
    } else if (values.count("shown") != 0) {
        values["start"] = (values["shown"] - static_cast<double>(before)) / 1e6;
    }
    return values;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    const int messages = argc > 2 ? std::atoi(argv[2]) : argc > 1 && mode[0] != '-' ? std::atoi(argv[1]) : 1000;
    int spam = 0;
    for (int i = 0; i < messages; ++i) {
        spam += sieveclaw::bench::IsSpamIndex(i) ? 1 : 0;
    }
    if (mode == "--bare") {
        return RunBare(argc, argv, 5s);
    }
    if (mode == "--desktop") {
        return RunDesktop(argc, argv, messages - spam, spam);
    }
    if (messages <= 0) {
        std::fprintf(stderr, "usage: bench_desktop [MESSAGES]\n");
        return 2;
    }

    std::vector<std::string> mailbox;
    for (int i = 0; i < messages; ++i) {
        mailbox.push_back(sieveclaw::bench::MakeMessage(i));
    }
    CDovecotServer server(CDovecotServer::ECertificateNames::kLocalhostAndIp, CDovecotServer::ETls::kOff);
    server.AddUser("desk", "desk-pw", std::move(mailbox));
    if (!server.Start()) {
        std::fprintf(stderr, "dovecot did not start: %s\n", server.Error().c_str());
        return 1;
    }
    sieveclaw::test::CScopedDataFolder home;
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::setenv("XDG_RUNTIME_DIR", home.Path().c_str(), 1);
    {
        sieveclaw::CSharedState state;
        sieveclaw::EmailAccountInfo account;
        account.m_AccountName = "Bench";
        account.m_EmailAddress = "reader@example.org";
        account.m_POP3Server = "127.0.0.1";
        account.m_POP3Port = std::to_string(server.PlainPort());
        account.m_POP3UserId = "desk";
        account.m_POP3Password = "desk-pw";
        account.m_PlaySounds = 0;
        sieveclaw::AddAccount(state.m_Accounts, account);
        state.m_Lists.m_FromList.Add("casino");
        state.m_Lists.m_BodyList.Add("cheap pills");
        state.m_Settings.SetEmailDelay(60);
        state.m_Settings.SetLastDataUpdateDate(std::time(nullptr));
        if (!sieveclaw::SaveAccounts(state.m_Accounts) ||
            !sieveclaw::SaveWordList(state.m_Lists, state.m_FilterFilesLock) ||
            !state.m_Settings.SaveSettings(state.m_Store)) {
            std::fprintf(stderr, "the data folder could not be written\n");
            return 1;
        }
    }
    std::map<std::string, double> bare = Measure(argv[0], "--bare", messages);
    std::map<std::string, double> desktop = Measure(argv[0], "--desktop", messages);
    if (bare.empty() || desktop.empty()) {
        std::fprintf(stderr, "a program did not report its figures\n");
        return 1;
    }
    std::printf("%d messages of about 2 KB (%d spam), Dovecot on 127.0.0.1, offscreen; the check took %.2f s\n",
                messages, spam, desktop["check"]);
    std::printf("%-44s %10s %10s %7s\n", "figure", "sieveclaw", "bare Qt", "ratio");
    const auto row = [](const char* figure, double ours, double theirs) {
        std::printf("%-44s %10.1f %10.1f %7.2f\n", figure, ours, theirs, ours / theirs);
    };
    row("start to a shown main window (ms)", desktop["start"], bare["start"]);
    row("resident memory, idle (MB)", desktop["rss"] / 1024.0, bare["rss"] / 1024.0);
    row("longest user interface stall (ms)", desktop["stall"], bare["stall"]);
    return 0;
}
