#include "engine/MailCheck.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "core/AccountList.h"
#include "core/TextFile.h"
#include "engine/EmailThread.h"
#include "engine/FolderUpdater.h"
#include "mail/MessageFiles.h"
#include "mail/MessageIds.h"
#include "net/CPOP3Client.h"
#include "net/CSocket.h"
#include "tests/engine/EngineTestSupport.h"
#include "tests/support/DovecotServer.h"
#include "tests/support/ScopedDataFolder.h"

// Checks of real mailboxes on a Dovecot on 127.0.0.1, from the log-on to the stored copies:
// what is remembered, what is deleted on the server and when, and what reaches the user.

namespace sieveclaw {
namespace {

using namespace std::chrono_literals;
using test::CDovecotServer;
using test::CRecordingSink;
using test::Notice;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using EKind = Notice::EKind;

constexpr const char* kPassword = "s3cret";

std::string Message(const std::string& from, const std::string& subject, const std::string& body = "Hello.") {
    return "Return-Path: <" + from + ">\nFrom: " + from + "\nTo: owner@example.org\nSubject: " + subject +
           "\nDate: Mon, 3 Jun 2024 09:14:22 +0200\n\n" + body + "\n";
}
std::string Good(const std::string& subject) {
    return Message("friend@example.com", subject);
}
std::string Spam(const std::string& subject) {
    return Message("offers@spammer.example", subject);
}

const std::string kExactText = Message("friend@example.com", "Exactly the limit", std::string(300, 'x'));

// Messages whose copies are easy to get wrong: lines that go out dot-stuffed, trailing blanks, a
// last line without its end, a header in lower case, a sender named in the body.
std::vector<std::string> FaithfulMessages() {
    return {
        Message("friend@example.com", "Dots",
                ".\n..\n...Chris\n.x\ntrailing blanks   \n  \n\tTab line\nlast line without its end"),
        Message("offers@spammer.example", "Cheap", ".\n..Buy now\n"),
        "Return-Path: <friend@example.com>\nfrom: friend@example.com\nto: owner@example.org\nsubject: lower\n"
        "date: Mon, 3 Jun 2024 09:14:22 +0200\n\nA header in lower case is a header.\n",
        "Return-Path: <x@spammer.example>\r\nSubject: Dear friend\r\nDate: Tue, 4 Jun 2024 01:02:03 +0000\r\n"
        "From: offers@spammer.example\r\n\r\nFrom: friend@example.com\r\n",
    };
}

// Good mail and spam interleaved, with the messages whose copies are easy to get wrong and twins.
std::vector<std::string> MixedMessages() {
    std::vector<std::string> messages = FaithfulMessages();
    for (int i = 0; i < 12; ++i) {
        const std::string subject = "Mixed " + std::to_string(i);
        messages.push_back(i % 3 == 0 ? Spam(subject) : Message("friend@example.com", subject, std::string(i * 700, 'm')));
    }
    messages.push_back(Good("Same"));
    messages.push_back(Good("Same"));
    return messages;
}

// Every message of the mailbox as a POP3 client receives it: RETR over a plain connection, the
// end marker dropped and every stuffed line unstuffed, without anything of the client under test.
std::vector<std::string> FetchUnstuffed(int port, const std::string& user, std::size_t count) {
    CTransportOptions options;
    options.m_TimeoutUnit = std::chrono::seconds(10);
    CSocket sock(options);
    std::vector<std::string> messages;
    if (!sock.Create() || !sock.Connect("127.0.0.1", port)) {
        return messages;
    }
    const auto readUntil = [&sock](std::string_view end) {
        std::string got;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!got.ends_with(end) && std::chrono::steady_clock::now() < deadline && !sock.HasFailed()) {
            sock.WaitReadable(std::chrono::milliseconds(50));
            sock.FillNow();
            got += sock.Buffered();
            sock.Consume(sock.Buffered().size());
        }
        return got;
    };
    readUntil("\r\n");
    sock.Send("USER " + user + "\r\n");
    readUntil("\r\n");
    sock.Send(std::string("PASS ") + kPassword + "\r\n");
    readUntil("\r\n");
    for (std::size_t n = 1; n <= count; ++n) {
        sock.Send("RETR " + std::to_string(n) + "\r\n");
        std::string wire = readUntil("\r\n.\r\n");
        wire.erase(0, wire.find("\r\n") + 2);
        wire.resize(wire.size() - 3);
        std::string message;
        for (std::size_t start = 0; start < wire.size();) {
            const std::size_t end = wire.find("\r\n", start) + 2;
            message.append(wire, wire[start] == '.' ? start + 1 : start, end - start - (wire[start] == '.' ? 1 : 0));
            start = end;
        }
        messages.push_back(message);
    }
    return messages;
}

class MailCheckDovecotTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_Server = std::make_unique<CDovecotServer>();
        for (const char* user : {"keep", "taken", "emptied", "pending", "trash", "paused"}) {
            s_Server->AddUser(user, kPassword, {Good(std::string(user) + " one"), Good(std::string(user) + " two")});
        }
        s_Server->AddUser("twins", kPassword, {Good("Same"), Good("Same")});
        s_Server->AddUser("exact", kPassword, {kExactText});
        s_Server->AddUser("over", kPassword, {kExactText});
        s_Server->AddUser("held", kPassword, {Good("held")});
        s_Server->AddUser("partner", kPassword, {Good("partner")});
        s_Server->AddUser("loud", kPassword, {Spam("Cheap"), Good("loud")});
        s_Server->AddUser("quiet", kPassword, {Spam("Cheap"), Good("quiet")});
        s_Server->AddUser("mute", kPassword, {Spam("Cheap"), Good("mute")});
        s_Server->AddUser("full", kPassword, {Spam("Cheap 1"), Spam("Cheap 2"), Good("full")});
        s_Server->AddUser("victim", "right-password", {Good("victim")});
        s_Server->AddUser("other", kPassword, {Good("other")});
        s_Server->AddUser("stopper", kPassword, {Spam("Cheap 1"), Spam("Cheap 2"), Spam("Cheap 3")});
        s_Server->AddUser("faithful", kPassword, FaithfulMessages());
        for (const char* user : {"mixed0", "mixed1", "mixed2"}) {
            s_Server->AddUser(user, kPassword, MixedMessages());
        }
        if (!s_Server->Start()) {
            s_StartError = s_Server->Error();
        }
    }
    static void TearDownTestSuite() { s_Server.reset(); }

    void SetUp() override {
        ASSERT_TRUE(s_StartError.empty()) << s_StartError;
        m_State = std::make_unique<CSharedState>();
        CSettings& settings = m_State->m_Settings;
        settings.LoadSettings(m_State->m_Store);
        settings.SetLastDataUpdateDate(std::time(nullptr));
        settings.SetTimeout(10);  // seconds here, see Tune
        settings.SetImplicitTlsPorts({s_Server->TlsPort()});
        m_State->m_Lists.m_FromList.Add("spammer.example");
    }

    static void Tune(CTransportOptions& options) {
        options.m_TimeoutUnit = 1s;
        options.m_CaFile = s_Server->CaFile();
    }

    EmailAccountInfo Add(const std::string& name, const std::string& user, const std::string& password = kPassword) {
        EmailAccountInfo account = test::MakeAccount(name, user, password, s_Server->PlainPort());
        m_Positions.push_back(AddAccount(m_State->m_Accounts, account));
        return account;
    }

    std::unique_ptr<CMailCheck> StartedCheck() {
        auto check = std::make_unique<CMailCheck>(*m_State, m_Sink, m_Updater, nullptr, Tune);
        check->ThreadStart();
        return check;
    }

    static std::vector<std::string> Files(const std::string& folder) {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            names.push_back(entry.path().string());
        }
        return names;
    }

    // What another mail program does: takes message n off the server.
    static void TakeOffServer(const std::string& user, int n) {
        CTransportOptions options;
        Tune(options);
        CPOP3Client client(options);
        ASSERT_TRUE(client.Logon("127.0.0.1", user, kPassword, s_Server->PlainPort())) << client.m_LastError;
        client.DeleteMessage(n);
        client.Logoff();
    }

    static std::string Read(const std::string& path) {
        std::string text;
        EXPECT_TRUE(ReadFileBytes(path, text)) << path;
        return text;
    }

    static inline std::unique_ptr<CDovecotServer> s_Server;
    static inline std::string s_StartError;

    test::CScopedDataFolder m_Folder;
    std::unique_ptr<CSharedState> m_State;
    CRecordingSink m_Sink;
    CFolderUpdater m_Updater;
    std::vector<ListPos> m_Positions;
};

// What a check leaves behind that the way it talked to the server must not change.
struct CheckOutcome {
    int m_Good = 0;
    int m_Spam = 0;
    std::vector<std::string> m_Inbox;     // the copies' contents (their names differ), sorted
    std::vector<std::string> m_SpamCopies;
    std::vector<std::string> m_Subjects;  // of the inbox entries, sorted
    std::vector<std::string> m_OnServer;  // what is left there, sorted
};

TEST_F(MailCheckDovecotTest, EveryWayOfAskingTheServerGivesTheOutcomeOfOneCommandAtATime) {
    struct Way {
        const char* m_User;
        bool m_OneAtATime;
        std::int32_t m_LeaveUnread;
    };
    const Way ways[] = {{"mixed0", true, 0}, {"mixed1", false, 0}, {"mixed2", false, 1}};
    std::vector<CheckOutcome> outcomes;
    for (const Way& way : ways) {
        SCOPED_TRACE(way.m_User);
        SetUp();
        for (const char* folder : {"inbox", "spam"}) {
            std::filesystem::remove_all(m_Folder.File(folder));
        }
        EmailAccountInfo account = test::MakeAccount("Mixed", way.m_User, kPassword, s_Server->PlainPort());
        account.m_LeaveMailUnread = way.m_LeaveUnread;
        AddAccount(m_State->m_Accounts, account);
        CMailCheck check(*m_State, m_Sink, m_Updater, nullptr, [&way](CTransportOptions& options) {
            Tune(options);
            options.m_OneCommandAtATime = way.m_OneAtATime;
        });
        check.ThreadStart();
        const std::vector<CMailCheck::AccountResult> results = check.CheckAllAccounts();
        ASSERT_EQ(results.size(), 1u);
        CheckOutcome outcome;
        outcome.m_Good = results[0].m_Good;
        outcome.m_Spam = results[0].m_Spam;
        const auto contents = [this](const char* folder) {
            std::vector<std::string> texts;
            for (const std::string& path : Files(m_Folder.File(folder))) {
                texts.push_back(Read(path));
            }
            std::ranges::sort(texts);
            return texts;
        };
        outcome.m_Inbox = contents("inbox");
        outcome.m_SpamCopies = contents("spam");
        for (const MessageEntry& entry : account.m_InboxEntries->Snapshot()) {
            outcome.m_Subjects.push_back(entry.m_Subject);
        }
        std::ranges::sort(outcome.m_Subjects);
        outcome.m_OnServer = FetchUnstuffed(s_Server->PlainPort(), way.m_User,
                                            static_cast<std::size_t>(s_Server->MessageCount(way.m_User)));
        std::ranges::sort(outcome.m_OnServer);
        outcomes.push_back(std::move(outcome));
    }
    const CheckOutcome& baseline = outcomes[0];
    EXPECT_EQ(baseline.m_Spam, 6);  // the two spam of the hard cases and every third of the rest
    EXPECT_EQ(baseline.m_Good, 11);  // the second twin is skipped
    EXPECT_EQ(baseline.m_SpamCopies.size(), 6u);
    EXPECT_EQ(baseline.m_OnServer.size(), 12u);
    for (std::size_t i = 1; i < outcomes.size(); ++i) {
        SCOPED_TRACE(ways[i].m_User);
        EXPECT_EQ(outcomes[i].m_Good, baseline.m_Good);
        EXPECT_EQ(outcomes[i].m_Spam, baseline.m_Spam);
        EXPECT_EQ(outcomes[i].m_Subjects, baseline.m_Subjects);
        EXPECT_EQ(outcomes[i].m_Inbox, baseline.m_Inbox);
        EXPECT_EQ(outcomes[i].m_SpamCopies, baseline.m_SpamCopies);
        EXPECT_EQ(outcomes[i].m_OnServer, baseline.m_OnServer);
    }
}

TEST_F(MailCheckDovecotTest, StoredGoodMailIsNotDownloadedAgainNorAfterARestart) {
    const EmailAccountInfo account = Add("Keep", "keep");
    auto check = StartedCheck();
    std::vector<CMailCheck::AccountResult> results = check->CheckAllAccounts();
    ASSERT_EQ(results.size(), 1u);
    EXPECT_TRUE(results[0].m_LoggedOn);
    EXPECT_EQ(results[0].m_Good, 2);
    EXPECT_EQ(m_Sink.TextsOf(kStatusGettingMessage), (std::vector<std::string>{"1 of 2", "2 of 2"}));
    EXPECT_THAT(m_Sink.TextsOf(kStatusLoggingOn), ElementsAre("Keep"));
    EXPECT_THAT(m_Sink.TextsOf(kStatusLoggedOn), ElementsAre("Keep"));
    const std::vector<MessageEntry> entries = account.m_InboxEntries->Snapshot();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].m_Subject, "keep one");
    EXPECT_EQ(entries[0].m_From, "friend@example.com");
    EXPECT_THAT(Read(entries[0].m_FilePath), ::testing::StartsWith("ACCOUNT:Keep\r\nReturn-Path:"));
    EXPECT_EQ(Files(m_Folder.File("inbox")).size(), 2u);
    // Every examined message turns the line blue while it is asked for, then black.
    EXPECT_EQ(m_Sink.ValuesOf(kStatusInboxCount).size(), 3u);  // one per stored message, one per account
    std::vector<std::int64_t> colours;
    for (const Notice& notice : m_Sink.OfKind(EKind::kColour)) {
        colours.push_back(notice.m_Value);
    }
    EXPECT_THAT(colours, ElementsAre(0x0000FF, 0, 0x0000FF, 0));

    // Known by their ids, they cost not even a header.
    m_Sink.Clear();
    results = check->CheckAllAccounts();
    EXPECT_THAT(m_Sink.TextsOf(kStatusGettingHeader), IsEmpty());
    EXPECT_THAT(m_Sink.TextsOf(kStatusGettingMessage), IsEmpty());
    EXPECT_EQ(account.m_InboxEntries->Count(), 2u);

    // A new run over the same data folder knows the two messages from their files and ids; without
    // the ids, from their headers, and the ids are written again.
    for (const std::size_t headersRead : {0u, 2u}) {
        SCOPED_TRACE(headersRead);
        if (headersRead > 0) {
            std::filesystem::remove_all(MessageIdsFolder());
        }
        CSharedState restarted;
        restarted.m_Settings.LoadSettings(restarted.m_Store);
        restarted.m_Settings.SetLastDataUpdateDate(std::time(nullptr));
        restarted.m_Settings.SetImplicitTlsPorts({s_Server->TlsPort()});
        const EmailAccountInfo again = test::MakeAccount("Keep", "keep", kPassword, s_Server->PlainPort());
        AddAccount(restarted.m_Accounts, again);
        CRecordingSink sink;
        CEmailThread thread(restarted, sink);
        thread.SetTransportTuning(Tune);
        results = thread.RunOnce();
        ASSERT_EQ(results.size(), 1u);
        EXPECT_TRUE(results[0].m_LoggedOn);
        EXPECT_EQ(sink.CountCode(kStatusGettingHeader), headersRead);
        EXPECT_EQ(sink.CountCode(kStatusGettingMessage), 0u);
        EXPECT_EQ(again.m_InboxEntries->Count(), 2u);
        EXPECT_EQ(Files(m_Folder.File("inbox")).size(), 2u);
        EXPECT_EQ(Files(MessageIdsFolder()).size(), 1u);
        EXPECT_EQ(s_Server->MessageCount("keep"), 2);
    }
}

// Each copy, after its REASON and ACCOUNT lines, is the message byte for byte as a POP3 client
// receives it once unstuffed. The lower-case header is read as a header (good mail), and the
// sender named in a body is not the sender.
TEST_F(MailCheckDovecotTest, EveryCopyIsTheMessageAsTheServerHoldsIt) {
    const std::vector<std::string> held = FetchUnstuffed(s_Server->PlainPort(), "faithful", FaithfulMessages().size());
    ASSERT_EQ(held.size(), FaithfulMessages().size());
    Add("Faithful", "faithful");
    const std::vector<CMailCheck::AccountResult> results = StartedCheck()->CheckAllAccounts();
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].m_Failure, "");
    EXPECT_EQ(results[0].m_Good, 2);
    EXPECT_EQ(results[0].m_Spam, 2);
    std::vector<std::string> copies;
    for (const char* folder : {"inbox", "spam"}) {
        for (const std::string& path : Files(m_Folder.File(folder))) {
            const std::string text = Read(path);
            const std::size_t account = text.find("ACCOUNT:Faithful\r\n");
            ASSERT_NE(account, std::string::npos) << path;
            copies.push_back(text.substr(account + 18));
        }
    }
    std::vector<std::string> expected = held;
    std::sort(expected.begin(), expected.end());
    std::sort(copies.begin(), copies.end());
    EXPECT_EQ(copies, expected);
    for (std::size_t i = 0; i < held.size(); ++i) {
        EXPECT_EQ(held[i], CDovecotServer::HeldForm(FaithfulMessages()[i])) << "message " << i + 1;
    }
}

TEST_F(MailCheckDovecotTest, AnEntryWhoseMessageAnotherProgramTookIsDroppedWithItsFile) {
    const EmailAccountInfo account = Add("Taken", "taken");
    auto check = StartedCheck();
    check->CheckAllAccounts();
    ASSERT_EQ(account.m_InboxEntries->Count(), 2u);
    const std::string firstFile = account.m_InboxEntries->Snapshot()[0].m_FilePath;

    TakeOffServer("taken", 1);
    m_Sink.Clear();
    check->CheckAllAccounts();
    const std::vector<MessageEntry> entries = account.m_InboxEntries->Snapshot();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].m_Subject, "taken two");
    EXPECT_FALSE(std::filesystem::exists(firstFile));
    EXPECT_EQ(Files(m_Folder.File("inbox")).size(), 1u);
    EXPECT_EQ(m_Sink.CountCode(kStatusGettingMessage), 0u);
}

TEST_F(MailCheckDovecotTest, AnEmptiedMailboxForgetsItsEntriesAndFiles) {
    const EmailAccountInfo account = Add("Emptied", "emptied");
    auto check = StartedCheck();
    check->CheckAllAccounts();
    ASSERT_EQ(account.m_InboxEntries->Count(), 2u);

    TakeOffServer("emptied", 1);
    TakeOffServer("emptied", 1);  // what was message 2
    ASSERT_EQ(s_Server->MessageCount("emptied"), 0);
    check->CheckAllAccounts();
    EXPECT_EQ(account.m_InboxEntries->Count(), 0u);
    EXPECT_THAT(Files(m_Folder.File("inbox")), IsEmpty());
}

TEST_F(MailCheckDovecotTest, UserDeletionsReachTheServerAtTheNextCheck) {
    const EmailAccountInfo inboxAccount = Add("Pending", "pending");
    const EmailAccountInfo trashAccount = Add("Trash", "trash");
    auto check = StartedCheck();
    check->CheckAllAccounts();
    ASSERT_EQ(inboxAccount.m_InboxEntries->Count(), 2u);
    ASSERT_EQ(trashAccount.m_InboxEntries->Count(), 2u);

    // Deleted in the Inbox window: the entry becomes a pending deletion and its file goes.
    const ListPos deleted = inboxAccount.m_InboxEntries->First();
    const MessageEntry gone = *inboxAccount.m_InboxEntries->GetAt(deleted);
    inboxAccount.m_InboxEntries->RemoveAt(deleted);
    std::filesystem::remove(gone.m_FilePath);
    inboxAccount.m_PendingDeletions->Append(gone);
    // Moved to the Trash Can: the entry becomes a trash deletion.
    const ListPos moved = trashAccount.m_InboxEntries->Next(trashAccount.m_InboxEntries->First());
    const MessageEntry trashed = *trashAccount.m_InboxEntries->GetAt(moved);
    trashAccount.m_InboxEntries->RemoveAt(moved);
    m_State->m_TrashDeletions.Append(trashed);

    m_Sink.Clear();
    const std::vector<CMailCheck::AccountResult> results = check->CheckAllAccounts();
    EXPECT_EQ(results[0].m_Deleted, 1);
    EXPECT_EQ(results[1].m_Deleted, 1);
    EXPECT_EQ(s_Server->MessageCount("pending"), 1);
    EXPECT_EQ(s_Server->MessageCount("trash"), 1);
    EXPECT_TRUE(inboxAccount.m_PendingDeletions->IsEmpty());
    EXPECT_TRUE(m_State->m_TrashDeletions.IsEmpty());
    EXPECT_EQ(m_Sink.CountCode(kStatusGettingMessage), 0u) << "a deleted message is not examined";
    EXPECT_EQ(inboxAccount.m_InboxEntries->Snapshot().at(0).m_Subject, "pending two");
    EXPECT_EQ(trashAccount.m_InboxEntries->Snapshot().at(0).m_Subject, "trash one");
}

TEST_F(MailCheckDovecotTest, OfTwoIdenticalMessagesTheSecondIsSkipped) {
    const EmailAccountInfo account = Add("Twins", "twins");
    auto check = StartedCheck();
    const std::vector<CMailCheck::AccountResult> results = check->CheckAllAccounts();
    EXPECT_EQ(results[0].m_Good, 1);
    EXPECT_EQ(m_Sink.CountCode(kStatusGettingMessage), 2u);
    EXPECT_EQ(m_Sink.CountCode(kStatusScanning), 1u) << "only the first is judged";
    EXPECT_EQ(account.m_InboxEntries->Count(), 1u);
    EXPECT_EQ(Files(m_Folder.File("inbox")).size(), 1u);
    EXPECT_EQ(s_Server->MessageCount("twins"), 2);

    m_Sink.Clear();
    check->CheckAllAccounts();
    EXPECT_EQ(m_Sink.CountCode(kStatusGettingMessage), 0u);
    EXPECT_EQ(account.m_InboxEntries->Count(), 1u);
}

TEST_F(MailCheckDovecotTest, AMessageOfExactlyMaxMsgSizeIsDownloadedOneByteMoreIsNot) {
    const auto size = static_cast<std::uint32_t>(CDovecotServer::WireSize(kExactText));
    const EmailAccountInfo exact = Add("Exact", "exact");
    m_State->m_Settings.SetMaxMsgSize(size);
    auto check = StartedCheck();
    check->CheckAllAccounts();
    ASSERT_EQ(exact.m_InboxEntries->Count(), 1u);
    EXPECT_THAT(Read(exact.m_InboxEntries->Snapshot()[0].m_FilePath), HasSubstr(std::string(300, 'x')));

    AddAccount(m_State->m_Accounts, test::MakeAccount("Over", "over", kPassword, s_Server->PlainPort()));
    m_State->m_Settings.SetMaxMsgSize(size - 1);
    m_Sink.Clear();
    check->CheckAllAccounts();
    const std::optional<EmailAccountInfo> over = m_State->m_Accounts.GetAt(FindAccount(m_State->m_Accounts, "Over"));
    ASSERT_TRUE(over);
    const std::vector<MessageEntry> entries = over->m_InboxEntries->Snapshot();
    ASSERT_EQ(entries.size(), 1u);
    // The copy keeps its header (so the Trash Can would show who sent it) and the notice.
    const std::string held = CDovecotServer::HeldForm(kExactText);
    const std::string header = held.substr(0, held.find("\r\n\r\n") + 4);
    EXPECT_EQ(Read(entries[0].m_FilePath), "ACCOUNT:Over\r\n" + header + std::string(kOversizedNotice));
    // Its header was read, so the entry still names the message.
    EXPECT_EQ(entries[0].m_Subject, "Exactly the limit");
    EXPECT_EQ(s_Server->MessageCount("over"), 1);
    EXPECT_EQ(m_Sink.CountCode(kStatusBytesDownloaded), 0u) << "nothing of it was downloaded";
}

TEST_F(MailCheckDovecotTest, HeldAccountIsSkippedButItsCountIsRefreshed) {
    EmailAccountInfo held = test::MakeAccount("Held", "held", kPassword, s_Server->PlainPort());
    held.m_OnHold = 1;
    const ListPos heldPos = AddAccount(m_State->m_Accounts, held);
    const EmailAccountInfo partner = Add("Partner", "partner");
    const std::size_t logStart = s_Server->LogText().size();
    auto check = StartedCheck();
    const std::vector<CMailCheck::AccountResult> results = check->CheckAllAccounts();

    ASSERT_EQ(results.size(), 2u);
    EXPECT_TRUE(results[0].m_OnHold);
    EXPECT_FALSE(results[0].m_LoggedOn);
    EXPECT_TRUE(results[1].m_LoggedOn);
    EXPECT_THAT(m_Sink.TextsOf(kStatusLoggingOn), ElementsAre("Partner"));
    const std::vector<std::int64_t> counts = m_Sink.ValuesOf(kStatusInboxCount);
    ASSERT_FALSE(counts.empty());
    EXPECT_EQ(counts.front(), static_cast<std::int64_t>(heldPos));
    EXPECT_EQ(partner.m_InboxEntries->Count(), 1u);
    ASSERT_TRUE(s_Server->WaitForLog("user=<partner>", logStart));
    EXPECT_THAT(s_Server->LogText().substr(logStart), ::testing::Not(HasSubstr("user=<held>")));
    EXPECT_EQ(s_Server->MessageCount("held"), 1);
}

TEST_F(MailCheckDovecotTest, SpamIsStoredThenDeletedAndBothSoundsPlay) {
    const EmailAccountInfo account = Add("Loud", "loud");
    auto check = StartedCheck();
    const std::vector<CMailCheck::AccountResult> results = check->CheckAllAccounts();
    EXPECT_EQ(results[0].m_Spam, 1);
    EXPECT_EQ(results[0].m_Good, 1);
    EXPECT_EQ(s_Server->MessageCount("loud"), 1);
    const std::vector<std::string> spam = Files(m_Folder.File("spam"));
    ASSERT_EQ(spam.size(), 1u);
    const std::string copy = Read(spam[0]);
    EXPECT_THAT(copy, ::testing::StartsWith("REASON:"));
    EXPECT_THAT(copy, HasSubstr("\r\nACCOUNT:Loud\r\n"));
    EXPECT_THAT(copy, HasSubstr("Subject: Cheap"));
    EXPECT_EQ(account.m_InboxEntries->Count(), 1u);

    // Saving, found (once the copy is on disk), recount; then the account's end.
    const std::vector<int> codes = m_Sink.Codes();
    const auto saving = std::find(codes.begin(), codes.end(), kStatusSavingMessage);
    const auto found = std::find(saving, codes.end(), kStatusSpamFound);
    ASSERT_NE(found, codes.end());
    ASSERT_GE(codes.end() - found, 2);
    EXPECT_EQ(found[1], kStatusRecountTrash);

    std::vector<std::string> afterwards;
    for (const Notice& notice : m_Sink.All()) {
        switch (notice.m_Kind) {
            case EKind::kClaw:
                afterwards.push_back("claw");
                break;
            case EKind::kSound:
                afterwards.push_back("sound " + notice.m_Text + (notice.m_Wait ? " wait" : ""));
                break;
            case EKind::kReload:
                afterwards.push_back(std::string(notice.m_Code == 1 ? "reload trash" : "reload inbox") +
                                     (notice.m_Wait ? " wait" : ""));
                break;
            default:
                break;
        }
    }
    EXPECT_THAT(afterwards, ElementsAre("claw", "sound /sounds/Loud-spam.wav wait", "reload trash wait",
                                        "sound /sounds/Loud-mail.wav", "reload inbox"));
}

TEST_F(MailCheckDovecotTest, WithEitherSoundSwitchOffNoSoundAndNoReload) {
    Add("Quiet", "quiet");
    EmailAccountInfo mute = test::MakeAccount("Mute", "mute", kPassword, s_Server->PlainPort());
    mute.m_PlaySounds = 0;
    AddAccount(m_State->m_Accounts, mute);

    m_State->m_Settings.SetPlaySounds(false);  // for Quiet: the global switch
    auto check = StartedCheck();
    std::vector<CMailCheck::AccountResult> results = check->CheckAllAccounts();
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0].m_Spam + results[0].m_Good, 2);
    EXPECT_EQ(results[1].m_Spam + results[1].m_Good, 2);
    EXPECT_EQ(m_Sink.Count(EKind::kReload), 0u);
    EXPECT_EQ(m_Sink.Count(EKind::kSound), 0u);
    EXPECT_EQ(m_Sink.Count(EKind::kClaw), 0u);
}

TEST_F(MailCheckDovecotTest, CopiesThatCannotBeWrittenLeaveTheMessagesOnTheServerWithOneError) {
    const EmailAccountInfo account = Add("Full", "full");
    auto check = StartedCheck();
    // Neither folder can take a file (the tests may run as root, so permissions would not do).
    std::filesystem::remove_all(m_Folder.File("spam"));
    std::filesystem::remove_all(m_Folder.File("inbox"));
    std::ofstream(m_Folder.File("spam")) << "in the way";
    std::ofstream(m_Folder.File("inbox")) << "in the way";

    std::vector<CMailCheck::AccountResult> results = check->CheckAllAccounts();
    EXPECT_EQ(results[0].m_NotStored, 3);
    EXPECT_EQ(results[0].m_Spam, 0);
    EXPECT_EQ(results[0].m_Good, 0);
    EXPECT_EQ(s_Server->MessageCount("full"), 3);
    EXPECT_EQ(account.m_InboxEntries->Count(), 0u);
    EXPECT_EQ(m_Sink.CountCode(kStatusSpamFound), 0u);
    const std::vector<Notice> errors = m_Sink.OfKind(EKind::kError);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].m_Code, 16);
    EXPECT_THAT(errors[0].m_Text, HasSubstr("left on your email server"));
    EXPECT_THAT(errors[0].m_Text, ::testing::EndsWith("\n\nAccount: Full"));
    EXPECT_EQ(m_State->GetErrorText(), errors[0].m_Text);
    EXPECT_EQ(m_Sink.Count(EKind::kSound), 0u);

    // Nothing was remembered, so the next check tries all three again, with one more error.
    m_Sink.Clear();
    std::filesystem::remove(m_Folder.File("inbox"));
    std::filesystem::create_directory(m_Folder.File("inbox"));
    results = check->CheckAllAccounts();
    EXPECT_EQ(m_Sink.CountCode(kStatusGettingMessage), 3u);
    EXPECT_EQ(results[0].m_Good, 1);
    EXPECT_EQ(results[0].m_NotStored, 2);
    EXPECT_EQ(m_Sink.Count(EKind::kError), 1u);
    EXPECT_EQ(s_Server->MessageCount("full"), 3);
}

TEST_F(MailCheckDovecotTest, AWrongPasswordShowsTheServerTextAndTheNextAccountIsChecked) {
    Add("Victim", "victim", "wrong-password");
    const EmailAccountInfo other = Add("Other", "other");
    auto check = StartedCheck();
    const std::vector<CMailCheck::AccountResult> results = check->CheckAllAccounts();
    ASSERT_EQ(results.size(), 2u);
    EXPECT_FALSE(results[0].m_LoggedOn);
    EXPECT_TRUE(results[1].m_LoggedOn);
    EXPECT_EQ(other.m_InboxEntries->Count(), 1u);

    const std::vector<Notice> errors = m_Sink.OfKind(EKind::kError);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].m_Code, 16);
    // The server's text as the client keeps it (everything after "-ERR"), then the account.
    EXPECT_EQ(errors[0].m_Text, " [AUTH] Authentication failed.\r\n\n\nAccount: Victim");
    EXPECT_EQ(results[0].m_Error, errors[0].m_Text);
    EXPECT_EQ(m_State->GetErrorText(), errors[0].m_Text);
    // The failed account still refreshes its count; only the one that logged on posts its steps.
    EXPECT_EQ(m_Sink.CountCode(kStatusInboxCount), 3u);
    EXPECT_THAT(m_Sink.TextsOf(kStatusLoggedOn), ElementsAre("Other"));
}

TEST_F(MailCheckDovecotTest, WhilePausedNoHeaderIsReadAndTheEntriesAreForgotten) {
    const EmailAccountInfo account = Add("Paused", "paused");
    auto check = StartedCheck();
    check->CheckAllAccounts();
    ASSERT_EQ(account.m_InboxEntries->Count(), 2u);

    m_State->SetPaused(true);
    m_Sink.Clear();
    check->CheckAllAccounts();
    EXPECT_EQ(m_Sink.CountCode(kStatusGettingHeader), 0u);
    EXPECT_EQ(m_Sink.CountCode(kStatusGettingMessage), 0u);
    EXPECT_THAT(m_Sink.Codes(), ElementsAre(kStatusLoggingOn, kStatusLoggedOn, kStatusGotHeaders, kStatusLoggingOff,
                                            kStatusLoggedOff, kStatusInboxCount));
    EXPECT_EQ(account.m_InboxEntries->Count(), 0u);
    EXPECT_THAT(Files(m_Folder.File("inbox")), IsEmpty());

    // Resumed, the next check finds both again.
    m_State->SetPaused(false);
    check->CheckAllAccounts();
    EXPECT_EQ(account.m_InboxEntries->Count(), 2u);
    EXPECT_EQ(s_Server->MessageCount("paused"), 2);
}

TEST_F(MailCheckDovecotTest, StopDuringACheckLogsOffSoDeletionsWithStoredCopiesTakeEffect) {
    Add("Stopper", "stopper");
    m_State->m_Settings.SetEmailDelay(120);
    CEmailThread thread(*m_State, m_Sink);
    thread.SetTransportTuning(Tune);
    m_Sink.SetHook([this](const Notice& notice) {
        // Right after the first spam was deleted (DELE sent, not yet committed).
        if (notice.m_Kind == EKind::kStatus && notice.m_Code == kStatusRecountTrash) {
            m_State->m_StopSignal.release();
        }
    });
    ASSERT_TRUE(thread.Start());
    ASSERT_TRUE(m_Sink.WaitFor([](const std::vector<Notice>& notices) {
        for (const Notice& notice : notices) {
            if (notice.m_Kind == EKind::kStatus && notice.m_Code == kStatusRecountTrash) {
                return true;
            }
        }
        return false;
    }));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(thread.Stop(3s));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    // The QUIT made the deletions sent take effect (copies are made durable in groups, so one
    // or more were sent), and every message deleted has its copy.
    const long left = s_Server->MessageCount("stopper");
    EXPECT_LT(left, 3) << "the QUIT made the deletions take effect";
    EXPECT_GE(static_cast<long>(Files(m_Folder.File("spam")).size()), 3 - left);
    EXPECT_EQ(m_Sink.CountCode(kStatusLoggingOff), 0u) << "a stop does not report the log-off";
}

}  // namespace
}  // namespace sieveclaw
