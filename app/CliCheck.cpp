// sieveclaw-cli check and run: the mail check worker without windows.

#include <pthread.h>
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <iomanip>
#include <iostream>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "app/CliCommands.h"
#include "app/CliStatusPrinter.h"
#include "core/AccountList.h"
#include "core/AccountsFile.h"
#include "core/AsciiCase.h"
#include "core/DataFolder.h"
#include "engine/EmailThread.h"
#include "engine/SharedState.h"
#include "engine/StartupData.h"
#include "mail/MessageFiles.h"

namespace sieveclaw {

namespace {

// How long a stop may take: the worker logs off the connection it holds, which waits for the
// server's reply to QUIT. Below the service manager's own stop timeout (resources/sieveclaw.service).
constexpr std::chrono::seconds kStopBound{20};

// Exit status of run when there is nothing to run; the service unit does not restart on it.
constexpr int kNothingToRun = 2;

// Loads what start-up loads, in its order (LoadDataAtStartup). Empty on success, else why nothing
// can be checked: a check on accounts or lists that did not load whole would judge mail by lists
// that are not the user's (spam kept as good, or good mail deleted).
std::string LoadAsAtStartup(CSharedState& state) {
    const StartupData data = LoadDataAtStartup(state);
    if (!data.IsWhole()) {
        return "nothing was checked, because these files do not read whole (they are left as they are):\n" +
               data.DamageReport();
    }
    if (AccountCount(state.m_Accounts) == 0) {
        return "no accounts in " + (data.m_AccountsFileExists ? AccountsFilePath() : GetProgramFolder()) +
               " (add one with 'sieveclaw-cli accounts add')";
    }
    return {};
}

struct AccountRow {
    std::string m_Name;
    std::size_t m_Inbox = 0;
    std::size_t m_Trash = 0;
};

// The main window's accounts list after a check: each account's remembered inbox messages, and
// the spam files counted for the first account whose name matches their ACCOUNT line ignoring
// case (a file of an account that no longer exists counts for none).
std::vector<AccountRow> CountAccounts(const CAccountList& accounts) {
    std::vector<AccountRow> rows;
    for (ListPos pos = accounts.First(); pos != kNoPos; pos = accounts.Next(pos)) {
        accounts.VisitAt(pos, [&rows](const EmailAccountInfo& account) {
            rows.push_back({account.m_AccountName, account.m_InboxEntries->Count(), 0});
        });
    }
    std::error_code failure;
    for (std::filesystem::directory_iterator it(SpamFolder(), failure), end; !failure && it != end;
         it.increment(failure)) {
        if (!it->is_regular_file() || it->path().extension() != ".eml") {
            continue;
        }
        const std::string owner = ReadAccountLine(it->path().string());
        const auto row = std::find_if(rows.begin(), rows.end(),
                                      [&owner](const AccountRow& r) { return EqualsIgnoringAsciiCase(r.m_Name, owner); });
        if (row != rows.end()) {
            ++row->m_Trash;
        }
    }
    return rows;
}

std::string Outcome(const CEmailThread::AccountResult& result) {
    if (result.m_OnHold) {
        return "on hold";
    }
    if (!result.m_LoggedOn) {
        return "could not log on";
    }
    std::ostringstream text;
    text << "logged on: " << result.m_Messages << " on the server, " << result.m_Examined << " examined, "
         << result.m_Spam << " spam, " << result.m_Good << " good";
    if (result.m_Deleted > 0) {
        text << ", " << result.m_Deleted << " deleted as asked";
    }
    if (result.m_NotStored > 0) {
        text << ", " << result.m_NotStored << " left on the server (copy not written)";
    }
    if (result.m_Refused > 0) {
        text << ", " << result.m_Refused << " refused by the server";
    }
    if (!result.m_Failure.empty()) {
        text << ", not complete";
    }
    return text.str();
}

// The last lines: which accounts were not checked through, and why. True when there was none.
bool ReportIncompleteChecks(const std::vector<CEmailThread::AccountResult>& results) {
    bool complete = true;
    for (const CEmailThread::AccountResult& result : results) {
        if (result.m_OnHold || (result.m_LoggedOn && result.m_Failure.empty())) {
            continue;
        }
        complete = false;
        std::cerr << "sieveclaw-cli check: the check of '" << PrintableText(result.m_Name) << "' did not complete: "
                  << PrintableText(result.m_Failure.empty() ? std::string("the log-on failed") : result.m_Failure)
                  << "\n";
    }
    return complete;
}

void PrintTable(const std::vector<AccountRow>& rows, const std::vector<CEmailThread::AccountResult>& results) {
    const std::string nameHeading = "Email Account";
    std::size_t nameWidth = nameHeading.size();
    for (const AccountRow& row : rows) {
        nameWidth = std::max(nameWidth, PrintableText(row.m_Name).size());
    }
    std::cout << "\n"
              << std::left << std::setw(static_cast<int>(nameWidth)) << nameHeading << "  Inbox Count  Trash Can Count"
              << "  Check\n";
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const AccountRow& row = rows[i];
        // RunOnce reports the accounts in list order; match by name should the list have changed.
        const auto result =
            i < results.size() && results[i].m_Name == row.m_Name
                ? results.begin() + static_cast<std::ptrdiff_t>(i)
                : std::find_if(results.begin(), results.end(),
                               [&row](const CEmailThread::AccountResult& r) { return r.m_Name == row.m_Name; });
        std::cout << std::left << std::setw(static_cast<int>(nameWidth)) << PrintableText(row.m_Name) << "  "
                  << std::right << std::setw(11) << row.m_Inbox << "  " << std::setw(15) << row.m_Trash << "  "
                  << (result != results.end() ? Outcome(*result) : "not checked") << "\n";
    }
    std::cout.flush();
}

// Blocks SIGINT and SIGTERM for the calling thread and every thread it starts afterwards, so
// that they arrive only where they are waited for.
sigset_t BlockStopSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    return signals;
}

// The signal taken within wait, 0 when none came.
int WaitForStopSignal(const sigset_t& signals, std::chrono::milliseconds wait) {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(wait);
    const timespec limit{static_cast<std::time_t>(seconds.count()),
                         static_cast<long>(std::chrono::nanoseconds(wait - seconds).count())};
    const int received = sigtimedwait(&signals, nullptr, &limit);
    return received > 0 ? received : 0;
}

int UnexpectedArguments(const char* command, const std::vector<std::string>& arguments) {
    std::cerr << "sieveclaw-cli " << command << ": unexpected '" << arguments.front() << "'\n"
              << "usage: sieveclaw-cli [/l] " << command << "\n";
    return 2;
}

}  // namespace

int RunCheckCommand(const std::vector<std::string>& arguments) {
    if (!arguments.empty()) {
        return UnexpectedArguments("check", arguments);
    }
    // First of all, so that a stop asked for while the files load is taken, not fatal.
    const sigset_t stopSignals = BlockStopSignals();
    CSharedState state;
    if (const std::string problem = LoadAsAtStartup(state); !problem.empty()) {
        std::cerr << "sieveclaw-cli check: " << problem << "\n";
        return 1;
    }

    CCliStatusPrinter printer(std::cout, std::cerr);
    CCliUserPrompt prompt(state.m_Store, std::cout, std::cerr);
    CEmailThread worker(state, printer, nullptr, &prompt);

    // Ctrl+C ends the check the way the program's exit does: the connection is logged off, and
    // the accounts checked so far are still reported.
    std::atomic<bool> checkDone{false};
    std::atomic<bool> interrupted{false};
    std::thread stopper([&] {
        while (!checkDone) {
            if (WaitForStopSignal(stopSignals, std::chrono::milliseconds(200)) != 0) {
                interrupted = true;
                worker.Stop(kStopBound);
                return;
            }
        }
    });
    const std::vector<CEmailThread::AccountResult> results = worker.RunOnce();
    checkDone = true;
    stopper.join();
    printer.Flush();

    PrintTable(CountAccounts(state.m_Accounts), results);
    if (interrupted) {
        std::cerr << "sieveclaw-cli check: interrupted\n";
        return 1;
    }
    // Every account not on hold must have been checked through: a session cut short, a copy not
    // written or a message the server would not give leaves mail unjudged on the server.
    const bool complete = ReportIncompleteChecks(results);
    return !results.empty() && complete ? 0 : 1;
}

int RunRunCommand(const std::vector<std::string>& arguments) {
    if (!arguments.empty()) {
        return UnexpectedArguments("run", arguments);
    }
    // Before anything else: a SIGTERM while the files load must stop the run cleanly, and the
    // worker's thread inherits the mask.
    const sigset_t stopSignals = BlockStopSignals();
    CSharedState state;
    if (const std::string problem = LoadAsAtStartup(state); !problem.empty()) {
        std::cerr << "sieveclaw-cli run: " << problem << "\n";
        return kNothingToRun;
    }

    CCliStatusPrinter printer(std::cout, std::cerr);
    CCliUserPrompt prompt(state.m_Store, std::cout, std::cerr);
    CEmailThread worker(state, printer, nullptr, &prompt);
    const int delay = state.m_Settings.GetEmailDelay();
    std::cout << "Checking " << AccountCount(state.m_Accounts) << " account(s) every " << delay << " minute"
              << (delay == 1 ? "" : "s") << "; SIGINT or SIGTERM stops." << std::endl;
    if (!worker.Start()) {
        std::cerr << "sieveclaw-cli run: the mail check worker could not be started\n";
        return 1;
    }

    int received = 0;
    while (received == 0) {
        received = WaitForStopSignal(stopSignals, std::chrono::seconds(1));
        if (received == 0 && !worker.IsRunning()) {
            printer.Flush();
            std::cerr << "sieveclaw-cli run: the mail check worker ended on its own\n";
            return 1;
        }
    }
    printer.Flush();
    std::cout << "Stopping (" << (received == SIGINT ? "SIGINT" : "SIGTERM") << ")" << std::endl;
    if (!worker.Stop(kStopBound)) {
        // Leaving without the worker is safe: the server keeps every message whose deletion was
        // not confirmed by QUIT, and each one deleted has its copy on disk already.
        printer.Flush();
        std::cerr << "sieveclaw-cli run: the mail check worker did not end within " << kStopBound.count()
                  << " s; leaving without it\n";
        std::_Exit(1);
    }
    printer.Flush();
    std::cout << "Stopped" << std::endl;
    return 0;
}

}  // namespace sieveclaw
