#include "filter/RescanInbox.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "core/StatusSink.h"
#include "core/TextFile.h"
#include "core/UserPrompt.h"
#include "mail/MessageFiles.h"
#include "tests/support/ScopedDataFolder.h"

namespace sieveclaw {
namespace {

namespace fs = std::filesystem;

class CRecordingPrompt : public CUserPrompt {
public:
    void ShowDismissable(const std::string& switchName, const std::string& text) override {
        m_Dismissable.emplace_back(switchName, text);
    }
    void ShowError(const std::string& text) override { m_Other.push_back(text); }
    void ShowInformation(const std::string& text) override { m_Other.push_back(text); }
    EAnswer AskYesNoCancel(const std::string& text) override {
        m_Other.push_back(text);
        return EAnswer::kCancel;
    }
    std::optional<std::string> ChooseFileToOpen(const std::string&, const std::string&) override {
        return std::nullopt;
    }

    std::vector<std::pair<std::string, std::string>> m_Dismissable;
    std::vector<std::string> m_Other;
};

class CRecordingSink : public CStatusSink {
public:
    void PostStatus(int code, std::int64_t value) override { m_Posted.emplace_back(code, value); }
    std::vector<std::pair<int, std::int64_t>> m_Posted;
};

std::string Contents(const std::string& path) {
    std::string bytes;
    EXPECT_TRUE(ReadFileBytes(path, bytes)) << path;
    return bytes;
}

std::set<std::string> FilesOf(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

class RescanInboxTest : public ::testing::Test {
protected:
    void SetUp() override {
        ClearInboxFolder();
        m_Lists.m_BodyList.Add("lottery");
    }

    // An inbox file as the mail check leaves it, and its entry in the account's Inbox entries.
    std::string AddMessage(ListPos account, const std::string& name, const std::string& subject) {
        const std::string path = InboxFolder() + "/" + name;
        const std::string text = "ACCOUNT:home\r\nFrom: ann@example.org\r\nTo: me@example.net\r\nSubject: " + subject +
                                 "\r\nDate: Mon, 7 Dec 2026 10:00:00 +0000\r\n\r\nHello.\r\n";
        EXPECT_TRUE(WriteFileAtomically(path, text));
        MessageEntry entry;
        entry.m_From = "ann@example.org";
        entry.m_Subject = subject;
        entry.m_FilePath = path;
        m_Accounts.VisitAt(account, [&entry](const EmailAccountInfo& info) { info.m_InboxEntries->Append(entry); });
        return path;
    }

    std::vector<std::string> SubjectsOf(ListPos account) const {
        std::vector<std::string> subjects;
        m_Accounts.VisitAt(account, [&subjects](const EmailAccountInfo& info) {
            for (const MessageEntry& entry : info.m_InboxEntries->Snapshot()) {
                subjects.push_back(entry.m_Subject);
            }
        });
        return subjects;
    }

    ListPos AddAccount(const std::string& name) {
        EmailAccountInfo account(m_Folder.Path().string() + "/");
        account.m_AccountName = name;
        return m_Accounts.Append(std::move(account));
    }

    test::CScopedDataFolder m_Folder;
    CFilterLists m_Lists;
    CAccountList m_Accounts;
    CRecordingPrompt m_Prompt;
    CRecordingSink m_Sink;
};

TEST_F(RescanInboxTest, SpamIsMovedUnchangedAndReportedPerAccount) {
    const ListPos first = AddAccount("first");
    const ListPos empty = AddAccount("empty");
    const ListPos second = AddAccount("second");
    const std::string spam1 = AddMessage(first, "100000120726-5.eml", "Win the lottery now");
    const std::string good = AddMessage(first, "100001120726-6.eml", "Lunch");
    const std::string spam2 = AddMessage(second, "100002120726-7.eml", "lottery!");
    const std::string spam1Text = Contents(spam1);

    EXPECT_EQ(RescanInbox(m_Accounts, m_Lists, false, m_Prompt, &m_Sink), 2U);

    EXPECT_FALSE(fs::exists(spam1));
    EXPECT_FALSE(fs::exists(spam2));
    EXPECT_TRUE(fs::exists(good));
    EXPECT_EQ(FilesOf(SpamFolder()), (std::set<std::string>{"100000120726-5.eml", "100002120726-7.eml"}));
    // Moved, not rewritten: no REASON line.
    EXPECT_EQ(Contents(SpamFolder() + "/100000120726-5.eml"), spam1Text);

    EXPECT_EQ(SubjectsOf(first), (std::vector<std::string>{"Lunch"}));
    EXPECT_TRUE(SubjectsOf(empty).empty());
    EXPECT_TRUE(SubjectsOf(second).empty());
    const std::vector<std::pair<int, std::int64_t>> posted{{kStatusRecountTrash, 0},
                                                           {kStatusInboxCount, static_cast<std::int64_t>(first)},
                                                           {kStatusRecountTrash, 0},
                                                           {kStatusInboxCount, static_cast<std::int64_t>(second)}};
    EXPECT_EQ(m_Sink.m_Posted, posted);
    EXPECT_EQ(kStatusInboxCount, 3);

    ASSERT_EQ(m_Prompt.m_Dismissable.size(), 1U);
    EXPECT_EQ(m_Prompt.m_Dismissable[0].first, "RescanEmails");
    EXPECT_EQ(m_Prompt.m_Dismissable[0].second,
              "Since you added filters your emails will be rescanned.   Your emails are rescanned so that the emails "
              "you don't want will be filtered out.");
    EXPECT_TRUE(m_Prompt.m_Other.empty());
}

TEST_F(RescanInboxTest, ExistingSpamFileIsNeverReplaced) {
    const ListPos account = AddAccount("home");
    const std::string path = AddMessage(account, "120000120726-1.eml", "lottery");
    const std::string text = Contents(path);
    ASSERT_TRUE(WriteFileAtomically(SpamFolder() + "/120000120726-1.eml", "REASON:older\r\nACCOUNT:home\r\n"));

    EXPECT_EQ(RescanInbox(m_Accounts, m_Lists, false, m_Prompt, nullptr), 1U);
    EXPECT_FALSE(fs::exists(path));
    EXPECT_EQ(Contents(SpamFolder() + "/120000120726-1.eml"), "REASON:older\r\nACCOUNT:home\r\n");
    const std::set<std::string> names = FilesOf(SpamFolder());
    ASSERT_EQ(names.size(), 2U);
    for (const std::string& name : names) {
        if (name != "120000120726-1.eml") {
            EXPECT_EQ(Contents(SpamFolder() + "/" + name), text);
        }
    }
}

TEST_F(RescanInboxTest, BoxOnlyWhenThereAreEntriesAndUnreadableFilesAreNotJudged) {
    const ListPos account = AddAccount("home");
    EXPECT_EQ(RescanInbox(m_Accounts, m_Lists, false, m_Prompt, &m_Sink), 0U);
    EXPECT_TRUE(m_Prompt.m_Dismissable.empty());

    // A message whose file is gone reads as a blank message; it must not be thrown away as one.
    MessageEntry lost;
    lost.m_Subject = "lost";
    lost.m_FilePath = InboxFolder() + "/gone.eml";
    m_Accounts.VisitAt(account, [&lost](const EmailAccountInfo& info) { info.m_InboxEntries->Append(lost); });
    AddMessage(account, "130000120726-2.eml", "Hello");

    EXPECT_EQ(RescanInbox(m_Accounts, m_Lists, false, m_Prompt, &m_Sink), 0U);
    EXPECT_EQ(m_Prompt.m_Dismissable.size(), 1U);
    EXPECT_EQ(SubjectsOf(account), (std::vector<std::string>{"lost", "Hello"}));
    EXPECT_TRUE(m_Sink.m_Posted.empty());
    EXPECT_TRUE(FilesOf(SpamFolder()).empty());
}

}  // namespace
}  // namespace sieveclaw
