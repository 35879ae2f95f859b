#include "engine/EmailThread.h"

#include <chrono>
#include <condition_variable>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "core/AccountList.h"
#include "core/TextFile.h"
#include "engine/FolderUpdater.h"
#include "engine/MailCheck.h"
#include "mail/MessageFiles.h"
#include "tests/engine/EngineTestSupport.h"
#include "tests/support/FaultServer.h"
#include "tests/support/ScopedDataFolder.h"

// The worker without a mail server: the countdown loop with its pause and "Check All Now", the
// stop, and the thread start (filter update, the inbox folder remembered from the last run).

namespace sieveclaw {
namespace {

using namespace std::chrono_literals;
using test::CFaultServer;
using test::CRecordingPrompt;
using test::CRecordingSink;
using test::Notice;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using EKind = Notice::EKind;

class EmailThreadTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_State = std::make_unique<CSharedState>();
        m_State->m_Settings.LoadSettings(m_State->m_Store);
        m_State->m_Settings.SetLastDataUpdateDate(std::time(nullptr));
    }

    std::size_t Checks() const { return m_Sink.Count(EKind::kScanningIcon); }

    // Waits a few turns of the loop (each about 50 ms) so that a check that should not start has had
    // every chance to.
    static void LetTheLoopTurn() { std::this_thread::sleep_for(400ms); }

    void WriteFile(const std::string& path, const std::string& text) {
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::ofstream(path, std::ios::binary) << text;
    }

    test::CScopedDataFolder m_Folder;  // before the state: the settings file lives in it
    std::unique_ptr<CSharedState> m_State;
    CRecordingSink m_Sink;
};

// --- the loop ---------------------------------------------------------------------------------

TEST_F(EmailThreadTest, FirstCheckRunsAtOnceAndTheCountdownRunsFromItsEnd) {
    m_State->m_Settings.SetEmailDelay(120);
    CEmailThread thread(*m_State, m_Sink);
    ASSERT_TRUE(thread.Start());
    EXPECT_TRUE(thread.IsRunning());
    EXPECT_FALSE(thread.Start()) << "a second worker is never started";
    ASSERT_TRUE(m_Sink.WaitForCount(EKind::kScanningIcon, 1, 5s));
    ASSERT_TRUE(m_Sink.WaitFor([](const std::vector<Notice>& notices) {
        std::size_t countdowns = 0;
        for (const Notice& notice : notices) {
            countdowns += notice.m_Kind == EKind::kStatusText && notice.m_Code == kStatusCountdown ? 1 : 0;
        }
        return countdowns >= 3;
    }));
    const std::vector<std::string> texts = m_Sink.TextsOf(kStatusCountdown);
    EXPECT_EQ(texts.front(), "2 hours, 0 minutes, 0 seconds");
    EXPECT_THAT(texts.back(), ::testing::AnyOf("2 hours, 0 minutes, 0 seconds", "1 hours, 59 minutes, 59 seconds"));

    // The interval is read every turn.
    m_State->m_Settings.SetEmailDelay(2);
    EXPECT_TRUE(m_Sink.WaitFor([](const std::vector<Notice>& notices) {
        return notices.back().m_Kind == EKind::kStatusText && notices.back().m_Code == kStatusCountdown &&
               notices.back().m_Text.rfind("1 minutes, 5", 0) == 0;
    }));
    EXPECT_TRUE(thread.Stop(2s));
    EXPECT_FALSE(thread.IsRunning());
    EXPECT_EQ(Checks(), 1u);
}

TEST_F(EmailThreadTest, TwoPressesWhilePausedMakeOneCheckAfterResume) {
    m_State->m_Settings.SetEmailDelay(120);
    CEmailThread thread(*m_State, m_Sink);
    ASSERT_TRUE(thread.Start());
    ASSERT_TRUE(m_Sink.WaitForCount(EKind::kScanningIcon, 1, 5s));

    m_State->SetPaused(true);
    thread.CheckNow();
    thread.CheckNow();
    LetTheLoopTurn();
    EXPECT_EQ(Checks(), 1u) << "a request waits while paused";
    EXPECT_EQ(m_Sink.TextsOf(kStatusCountdown).back(), "Paused.  Click Resume to continue");

    m_State->SetPaused(false);
    ASSERT_TRUE(m_Sink.WaitForCount(EKind::kScanningIcon, 2, 5s));
    LetTheLoopTurn();
    EXPECT_EQ(Checks(), 2u) << "two presses are one request";
    EXPECT_TRUE(thread.Stop(2s));
}

TEST_F(EmailThreadTest, APressDuringACheckStartsOneMoreRightAfterIt) {
    m_State->m_Settings.SetEmailDelay(120);
    CEmailThread thread(*m_State, m_Sink);
    bool pressed = false;
    m_Sink.SetHook([&](const Notice& notice) {
        // Runs on the worker, inside the first check.
        if (notice.m_Kind == EKind::kScanningIcon && !pressed) {
            pressed = true;
            thread.CheckNow();
            thread.CheckNow();
        }
    });
    ASSERT_TRUE(thread.Start());
    ASSERT_TRUE(m_Sink.WaitForCount(EKind::kScanningIcon, 2, 5s));
    LetTheLoopTurn();
    EXPECT_EQ(Checks(), 2u);
    EXPECT_TRUE(thread.Stop(2s));

    // The turn that takes the request shows 0 seconds, then the check starts.
    const std::vector<Notice> notices = m_Sink.All();
    std::vector<std::string> beforeSecond;
    int scans = 0;
    for (const Notice& notice : notices) {
        if (notice.m_Kind == EKind::kScanningIcon && ++scans == 2) {
            break;
        }
        if (scans == 1 && notice.m_Kind == EKind::kStatusText && notice.m_Code == kStatusCountdown) {
            beforeSecond.push_back(notice.m_Text);
        }
    }
    EXPECT_THAT(beforeSecond, ElementsAre("0 seconds"));
}

TEST_F(EmailThreadTest, StartedPausedItChecksNothingUntilResumed) {
    m_State->SetPaused(true);
    CEmailThread thread(*m_State, m_Sink);
    ASSERT_TRUE(thread.Start());
    LetTheLoopTurn();
    EXPECT_EQ(Checks(), 0u);
    EXPECT_EQ(m_Sink.TextsOf(kStatusCountdown).back(), "Paused.  Click Resume to continue");
    m_State->SetPaused(false);
    EXPECT_TRUE(m_Sink.WaitForCount(EKind::kScanningIcon, 1, 5s));
}

TEST_F(EmailThreadTest, StopEndsTheWorkerAndItCanBeStartedAgain) {
    CEmailThread thread(*m_State, m_Sink);
    EXPECT_TRUE(thread.Stop(1s)) << "nothing to stop";
    EXPECT_FALSE(m_State->m_StopSignal.IsSet()) << "no stop waits for the next start";

    ASSERT_TRUE(thread.Start());
    ASSERT_TRUE(m_Sink.WaitForCount(EKind::kScanningIcon, 1, 5s));
    LetTheLoopTurn();
    EXPECT_TRUE(thread.IsRunning()) << "the worker goes on after its first check";
    EXPECT_TRUE(thread.RunOnce().empty()) << "no headless check while the worker runs";
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(thread.Stop(2s));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms);
    EXPECT_FALSE(thread.IsRunning());
    EXPECT_FALSE(m_State->m_StopSignal.IsSet()) << "the worker took the signal";

    ASSERT_TRUE(thread.Start());
    EXPECT_TRUE(m_Sink.WaitForCount(EKind::kScanningIcon, 2, 5s));
    LetTheLoopTurn();
    EXPECT_TRUE(thread.IsRunning());
}  // the destructor stops the second worker

// A box the worker asks the user interface thread to show: it returns only once that thread has
// handled its events (Answer), as a blocking queued call does.
class CBlockingPrompt : public CRecordingPrompt {
public:
    void ShowDismissable(const std::string& switchName, const std::string& text) override {
        std::unique_lock lock(m_Lock);
        CRecordingPrompt::ShowDismissable(switchName, text);
        m_Changed.notify_all();
        m_Changed.wait(lock, [this] { return m_Answered; });
    }
    bool WaitAsked(std::chrono::milliseconds limit) {
        std::unique_lock lock(m_Lock);
        return m_Changed.wait_for(lock, limit, [this] { return !m_Dismissable.empty(); });
    }
    void Answer() {
        const std::lock_guard lock(m_Lock);
        m_Answered = true;
        m_Changed.notify_all();
    }

private:
    std::mutex m_Lock;
    std::condition_variable m_Changed;
    bool m_Answered = false;
};

// The worker waits for the thread that destroys it: with the stop-wait hook handling that thread's
// events it ends at once; without, the destructor gives up after its bound instead of waiting
// forever, and the worker ends on its own once answered.
TEST_F(EmailThreadTest, DestroyingTheWorkerNeverWaitsForeverOnTheUserInterfaceThread) {
    for (const bool hook : {true, false}) {
        SCOPED_TRACE(hook ? "with the hook" : "without");
        m_State->m_Settings.SetLastDataUpdateDate(std::time(nullptr) - 20 * 86400);  // the filter update asks
        CBlockingPrompt prompt;
        {
            CEmailThread thread(*m_State, m_Sink, nullptr, &prompt);
            thread.SetDestructorBound(1s);
            if (hook) {
                thread.SetStopWaitHook([&prompt] { prompt.Answer(); });
            }
            ASSERT_TRUE(thread.Start());
            ASSERT_TRUE(prompt.WaitAsked(5s));
        }
        // Within the bound, the hook's worker has ended; the other is still waiting for its answer.
        EXPECT_EQ(CEmailThread::WorkersLeftRunning(), hook ? 0U : 1U);
        prompt.Answer();
        for (int wait = 0; wait < 500 && CEmailThread::WorkersLeftRunning() > 0; ++wait) {
            std::this_thread::sleep_for(10ms);
        }
        ASSERT_EQ(CEmailThread::WorkersLeftRunning(), 0U) << "the worker left behind never ended";
    }
}

// --- the thread start -------------------------------------------------------------------------

TEST_F(EmailThreadTest, FilterUpdateMergesTheDroppedFilesAfterFourteenDays) {
    const std::time_t now = std::time(nullptr);
    m_State->m_Settings.SetLastDataUpdateDate(now - 14 * 86400);
    const std::string file = CFolderUpdater::UpdatesFolder() + "filters-1.txt";
    WriteFile(file, "1\r\nbulk-sender.example\r\nmiracle cure\r\n");
    CRecordingPrompt prompt;

    CEmailThread thread(*m_State, m_Sink, nullptr, &prompt);
    thread.RunOnce();

    EXPECT_TRUE(m_State->m_Lists.m_FromList.Contains("bulk-sender.example"));
    EXPECT_TRUE(m_State->m_Lists.m_BodyList.Contains("miracle cure"));
    EXPECT_FALSE(std::filesystem::exists(file));
    std::string wordList;
    EXPECT_TRUE(ReadFileBytes(m_Folder.File("wordlist.txt"), wordList)) << "the merged lists are saved";

    ASSERT_EQ(prompt.m_Dismissable.size(), 1u);
    EXPECT_EQ(prompt.m_Dismissable[0].first, "FilterCheck");
    EXPECT_EQ(prompt.m_Dismissable[0].second,
              "Sieveclaw checks the folder " + CFolderUpdater::UpdatesFolder() +
                  " for new filters every 14 days.  This is our way of making sure you have the latest and most up "
                  "to date filters.  When you close this message Sieveclaw will take the new filters it finds in " +
                  CFolderUpdater::UpdatesFolder() + " and then delete those files.");

    // The date is set and stored.
    EXPECT_GE(m_State->m_Settings.GetLastDataUpdateDate(), now);
    CProfileStore reread(GetProfileStorePath());
    ASSERT_TRUE(reread.Load());
    CSettings stored;
    stored.LoadSettings(reread);
    EXPECT_EQ(stored.GetLastDataUpdateDate(), m_State->m_Settings.GetLastDataUpdateDate());
}

TEST_F(EmailThreadTest, NoFilterUpdateBeforeFourteenWholeDays) {
    const std::time_t lastUpdate = std::time(nullptr) - 14 * 86400 + 3600;
    m_State->m_Settings.SetLastDataUpdateDate(lastUpdate);
    const std::string file = CFolderUpdater::UpdatesFolder() + "filters-1.txt";
    WriteFile(file, "1\r\nbulk-sender.example\r\n");
    CRecordingPrompt prompt;

    CEmailThread thread(*m_State, m_Sink, nullptr, &prompt);
    thread.RunOnce();

    EXPECT_FALSE(m_State->m_Lists.m_FromList.Contains("bulk-sender.example"));
    EXPECT_TRUE(std::filesystem::exists(file));
    EXPECT_TRUE(prompt.m_Dismissable.empty());
    EXPECT_EQ(m_State->m_Settings.GetLastDataUpdateDate(), lastUpdate);
}

TEST_F(EmailThreadTest, InboxFolderOfTheLastRunBecomesTheInboxEntriesAgain) {
    EmailAccountInfo account = test::MakeAccount("Work", "work", "pw", 1);
    account.m_OnHold = 1;
    AddAccount(m_State->m_Accounts, account);
    const std::string inbox = m_Folder.File("inbox");
    const std::string kept = inbox + "/120000010124123.eml";
    WriteFile(
        kept,
        "ACCOUNT:Work\r\nReturn-Path: <ann@example.com>\r\nFrom: Ann <ann@example.com>\r\nTo: work@example.org\r\n"
        "Subject: Minutes\r\nDate: Mon, 3 Jun 2024 09:14:22 +0200\r\n\r\nText\r\n.\r\n");
    const std::string orphan = inbox + "/120000010124124.eml";
    WriteFile(orphan, "ACCOUNT:Removed\r\nFrom: bob@example.com\r\nSubject: Old\r\n\r\nText\r\n");
    const std::string notice = inbox + "/120000010124125.eml";
    WriteFile(notice, "ACCOUNT:Work\r\n" + std::string(kOversizedNotice));
    const std::string foreign = inbox + "/notes.txt";
    WriteFile(foreign, "shopping list\n");
    // What a save cut short by a crash leaves: its message is still on the server.
    const std::string torn = inbox + "/120000010124126.eml.Ab12Cd";
    WriteFile(torn, "ACCOUNT:Work\r\nFrom: cy@example.com\r\nTo: work@example.org\r\nSubject: Half\r\nDate: Tue\r\n");

    CEmailThread thread(*m_State, m_Sink);
    thread.RunOnce();

    const std::vector<MessageEntry> entries = account.m_InboxEntries->Snapshot();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].m_From, "ann@example.com");
    EXPECT_EQ(entries[0].m_To, "work@example.org");
    EXPECT_EQ(entries[0].m_Subject, "Minutes");
    EXPECT_EQ(entries[0].m_Date, "Mon, 3 Jun 2024 09:14:22 +0200");
    EXPECT_EQ(entries[0].m_FilePath, kept);
    EXPECT_TRUE(std::filesystem::exists(kept));
    EXPECT_FALSE(std::filesystem::exists(orphan)) << "its account no longer exists";
    EXPECT_FALSE(std::filesystem::exists(notice)) << "nothing in it can be matched to a message";
    EXPECT_FALSE(std::filesystem::exists(foreign));
    EXPECT_FALSE(std::filesystem::exists(torn)) << "a torn temporary file is no stored message";
    EXPECT_TRUE(std::filesystem::is_directory(m_Folder.File("spam")));

    // A second start over the same folder finds the same entry once, not twice.
    thread.RunOnce();
    EXPECT_EQ(account.m_InboxEntries->Count(), 1u);
}

TEST_F(EmailThreadTest, TheCountdownRestartsWhenTheLastAccountIsDone) {
    // The server takes two seconds to greet; the countdown after the check must not count them.
    CFaultServer server;
    server.Pause(2200ms)
        .Pop3Greeting()
        .Expect("CAPA")
        .Send("-ERR no\r\n")
        .Expect("USER work")
        .Send("-ERR no such user\r\n");
    server.Start();
    AddAccount(m_State->m_Accounts, test::MakeAccount("Slow", "work", "pw", server.Port()));
    m_State->m_Settings.SetEmailDelay(120);
    m_State->m_Settings.SetTimeout(10);

    CEmailThread thread(*m_State, m_Sink);
    thread.SetTransportTuning([](CTransportOptions& options) { options.m_TimeoutUnit = 1s; });
    ASSERT_TRUE(thread.Start());
    ASSERT_TRUE(m_Sink.WaitFor([](const std::vector<Notice>& notices) {
        bool checked = false;
        for (const Notice& notice : notices) {
            checked = checked || (notice.m_Kind == EKind::kStatus && notice.m_Code == kStatusInboxCount);
            if (checked && notice.m_Kind == EKind::kStatusText && notice.m_Code == kStatusCountdown) {
                return true;
            }
        }
        return false;
    }));
    EXPECT_TRUE(thread.Stop(2s));
    const std::vector<Notice> notices = m_Sink.All();
    std::string firstAfter;
    bool checked = false;
    for (const Notice& notice : notices) {
        checked = checked || (notice.m_Kind == EKind::kStatus && notice.m_Code == kStatusInboxCount);
        if (checked && notice.m_Kind == EKind::kStatusText && notice.m_Code == kStatusCountdown) {
            firstAfter = notice.m_Text;
            break;
        }
    }
    EXPECT_THAT(firstAfter, ::testing::AnyOf("2 hours, 0 minutes, 0 seconds", "1 hours, 59 minutes, 59 seconds"));
    EXPECT_EQ(m_Sink.Count(EKind::kError), 0u) << "a refused USER has no server text to show";
}

}  // namespace
}  // namespace sieveclaw
