#include "engine/MailCheck.h"

#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "core/AccountList.h"
#include "core/TextFile.h"
#include "engine/EmailThread.h"
#include "engine/FolderUpdater.h"
#include "tests/engine/EngineTestSupport.h"
#include "tests/support/FaultServer.h"
#include "tests/support/ScopedDataFolder.h"

// Checks against a scripted server that fails on purpose: connections lost in the middle of a
// download, of STAT or of the header pass, a header that cannot be read, a server gone silent
// while the program shuts down. Nothing may be lost, deleted or forgotten on their account.

namespace sieveclaw {
namespace {

using namespace std::chrono_literals;
using test::CFaultServer;
using test::CRecordingSink;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using ::testing::StartsWith;

std::string Header(const std::string& subject = "Report") {
    return "Return-Path: <ann@example.com>\r\nFrom: ann@example.com\r\nTo: work@example.org\r\nSubject: " + subject +
           "\r\nDate: Mon, 3 Jun 2024 09:14:22 +0200\r\n";
}

CFaultServer& LogOn(CFaultServer& server) {
    return server.Pop3Greeting()
        .Expect("CAPA")
        .Send("-ERR no\r\n")
        .Expect("USER work")
        .Send("+OK\r\n")
        .Expect("PASS pw")
        .Send("+OK\r\n");
}

// Log-on, STAT with one message, its header and its size, up to the RETR.
void ScriptUpToRetr(CFaultServer& server) {
    LogOn(server)
        .Expect("STAT")
        .Send("+OK 1 400\r\n")
        .Expect("TOP 1 0")
        .Send("+OK\r\n" + Header() + "\r\n.\r\n")
        .Expect("LIST 1")
        .Send("+OK 1 400\r\n")
        .Expect("RETR 1");
}

class MailCheckFaultTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_State = std::make_unique<CSharedState>();
        m_State->m_Settings.LoadSettings(m_State->m_Store);
        m_State->m_Settings.SetLastDataUpdateDate(std::time(nullptr));
        m_State->m_Settings.SetTimeout(5);  // seconds here
    }

    EmailAccountInfo AddWork(const CFaultServer& server) {
        const EmailAccountInfo account = test::MakeAccount("Work", "work", "pw", server.Port());
        AddAccount(m_State->m_Accounts, account);
        return account;
    }

    std::unique_ptr<CMailCheck> StartedCheck() {
        auto check = std::make_unique<CMailCheck>(*m_State, m_Sink, m_Updater, nullptr,
                                                  [](CTransportOptions& options) { options.m_TimeoutUnit = 1s; });
        check->ThreadStart();
        return check;
    }

    // An inbox file of the last run for the account "Work".
    std::string KeptFile(const std::string& name, const std::string& subject) {
        const std::string path = m_Folder.File("inbox") + "/" + name;
        std::filesystem::create_directories(m_Folder.File("inbox"));
        std::ofstream(path, std::ios::binary) << "ACCOUNT:Work\r\n" + Header(subject) + "\r\nKept.\r\n.\r\n";
        return path;
    }

    static void ExpectNoDeletion(const CFaultServer& server) {
        for (const std::string& line : server.Received()) {
            EXPECT_THAT(line, Not(StartsWith("DELE")));
        }
    }

    test::CScopedDataFolder m_Folder;
    std::unique_ptr<CSharedState> m_State;
    CRecordingSink m_Sink;
    CFolderUpdater m_Updater;
};

TEST_F(MailCheckFaultTest, ConnectionLostDuringRetrKeepsTheMessageForTheNextCheck) {
    CFaultServer server;
    ScriptUpToRetr(server);
    server.Send("+OK 400 octets\r\n" + Header() + "\r\nThe first half of the rep").Close();
    ScriptUpToRetr(server);
    server.Send("+OK 400 octets\r\n" + Header() + "\r\nThe whole report.\r\n.\r\n").Expect("QUIT").Send("+OK\r\n");
    server.Start();
    const EmailAccountInfo account = AddWork(server);

    auto check = StartedCheck();
    std::vector<CMailCheck::AccountResult> results = check->CheckAllAccounts();
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].m_Good, 0);
    EXPECT_EQ(account.m_InboxEntries->Count(), 0u);
    EXPECT_TRUE(std::filesystem::is_empty(m_Folder.File("inbox")));
    EXPECT_TRUE(std::filesystem::is_empty(m_Folder.File("spam")));

    results = check->CheckAllAccounts();
    EXPECT_TRUE(server.WaitClientGone(5s));
    EXPECT_THAT(server.Failures(), IsEmpty());
    ExpectNoDeletion(server);
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].m_Good, 1);
    ASSERT_EQ(account.m_InboxEntries->Count(), 1u);
    std::string stored;
    ASSERT_TRUE(ReadFileBytes(account.m_InboxEntries->Snapshot()[0].m_FilePath, stored));
    EXPECT_THAT(stored, HasSubstr("The whole report."));
}

TEST_F(MailCheckFaultTest, ADownloadThatStallsHalfWayIsNeitherStoredNorRemembered) {
    CFaultServer server;
    ScriptUpToRetr(server);
    server.Send("+OK 400 octets\r\n" + Header() + "\r\nThe first half of the rep").Hold();
    server.Start();
    const EmailAccountInfo account = AddWork(server);
    m_State->m_Settings.SetTimeout(1);  // one second here

    auto check = StartedCheck();
    const std::vector<CMailCheck::AccountResult> results = check->CheckAllAccounts();
    server.Stop();
    ExpectNoDeletion(server);
    EXPECT_EQ(results.at(0).m_Good + results.at(0).m_Spam, 0);
    EXPECT_EQ(account.m_InboxEntries->Count(), 0u);
    EXPECT_TRUE(std::filesystem::is_empty(m_Folder.File("inbox")));
    EXPECT_TRUE(std::filesystem::is_empty(m_Folder.File("spam")));
}

TEST_F(MailCheckFaultTest, AConnectionLostInStatOrTheHeaderPassForgetsNoInboxEntry) {
    const std::string first = KeptFile("100000010124001.eml", "First");
    const std::string second = KeptFile("100000010124002.eml", "Second");
    CFaultServer server;
    LogOn(server).Expect("STAT").Close();
    LogOn(server)
        .Expect("STAT")
        .Send("+OK 2 800\r\n")
        .Expect("TOP 1 0")
        .Send("+OK\r\n" + Header("First") + "\r\n.\r\n")
        .Expect("TOP 2 0")
        .Send("+OK\r\n" + Header("Sec"))
        .Close();
    server.Start();
    const EmailAccountInfo account = AddWork(server);
    auto check = StartedCheck();
    ASSERT_EQ(account.m_InboxEntries->Count(), 2u);

    check->CheckAllAccounts();  // no answer to STAT: nothing is known about the mailbox
    EXPECT_EQ(account.m_InboxEntries->Count(), 2u);
    check->CheckAllAccounts();  // the second header never arrived whole
    EXPECT_TRUE(server.WaitClientGone(5s));
    EXPECT_THAT(server.Failures(), IsEmpty());
    EXPECT_EQ(account.m_InboxEntries->Count(), 2u);
    EXPECT_TRUE(std::filesystem::exists(first));
    EXPECT_TRUE(std::filesystem::exists(second));
    EXPECT_EQ(m_Sink.CountCode(kStatusGettingMessage), 0u);
}

TEST_F(MailCheckFaultTest, ATooLargeMessageWhoseHeaderCannotBeReadStaysOnTheServer) {
    CFaultServer server;
    LogOn(server)
        .Expect("STAT")
        .Send("+OK 1 5000000\r\n")
        .Expect("TOP 1 0")
        .Send("-ERR TOP not supported\r\n")
        .Expect("LIST 1")
        .Send("+OK 1 5000000\r\n")
        .Expect("TOP 1 0")
        .Send("-ERR TOP not supported\r\n")
        .Expect("QUIT")
        .Send("+OK\r\n");
    server.Start();
    const EmailAccountInfo account = AddWork(server);
    auto check = StartedCheck();
    const std::vector<CMailCheck::AccountResult> results = check->CheckAllAccounts();
    EXPECT_TRUE(server.WaitClientGone(5s));
    EXPECT_THAT(server.Failures(), IsEmpty());
    ExpectNoDeletion(server);
    EXPECT_EQ(results.at(0).m_Spam, 0);
    EXPECT_EQ(account.m_InboxEntries->Count(), 0u);
    EXPECT_TRUE(std::filesystem::is_empty(m_Folder.File("spam")));
    EXPECT_TRUE(std::filesystem::is_empty(m_Folder.File("inbox")));
}

TEST_F(MailCheckFaultTest, StopCutsTheWaitForASilentServerShort) {
    CFaultServer server;
    LogOn(server).Expect("STAT").Hold();
    server.Start();
    AddWork(server);
    m_State->m_Settings.SetTimeout(60);

    CEmailThread thread(*m_State, m_Sink);
    thread.SetTransportTuning([](CTransportOptions& options) { options.m_TimeoutUnit = 1s; });
    ASSERT_TRUE(thread.Start());
    ASSERT_TRUE(m_Sink.WaitFor([](const std::vector<test::Notice>& notices) {
        return !notices.empty() && notices.back().m_Code == kStatusLoggedOn;
    }));
    std::this_thread::sleep_for(300ms);  // well into the wait for the answer to STAT
    ASSERT_THAT(server.Received(), ::testing::Contains("STAT"));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(thread.Stop(3s));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    // The log-off still went out, so what the session deleted would have taken effect.
    EXPECT_TRUE(server.WaitClientGone(5s));
    EXPECT_THAT(server.Received(), ::testing::Contains("QUIT"));
}

}  // namespace
}  // namespace sieveclaw
