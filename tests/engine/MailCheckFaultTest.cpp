#include "engine/MailCheck.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <functional>
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
#include "mail/MessageFiles.h"
#include "tests/support/DovecotServer.h"
#include "tests/support/FaultServer.h"
#include "tests/support/ScopedDataFolder.h"

// Checks against a scripted server that fails on purpose: replies that pause, trickle, never end,
// come out of step or are not POP3 at all, connections lost in the middle of a download, of STAT
// or of the header pass, a server gone silent while the program shuts down. Nothing may be lost,
// deleted or forgotten on their account: no DELE goes out for a message without a whole copy on
// disk, and the account's check says why it did not complete.

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

std::string SpamHeader() {
    return "Return-Path: <x@spammer.example>\r\nFrom: offers@spammer.example\r\nTo: work@example.org\r\n"
           "Subject: Cheap\r\nDate: Tue, 4 Jun 2024 01:02:03 +0000\r\n";
}

// Whole messages as the server holds them; the spam has lines that go out dot-stuffed.
std::string GoodText() { return Header() + "\r\nThe whole report.\r\n"; }
std::string SpamText() { return SpamHeader() + "\r\n.\r\n..Buy now.\r\n"; }

// A whole multi-line answer: "+OK", the text dot-stuffed, the end marker.
std::string Whole(const std::string& text) { return "+OK\r\n" + test::CDovecotServer::RetrWireForm(text); }

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

    // The message part (after the REASON and ACCOUNT lines) of every file in the folder, in name
    // order; temporary files count too, so a torn write shows.
    std::vector<std::string> StoredMessages(const std::string& folder) const {
        std::vector<std::string> messages;
        for (const std::string& path : FilesInFolder(m_Folder.File(folder))) {
            std::string text;
            EXPECT_TRUE(ReadFileBytes(path, text)) << path;
            const std::size_t account = text.find("ACCOUNT:Work\r\n");
            messages.push_back(account == std::string::npos ? text : text.substr(account + 14));
        }
        return messages;
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

// One check of one account per row. After it, the server has been sent exactly the commands of
// the row (so no DELE and no QUIT after a fault), the folders hold exactly the row's whole copies,
// and the account's check tells why it did not complete.
TEST_F(MailCheckFaultTest, FaultsEndTheSessionAndDeleteNothingWithoutAWholeCopy) {
    const std::string tooLarge = "+OK 1 5000\r\n";
    const std::string oversizedSpam = SpamHeader() + "\r\n" + std::string(kOversizedNotice);
    struct Scenario {
        const char* m_Name;
        std::function<void(CFaultServer&)> m_Script;  // after the log-on
        std::vector<std::string> m_Sent;              // every command after the log-on
        std::vector<std::string> m_InboxCopies;       // the message part of each file
        std::vector<std::string> m_SpamCopies;
        const char* m_Failure;  // in the account's failure; "" when the check completes
        std::uint32_t m_MaxMsgSize = 1048576;
    };
    const auto goodThenSpam = [](CFaultServer& s) {
        s.Expect("STAT").Send("+OK 2 800\r\n").Expect("TOP 1 0").Send(Whole(Header())).Expect("TOP 2 0").Send(
            Whole(SpamHeader()));
    };
    const auto oneGood = [](CFaultServer& s) {
        s.Expect("STAT").Send("+OK 1 400\r\n").Expect("TOP 1 0").Send(Whole(Header())).Expect("LIST 1").Send(
            "+OK 1 400\r\n");
    };
    const auto oneSpam = [](CFaultServer& s) {
        s.Expect("STAT").Send("+OK 1 400\r\n").Expect("TOP 1 0").Send(Whole(SpamHeader())).Expect("LIST 1").Send(
            "+OK 1 400\r\n");
    };
    const std::vector<std::string> twoHeaders = {"STAT", "TOP 1 0", "TOP 2 0", "LIST 1"};
    const std::vector<std::string> upToRetr = {"STAT", "TOP 1 0", "LIST 1", "RETR 1"};
    const std::string wireGood = Whole(GoodText());
    const Scenario scenarios[] = {
        {"a whole check",
         [&](CFaultServer& s) {
             goodThenSpam(s);
             s.Expect("LIST 1").Send("+OK 1 400\r\n").Expect("RETR 1").Send(wireGood);
             s.Expect("LIST 2").Send("+OK 2 400\r\n").Expect("RETR 2").Send(Whole(SpamText()));
             s.Expect("DELE 2").Send("+OK\r\n").Expect("QUIT").Send("+OK\r\n");
         },
         {"STAT", "TOP 1 0", "TOP 2 0", "LIST 1", "RETR 1", "LIST 2", "RETR 2", "DELE 2", "QUIT"}, {GoodText()},
         {SpamText()}, ""},
        // The rest of message 1 used to be read as the answers to LIST 2 and RETR 2: the friend's
        // message judged spam and deleted.
        {"a pause inside RETR, then the rest",
         [&](CFaultServer& s) {
             goodThenSpam(s);
             s.Expect("LIST 1").Send("+OK 1 400\r\n").Expect("RETR 1").Send(wireGood.substr(0, 60)).Pause(1500ms).Send(
                 wireGood.substr(60));
         },
         {"STAT", "TOP 1 0", "TOP 2 0", "LIST 1", "RETR 1"}, {}, {}, "did not answer RETR 1 in time"},
        {"a pause inside the TOP of a message too large to download",
         [&](CFaultServer& s) {
             const std::string top = Whole(SpamHeader());
             s.Expect("STAT").Send("+OK 1 5000\r\n").Expect("TOP 1 0").Send(top).Expect("LIST 1").Send(tooLarge);
             s.Expect("TOP 1 0").Send(top.substr(0, 40)).Pause(1500ms).Send(top.substr(40));
         },
         {"STAT", "TOP 1 0", "LIST 1", "TOP 1 0"}, {}, {}, "did not answer TOP 1 0 in time", 1000},
        {"a lone dot the server forgot to stuff",
         [&](CFaultServer& s) {
             goodThenSpam(s);
             s.Expect("LIST 1").Send("+OK 1 400\r\n").Expect("RETR 1").Send("+OK\r\n" + Header() +
                                                                             "\r\nFirst part\r\n.\r\nThe rest\r\n.\r\n");
         },
         {"STAT", "TOP 1 0", "TOP 2 0", "LIST 1", "RETR 1"}, {}, {}, "out of step"},
        {"a download that never ends",
         [&](CFaultServer& s) {
             oneGood(s);
             s.Expect("RETR 1").Send("+OK\r\n").Flood(std::string(78, 'x') + "\r\n", 64u << 20);
         },
         upToRetr, {}, {}, "past every bound"},
        {"a download that trickles",
         [&](CFaultServer& s) {
             oneGood(s);
             s.Expect("RETR 1").SendSplit(wireGood, 40, 300ms);
         },
         upToRetr, {}, {}, "did not answer RETR 1 in time"},
        {"the connection lost inside RETR",
         [&](CFaultServer& s) {
             oneGood(s);
             s.Expect("RETR 1").Send(wireGood.substr(0, 60)).Close();
         },
         upToRetr, {}, {}, "lost during RETR 1"},
        {"STAT claims 10^12 messages", [](CFaultServer& s) { s.Expect("STAT").Send("+OK 1000000000000 5\r\n"); },
         {"STAT"}, {}, {}, "claims 1000000000000"},
        {"STAT with a negative count", [](CFaultServer& s) { s.Expect("STAT").Send("+OK -2 800\r\n"); }, {"STAT"}, {},
         {}, "answered STAT"},
        {"STAT garbled", [](CFaultServer& s) { s.Expect("STAT").Send("+OK two 800\r\n"); }, {"STAT"}, {}, {},
         "answered STAT"},
        {"LIST answered for another message",
         [&](CFaultServer& s) {
             goodThenSpam(s);
             s.Expect("LIST 1").Send("+OK 2 400\r\n");
         },
         twoHeaders, {}, {}, "answered LIST 1"},
        // The copy is whole before the DELE; what follows the garbage is not trusted, so no QUIT
        // makes the deletion take effect.
        {"garbage in answer to DELE",
         [&](CFaultServer& s) {
             oneSpam(s);
             s.Expect("RETR 1").Send(Whole(SpamText())).Expect("DELE 1").Send("what?\r\n");
         },
         {"STAT", "TOP 1 0", "LIST 1", "RETR 1", "DELE 1"}, {}, {SpamText()}, "answered DELE 1"},
        {"QUIT not confirmed",
         [&](CFaultServer& s) {
             oneSpam(s);
             s.Expect("RETR 1").Send(Whole(SpamText())).Expect("DELE 1").Send("+OK\r\n").Expect("QUIT").Send(
                 "-ERR some deleted messages not removed\r\n");
         },
         {"STAT", "TOP 1 0", "LIST 1", "RETR 1", "DELE 1", "QUIT"}, {}, {SpamText()}, "did not confirm the log-off"},
        {"RETR refused",
         [&](CFaultServer& s) {
             oneGood(s);
             s.Expect("RETR 1").Send("-ERR message locked\r\n").Expect("QUIT").Send("+OK\r\n");
         },
         {"STAT", "TOP 1 0", "LIST 1", "RETR 1", "QUIT"}, {}, {}, "refused RETR 1: message locked"},
        // Without its header the notice would be judged a blank message and deleted unseen.
        {"TOP refused for a message too large to download",
         [&](CFaultServer& s) {
             s.Expect("STAT").Send("+OK 1 5000\r\n").Expect("TOP 1 0").Send("-ERR TOP not supported\r\n");
             s.Expect("LIST 1").Send(tooLarge).Expect("TOP 1 0").Send("-ERR TOP not supported\r\n").Expect("QUIT").Send(
                 "+OK\r\n");
         },
         {"STAT", "TOP 1 0", "LIST 1", "TOP 1 0", "QUIT"}, {}, {}, "refused TOP 1", 1000},
        {"spam too large to download keeps its header",
         [&](CFaultServer& s) {
             s.Expect("STAT").Send("+OK 1 5000\r\n").Expect("TOP 1 0").Send(Whole(SpamHeader())).Expect("LIST 1").Send(
                 tooLarge);
             s.Expect("TOP 1 0").Send(Whole(SpamHeader() + "\r\n")).Expect("DELE 1").Send("+OK\r\n").Expect("QUIT").Send(
                 "+OK\r\n");
         },
         {"STAT", "TOP 1 0", "LIST 1", "TOP 1 0", "DELE 1", "QUIT"}, {}, {oversizedSpam}, "", 1000},
    };
    m_State->m_Lists.m_FromList.Add("spammer.example");
    m_State->m_Settings.SetTimeout(1);  // one second here
    for (const Scenario& scenario : scenarios) {
        SCOPED_TRACE(scenario.m_Name);
        for (const char* folder : {"inbox", "spam"}) {
            std::filesystem::remove_all(m_Folder.File(folder));
        }
        m_State->m_Accounts.Clear();
        m_State->m_Settings.SetMaxMsgSize(scenario.m_MaxMsgSize);
        CFaultServer server;
        scenario.m_Script(LogOn(server));
        server.Start();
        AddWork(server);
        const std::vector<CMailCheck::AccountResult> results = StartedCheck()->CheckAllAccounts();
        ASSERT_TRUE(server.WaitClientGone(10s));
        server.Stop();

        ASSERT_EQ(results.size(), 1u);
        if (*scenario.m_Failure == '\0') {
            EXPECT_EQ(results[0].m_Failure, "");
        } else {
            EXPECT_THAT(results[0].m_Failure, HasSubstr(scenario.m_Failure));
        }
        std::vector<std::string> sent = server.Received();
        ASSERT_GE(sent.size(), 3u);
        sent.erase(sent.begin(), sent.begin() + 3);  // CAPA, USER, PASS
        EXPECT_EQ(sent, scenario.m_Sent);
        EXPECT_EQ(StoredMessages("inbox"), scenario.m_InboxCopies);
        EXPECT_EQ(StoredMessages("spam"), scenario.m_SpamCopies);
    }
}

// The durable steps of a copy come in their order, all before the DELE of its message; when one
// fails, the copy is not there and the message stays on the server.
TEST_F(MailCheckFaultTest, TheCopyIsOnDiskBeforeItsMessageIsDeleted) {
    class CWatchedSteps : public CDurableSteps {
    public:
        CWatchedSteps(const CFaultServer& server, std::string failing) : m_Server(server), m_Failing(std::move(failing)) {}
        bool Write(int fd, std::string_view bytes) override { return Step("write") && CDurableSteps::Write(fd, bytes); }
        bool FlushFile(int fd) override { return Step("flush") && CDurableSteps::FlushFile(fd); }
        bool Place(const std::string& temporary, const std::string& path, EReplace replace) override {
            return Step("place") && CDurableSteps::Place(temporary, path, replace);
        }
        bool FlushFolder(const std::string& folder) override {
            return Step("flush folder") && CDurableSteps::FlushFolder(folder);
        }
        std::vector<std::string> m_Steps;

    private:
        bool Step(const std::string& name) {
            const std::vector<std::string> received = m_Server.Received();
            const bool deleted = std::find(received.begin(), received.end(), "DELE 1") != received.end();
            m_Steps.push_back(deleted ? name + " after the DELE" : name);
            errno = EIO;
            return name != m_Failing;
        }
        const CFaultServer& m_Server;
        std::string m_Failing;
    };
    m_State->m_Lists.m_FromList.Add("spammer.example");
    for (const std::string failing : {"", "flush", "flush folder"}) {
        SCOPED_TRACE("failing: " + failing);
        std::filesystem::remove_all(m_Folder.File("spam"));
        m_State->m_Accounts.Clear();
        CFaultServer server;
        LogOn(server).Expect("STAT").Send("+OK 1 400\r\n").Expect("TOP 1 0").Send(Whole(SpamHeader()));
        server.Expect("LIST 1").Send("+OK 1 400\r\n").Expect("RETR 1").Send(Whole(SpamText()));
        if (failing.empty()) {
            server.Expect("DELE 1").Send("+OK\r\n");
        }
        server.Expect("QUIT").Send("+OK\r\n");
        server.Start();
        AddWork(server);
        CWatchedSteps steps(server, failing);
        SetMessageFileSteps(&steps);
        const std::vector<CMailCheck::AccountResult> results = StartedCheck()->CheckAllAccounts();
        SetMessageFileSteps(nullptr);
        ASSERT_TRUE(server.WaitClientGone(10s));
        EXPECT_THAT(server.Failures(), IsEmpty());
        if (failing.empty()) {
            EXPECT_EQ(steps.m_Steps, (std::vector<std::string>{"write", "flush", "place", "flush folder"}));
            EXPECT_EQ(StoredMessages("spam"), std::vector<std::string>{SpamText()});
        } else {
            ExpectNoDeletion(server);
            EXPECT_EQ(steps.m_Steps.back(), failing);
            EXPECT_EQ(StoredMessages("spam"), std::vector<std::string>{});
            EXPECT_THAT(results.at(0).m_Failure, HasSubstr("copy could not be written"));
        }
    }
}

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

// Answers read ahead are matched to their commands by order alone. A lone dot the server forgot
// to stuff in a friend's message makes the rest of it pass for the answer to the next RETR: a
// spam copy of what is not the next message, whose DELE would delete that message unseen. What
// comes after shows the session out of step, or STAT's count before the QUIT does; either way
// the session's copies are taken back, no deletion takes effect, and the next checks of this
// run ask one command at a time.
TEST_F(MailCheckFaultTest, AnswersReadAheadOutOfStepTakeBackTheSessionsCopies) {
    const std::string mixedUp = "+OK\r\n" + Header() + "\r\nFirst part\r\n.\r\n+OK\r\n" + SpamHeader() +
                                "\r\nBuy now\r\n.\r\n";
    const std::string capa = "+OK\r\nTOP\r\nUIDL\r\nPIPELINING\r\n.\r\n";
    const std::string realSecond = Whole(SpamText());
    m_State->m_Lists.m_FromList.Add("spammer.example");
    // The real answer to RETR 2 comes after the DELE went out: its first line passes for the DELE's
    // answer; the rest comes at once, or only once the program thinks it is done.
    for (const bool late : {false, true}) {
        SCOPED_TRACE(late ? "late" : "at once");
        for (const char* folder : {"inbox", "spam"}) {
            std::filesystem::remove_all(m_Folder.File(folder));
        }
        m_State->m_Accounts.Clear();
        CFaultServer server;
        server.Pop3Greeting().Expect("CAPA").Send(capa).Expect("USER work").Send("+OK\r\n").Expect("PASS pw");
        server.Send("+OK\r\n").Expect("CAPA").Send(capa);
        server.Expect("STAT").Expect("UIDL").Send("+OK 2 800\r\n+OK\r\n1 a1\r\n2 b2\r\n.\r\n");
        server.Expect("TOP 1 0").Expect("TOP 2 0").Send(Whole(Header()) + Whole(SpamHeader()));
        server.Expect("LIST").Send("+OK\r\n1 400\r\n2 400\r\n.\r\n");
        server.Expect("RETR 1").Expect("RETR 2").Send(mixedUp).Expect("DELE 2");
        if (late) {
            server.Send(realSecond.substr(0, 5)).Pause(300ms).Send(realSecond.substr(5) + "+OK\r\n");
        } else {
            server.Send(realSecond + "+OK\r\n");
        }
        server.Hold();
        server.Start();
        const EmailAccountInfo account = AddWork(server);
        const std::vector<CMailCheck::AccountResult> results = StartedCheck()->CheckAllAccounts();
        ASSERT_TRUE(server.WaitClientGone(10s));
        server.Stop();

        EXPECT_THAT(server.Failures(), IsEmpty());
        const std::vector<std::string> sent = server.Received();
        EXPECT_EQ(std::find(sent.begin(), sent.end(), "QUIT"), sent.end());
        EXPECT_EQ(sent.back(), late ? "STAT" : "DELE 2");
        ASSERT_EQ(results.size(), 1u);
        EXPECT_THAT(results[0].m_Failure, HasSubstr("could not be trusted, so the copies of this check were taken back"));
        EXPECT_THAT(results[0].m_Failure, HasSubstr("out of step"));
        EXPECT_EQ(results[0].m_Good + results[0].m_Spam, 0);
        EXPECT_EQ(account.m_InboxEntries->Count(), 0u);
        EXPECT_THAT(StoredMessages("inbox"), IsEmpty());
        EXPECT_THAT(StoredMessages("spam"), IsEmpty());
    }
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
