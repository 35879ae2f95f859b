#include "engine/InboxCommands.h"

#include <sys/stat.h>

#include <deque>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "core/DataFolder.h"
#include "core/TextFile.h"
#include "engine/TrashCommands.h"
#include "filter/FilterFiles.h"
#include "mail/MessageFiles.h"
#include "tests/support/ScopedDataFolder.h"
#include "tests/support/StoredMessages.h"

// The commands of the Inbox and the Trash Can windows, called as the windows call them, without a
// window: what they do to the lists, the files and the main window's counts.

namespace sieveclaw {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using EAnswer = CUserPrompt::EAnswer;

enum class EKind { kError, kInformation, kQuestion };

// Records the boxes and answers the questions from a queue (No once it runs out). The engine's
// other tests have a prompt of this name in sieveclaw::test that answers nothing.
class CRecordingPrompt : public CUserPrompt {
public:
    void ShowDismissable(const std::string&, const std::string&) override {}
    void ShowError(const std::string& text) override { m_Boxes.emplace_back(EKind::kError, text); }
    void ShowInformation(const std::string& text) override { m_Boxes.emplace_back(EKind::kInformation, text); }
    EAnswer AskYesNoCancel(const std::string& text) override {
        m_Boxes.emplace_back(EKind::kQuestion, text);
        if (m_Answers.empty()) {
            return EAnswer::kNo;
        }
        const EAnswer answer = m_Answers.front();
        m_Answers.pop_front();
        return answer;
    }
    std::optional<std::string> ChooseFileToOpen(const std::string&, const std::string&) override { return {}; }

    std::vector<std::string> Texts(EKind kind) const {
        std::vector<std::string> texts;
        for (const auto& [boxKind, text] : m_Boxes) {
            if (boxKind == kind) {
                texts.push_back(text);
            }
        }
        return texts;
    }

    std::vector<std::pair<EKind, std::string>> m_Boxes;
    std::deque<EAnswer> m_Answers;
};

// The main window's counts as the commands ask for them.
class CStatusRecorder : public CStatusSink {
public:
    void PostStatus(int code, std::int64_t value) override { m_Posted.emplace_back(code, value); }

    std::vector<int> Codes() const {
        std::vector<int> codes;
        for (const auto& posted : m_Posted) {
            codes.push_back(posted.first);
        }
        return codes;
    }
    std::vector<std::int64_t> ValuesOf(int code) const {
        std::vector<std::int64_t> values;
        for (const auto& [posted, value] : m_Posted) {
            if (posted == code) {
                values.push_back(value);
            }
        }
        return values;
    }

    std::vector<std::pair<int, std::int64_t>> m_Posted;
};

class ListCommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(EnsureProgramFolder());
        ASSERT_EQ(::mkdir(InboxFolder().c_str(), 0700), 0);
        ASSERT_EQ(::mkdir(SpamFolder().c_str(), 0700), 0);
        for (const char* name : {"Home", "Work"}) {
            EmailAccountInfo account;
            account.m_AccountName = name;
            AddAccount(m_State.m_Accounts, account);
        }
    }

    void Receive(const std::string& account, const std::string& from, const std::string& subject) {
        ASSERT_TRUE(test::ReceiveMessage(m_State.m_Accounts, account,
                                         test::StoredMessageText(from, subject, "Mon, 3 Jun 2024 09:14:22", "Hello")));
    }

    std::string StoreSpam(const std::string& account, const std::string& from, const std::string& reason) {
        return test::StoreSpamMessage(account, test::StoredMessageText(from, "Offer", "", "Buy"), reason);
    }

    EmailAccountInfo Account(const std::string& name) const {
        return *m_State.m_Accounts.GetAt(FindAccount(m_State.m_Accounts, name));
    }

    std::int64_t Position(const std::string& name) const {
        return static_cast<std::int64_t>(FindAccount(m_State.m_Accounts, name));
    }

    std::vector<std::string> InboxSubjects(const std::string& account) const {
        std::vector<std::string> subjects;
        for (const MessageEntry& entry : Account(account).m_InboxEntries->Snapshot()) {
            subjects.push_back(entry.m_Subject);
        }
        return subjects;
    }

    std::vector<CListRow> Rows() const { return InboxRows(m_State.m_Accounts, &m_State.m_Lists.m_Friends); }

    std::size_t SpamFiles() const { return FilesInFolder(SpamFolder(), ".eml").size(); }

    CListCommandContext Context() { return {m_State, m_Prompt, &m_Sink, false}; }

    test::CScopedDataFolder m_Folder;
    CSharedState m_State;
    CRecordingPrompt m_Prompt;
    CStatusRecorder m_Sink;
};

TEST_F(ListCommandsTest, InboxRowsFollowTheAccountsAndMarkFriendsExactly) {
    Receive("Home", "ann@a.example", "one");
    Receive("Work", "bob@b.example", "two");
    Receive("Home", "cat@c.example", "three");
    m_State.m_Lists.m_Friends.Append("bob@b.example");
    m_State.m_Lists.m_Friends.Append("CAT@c.example");
    const std::vector<CListRow> rows = Rows();
    ASSERT_EQ(rows.size(), 3U);
    EXPECT_EQ(rows[0].m_Shown.m_Subject, "one");
    EXPECT_EQ(rows[1].m_Shown.m_Subject, "three");
    EXPECT_EQ(rows[2].m_Account, "Work");
    EXPECT_EQ(rows[0].m_Mark, ERowMark::kStranger);
    EXPECT_EQ(rows[1].m_Mark, ERowMark::kStranger);  // the friend entry differs in case
    EXPECT_EQ(rows[2].m_Mark, ERowMark::kFriend);
    EXPECT_EQ(InboxRows(m_State.m_Accounts, nullptr)[2].m_Mark, ERowMark::kNone);

    // People read the decoded subject; the lists the check compares keep the bytes it stored.
    Receive("Work", "dan@d.example", "=?UTF-8?Q?Gr=C3=BC=C3=9Fe?=");
    const CListRow greeting = Rows().back();
    EXPECT_EQ(greeting.m_Shown.m_Subject,
              "Gr\xC3\xBC\xC3\x9F"
              "e");
    EXPECT_EQ(greeting.m_Stored.m_Subject, "=?UTF-8?Q?Gr=C3=BC=C3=9Fe?=");
}

TEST_F(ListCommandsTest, BlockingAFriendNamesItAddsNothingAndStillMovesItsRowsBySubstring) {
    Receive("Home", "pal@friends.example", "hi");
    Receive("Home", "spam@junk.example", "offer");
    Receive("Work", "spam@junk.example.net", "offer too");
    Receive("Work", "other@junk.example", "keep");
    m_State.m_Lists.m_Friends.Append("pal@friends.example");
    m_Prompt.m_Answers = {EAnswer::kYes};
    const std::vector<CListRow> rows = Rows();
    const std::vector<std::size_t> gone = BlockSenders(Context(), rows, {0, 2});  // Home pal, Work spam...net

    EXPECT_THAT(m_Prompt.Texts(EKind::kQuestion),
                ElementsAre(std::string(kBlockSendersQuestion) + "pal@friends.example\nspam@junk.example.net\n"));
    EXPECT_THAT(m_Prompt.Texts(EKind::kInformation),
                ElementsAre("pal@friends.example is in your friends list.  It will not be blocked."));
    EXPECT_FALSE(m_State.m_Lists.m_FromList.Contains("pal@friends.example"));
    EXPECT_TRUE(m_State.m_Lists.m_FromList.Contains("spam@junk.example.net"));
    EXPECT_THAT(gone, ElementsAre(0, 2));  // the friend's row goes all the same; the shorter address stays
    EXPECT_THAT(InboxSubjects("Home"), ElementsAre("offer"));
    EXPECT_THAT(InboxSubjects("Work"), ElementsAre("keep"));
    EXPECT_EQ(m_State.m_TrashDeletions.Count(), 2U);
    EXPECT_EQ(SpamFiles(), 2U);
    MessageEntry fields;
    std::string reason;
    ReadReasonLine(FilesInFolder(SpamFolder(), ".eml")[0], fields, reason);
    EXPECT_THAT(reason, ::testing::StartsWith(" The email is from '"));
    // Each move recounts its account's Inbox, then the Trash Can.
    EXPECT_THAT(m_Sink.Codes(),
                ElementsAre(kStatusInboxCount, kStatusRecountTrash, kStatusInboxCount, kStatusRecountTrash));
    EXPECT_THAT(m_Sink.ValuesOf(kStatusInboxCount), ElementsAre(Position("Home"), Position("Work")));
}

TEST_F(ListCommandsTest, AnswersOtherThanYesAndEmptySendersChangeNothing) {
    Receive("Home", "  ", "blank sender");
    Receive("Home", "x@y.example", "two");
    EXPECT_THAT(BlockSenders(Context(), Rows(), {0}), IsEmpty());
    EXPECT_THAT(m_Prompt.m_Boxes, IsEmpty());  // nothing to ask about
    m_Prompt.m_Answers = {EAnswer::kCancel};
    EXPECT_THAT(BlockSenders(Context(), Rows(), {0, 1}), IsEmpty());
    m_Prompt.m_Answers = {EAnswer::kNo};
    EXPECT_THAT(DeleteInboxMessages(Context(), Rows(), {1}), IsEmpty());
    EXPECT_EQ(m_State.m_Lists.m_FromList.Count(), 0U);
    EXPECT_EQ(SpamFiles(), 0U);
    EXPECT_EQ(InboxSubjects("Home").size(), 2U);
}

TEST_F(ListCommandsTest, DomainsAreOfferedFromTheSenderAndBlockedWithTheirAtSign) {
    std::vector<CListRow> offered(2);
    offered[0].m_Shown.m_From = "Sales <sales@shop.example> ";
    offered[1].m_Shown.m_From = " no-at-sign";
    EXPECT_THAT(DomainsToOffer(offered, {0, 1}), ElementsAre("shop.example>", "no-at-sign"));

    Receive("Home", "Sales <sales@shop.example>", "a");
    Receive("Home", "b@b.example", "b");
    Receive("Home", "x@notshop.example", "c");
    Receive("Work", "y@shop.example", "d");
    const std::vector<CListRow> rows = Rows();

    const std::vector<std::size_t> gone = BlockDomains(Context(), rows, {"shop.example", ""});
    EXPECT_THAT(gone, ElementsAre(0, 3));
    EXPECT_TRUE(m_State.m_Lists.m_FromList.Contains("shop.example"));
    EXPECT_EQ(m_State.m_Lists.m_FromList.Count(), 1U);
    EXPECT_THAT(InboxSubjects("Home"), ElementsAre("b", "c"));
    CFilterLists saved;
    std::mutex lock;
    LoadFilterFile(saved, WordListPath(), true, lock);
    EXPECT_TRUE(saved.m_FromList.Contains("shop.example"));
}

TEST_F(ListCommandsTest, SubjectWordsJoinTheBodyListOnceAndMoveEveryRowHoldingThem) {
    Receive("Home", "a@a.example", "Cheap pills now");
    Receive("Work", "b@b.example", "cheap pills");
    Receive("Work", "c@c.example", "More Cheap pills!");
    const std::vector<std::size_t> gone = BlockSubjectWords(Context(), Rows(), "Cheap pills");
    EXPECT_THAT(gone, ElementsAre(0, 2));  // case counts
    EXPECT_TRUE(m_State.m_Lists.m_BodyList.Contains("Cheap pills"));
    EXPECT_THAT(BlockSubjectWords(Context(), Rows(), "Cheap pills"), IsEmpty());
    EXPECT_EQ(m_State.m_Lists.m_BodyList.Count(), 1U);
}

TEST_F(ListCommandsTest, FriendsAreAddedOnceTrimmedInTheInboxAndAsShownInTheTrashCan) {
    std::vector<CListRow> rows(3);
    rows[0].m_Shown.m_From = " ann@a.example ";
    rows[1].m_Shown.m_From = "ann@a.example";
    rows[2].m_Shown.m_From = "  ";
    m_Prompt.m_Answers = {EAnswer::kYes, EAnswer::kYes};
    AddSendersToFriends(Context(), rows, {0, 1, 2}, kInboxAddFriendsQuestion, true);
    EXPECT_THAT(m_State.m_Lists.m_Friends.Snapshot(), ElementsAre("ann@a.example"));
    AddSendersToFriends(Context(), rows, {0, 2}, kTrashAddFriendsQuestion, false);
    EXPECT_THAT(m_State.m_Lists.m_Friends.Snapshot(), ElementsAre("ann@a.example", " ann@a.example "));
    EXPECT_THAT(m_Prompt.Texts(EKind::kQuestion),
                ElementsAre(std::string(kInboxAddFriendsQuestion) + "ann@a.example\nann@a.example\n\n",
                            std::string(kTrashAddFriendsQuestion) + " ann@a.example \n  \n"));
    LoadFriends(m_State.m_Lists, m_State.m_FilterFilesLock);  // saved: read back, each entry again
    EXPECT_EQ(m_State.m_Lists.m_Friends.Count(), 4U);
}

TEST_F(ListCommandsTest, DeletingInboxRowsQueuesThemForTheServerAndDeletesTheirFiles) {
    Receive("Home", "a@a.example", "one");
    Receive("Home", "b@b.example", "two");
    Receive("Work", "c@c.example", "three");
    const std::vector<CListRow> rows = Rows();
    m_Prompt.m_Answers = {EAnswer::kYes, EAnswer::kYes};
    EXPECT_THAT(DeleteInboxMessages(Context(), rows, {1}), ElementsAre(1));
    EXPECT_THAT(DeleteInboxMessages(Context(), rows, {0, 2}), ElementsAre(0, 2));
    EXPECT_THAT(m_Prompt.Texts(EKind::kQuestion),
                ElementsAre(std::string(kDeleteOneQuestion), std::string(kDeleteSeveralQuestion)));
    EXPECT_THAT(InboxSubjects("Home"), IsEmpty());
    EXPECT_EQ(Account("Home").m_PendingDeletions->Count(), 2U);
    EXPECT_EQ(Account("Work").m_PendingDeletions->Snapshot().at(0).m_Subject, "three");
    EXPECT_TRUE(Account("Work").m_PendingDeletions->Snapshot().at(0).m_FilePath.empty());
    EXPECT_THAT(FilesInFolder(InboxFolder(), ".eml"), IsEmpty());
    // The last selected row first.
    EXPECT_THAT(m_Sink.ValuesOf(kStatusInboxCount), ElementsAre(Position("Home"), Position("Work"), Position("Home")));
}

TEST_F(ListCommandsTest, ARowOfAnAccountNoLongerConfiguredLeavesItsFile) {
    Receive("Home", "a@a.example", "one");
    const std::vector<CListRow> rows = Rows();
    m_State.m_Accounts.RemoveAt(FindAccount(m_State.m_Accounts, "Home"));
    m_Prompt.m_Answers = {EAnswer::kYes};
    EXPECT_THAT(DeleteInboxMessages(Context(), rows, {0}), ElementsAre(0));
    EXPECT_TRUE(std::filesystem::exists(rows[0].m_Stored.m_FilePath));
    EXPECT_EQ(MoveToTrash(Context(), rows[0].m_Stored.m_FilePath, "REASON: x"), EMoveOutcome::kNoAccount);
}

TEST_F(ListCommandsTest, TheSelectionAfterADeleteStaysAtTheLowestPositionOrTheLastRow) {
    EXPECT_EQ(RowToSelectAfterDelete(1, 3), 1);
    EXPECT_EQ(RowToSelectAfterDelete(3, 3), 2);
    EXPECT_EQ(RowToSelectAfterDelete(0, 0), -1);
}

TEST_F(ListCommandsTest, TheDayCountOutsideAYearIsSevenAndSpamAsOldAsItIsMarkedOld) {
    for (const auto& [stored, used] : std::vector<std::pair<int, int>>{{0, 7}, {400, 7}, {-3, 7}, {1, 1}, {365, 365}}) {
        EXPECT_EQ(ClampDeleteAfterDays(stored), used) << stored;
    }
    constexpr std::time_t kDay = 86400;
    const std::time_t now = 1'700'000'000;
    EXPECT_TRUE(IsOldSpam(now - 7 * kDay, now, 7));
    EXPECT_FALSE(IsOldSpam(now - 7 * kDay + 1, now, 7));

    StoreSpam("Home", "a@a.example", " The email is from 'a@a.example'");
    StoreSpam("Work", "b@b.example", " The email is from 'b@b.example'");
    // Ages count from the files' own creation times, which cannot be set back where the file
    // system keeps a birth time: the clock is set forward instead.
    const std::vector<CListRow> before = TrashRows("", 7, now);
    ASSERT_EQ(before.size(), 2U);
    const std::time_t created = FileCreationTime(before[0].m_Stored.m_FilePath).value_or(0);
    EXPECT_EQ(TrashRows("", 7, created + 7 * kDay - 1)[0].m_Mark, ERowMark::kYoung);
    EXPECT_EQ(TrashRows("", 7, created + 7 * kDay)[0].m_Mark, ERowMark::kOld);
    const std::vector<CListRow> work = TrashRows("Work", 7, now);
    ASSERT_EQ(work.size(), 1U);
    EXPECT_EQ(work[0].m_Reason, " The email is from 'b@b.example'");
    EXPECT_EQ(work[0].m_Account, "Work");
    EXPECT_THAT(TrashRows("work", 7, now), IsEmpty());  // the filter's case counts
}

TEST_F(ListCommandsTest, RemovingAFilterTakesTheQuotedEntryFromBothListsWhereItIs) {
    EXPECT_EQ(FilterOfReason(" The subject contains 'cheap pills'"), "cheap pills");
    EXPECT_EQ(FilterOfReason(" No quote here!"), " No quote here");
    EXPECT_EQ(FilterOfReason(""), "");
    m_State.m_Lists.m_BodyList.Add("cheap pills");
    m_State.m_Lists.m_BodyList.Add("cheap");
    m_State.m_Lists.m_FromList.Add("pills");
    StoreSpam("Home", "a@a.example", " The subject contains 'cheap pills'");
    const std::vector<CListRow> rows = TrashRows("", 7, std::time(nullptr));
    m_Prompt.m_Answers = {EAnswer::kYes};
    RemoveFilters(Context(), rows, {0});
    EXPECT_THAT(m_Prompt.Texts(EKind::kQuestion), ElementsAre(std::string(kRemoveFiltersQuestion) + "cheap pills\n"));
    EXPECT_FALSE(m_State.m_Lists.m_BodyList.Contains("cheap pills"));
    EXPECT_TRUE(m_State.m_Lists.m_BodyList.Contains("cheap"));
    EXPECT_TRUE(m_State.m_Lists.m_FromList.Contains("pills"));
}

TEST_F(ListCommandsTest, TrashDeletesAndBlocksWithoutConsultingFriends) {
    StoreSpam("Home", "a@a.example", " x'");
    StoreSpam("Home", "pal@a.example", " y'");
    StoreSpam("Work", "c@c.example", " z'");
    m_State.m_Lists.m_Friends.Append("pal@a.example");
    std::vector<CListRow> rows = TrashRows("", 7, std::time(nullptr));
    m_Prompt.m_Answers = {EAnswer::kYes, EAnswer::kYes, EAnswer::kYes};
    BlockSendersFromTrash(Context(), rows, {0, 1});
    EXPECT_TRUE(m_State.m_Lists.m_FromList.Contains("pal@a.example"));
    EXPECT_THAT(m_Prompt.Texts(EKind::kInformation), IsEmpty());
    EXPECT_THAT(DeleteSpamMessages(Context(), rows, {1}), ElementsAre(1));
    EXPECT_EQ(SpamFiles(), 2U);
    rows = TrashRows("", 7, std::time(nullptr));
    EXPECT_EQ(DeleteAllSpam(Context(), rows).size(), 2U);
    EXPECT_EQ(SpamFiles(), 0U);
    EXPECT_THAT(DeleteAllSpam(Context(), {}), IsEmpty());
}

}  // namespace
}  // namespace sieveclaw
