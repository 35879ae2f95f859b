#include "mail/MessageFiles.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <set>
#include <thread>
#include <utility>
#include <vector>

#include "core/Settings.h"
#include "core/StatusSink.h"
#include "core/TextFile.h"
#include "tests/support/ScopedDataFolder.h"

namespace sieveclaw {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kRaw =
    "Return-Path: <ann@example.org>\r\n"
    "From: Ann <ann@example.org>\r\n"
    "To: bob@example.net\r\n"
    "Subject: Lunch \"today\"\r\n"
    "Date: Mon, 7 Dec 2026 10:00:00 +0000\r\n"
    "\r\n"
    "Shall we?\r\n";

CEmailMsg Message(std::string_view raw = kRaw) {
    CEmailMsg message;
    message.m_RawText = raw;
    message.m_Body = raw;
    return message;
}

std::string Contents(const std::string& path) {
    std::string bytes;
    EXPECT_TRUE(ReadFileBytes(path, bytes)) << path;
    return bytes;
}

std::vector<std::string> FilesOf(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    return names;
}

class MessageFilesTest : public ::testing::Test {
protected:
    void SetUp() override { ClearInboxFolder(); }
    test::CScopedDataFolder m_Folder;
};

TEST_F(MessageFilesTest, GoodAndSpamFilesHaveTheirLinesInOrderWithCrLfEnds) {
    const std::string good = InboxFolder() + "/good.eml";
    ASSERT_TRUE(SaveEmail(good, Message(), "Home", ""));
    EXPECT_EQ(Contents(good), "ACCOUNT:Home\r\n" + std::string(kRaw));

    const std::string spam = SpamFolder() + "/spam.eml";
    ASSERT_TRUE(SaveEmail(spam, Message(), "Home", " The subject contains 'lunch \"x\"'"));
    EXPECT_EQ(Contents(spam), "REASON: The subject contains 'lunch \"x\"'\r\nACCOUNT:Home\r\n" + std::string(kRaw));
    EXPECT_EQ(fs::status(spam).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);

    // A bare LF is written as CR LF; a line break inside the reason cannot split its line.
    ASSERT_TRUE(SaveEmail(spam, Message("Subject: a\nb\r\n"), "Ho\nme", "two\r\nlines"));
    EXPECT_EQ(Contents(spam), "REASON:two  lines\r\nACCOUNT:Ho me\r\nSubject: a\r\nb\r\n");
}

TEST_F(MessageFilesTest, OversizedMessageLeavesOnlyTheNotice) {
    const std::string spam = SpamFolder() + "/big.eml";
    ASSERT_TRUE(SaveEmail(spam, Message(kOversizedNotice), "Home", " Too big"));
    EXPECT_EQ(Contents(spam), "REASON: Too big\r\nACCOUNT:Home\r\n" + std::string(kOversizedNotice));

    MessageEntry fields;
    std::string reason;
    ReadReasonLine(spam, fields, reason);
    EXPECT_EQ(reason, " Too big");
    EXPECT_EQ(fields.m_From, "");
    EXPECT_EQ(fields.m_Subject, "");
    EXPECT_EQ(fields.m_Date, "");
    EXPECT_EQ(ReadAccountLine(spam), "Home");
}

TEST_F(MessageFilesTest, ReadersFindReasonFieldsAndAccount) {
    const std::string spam = SpamFolder() + "/spam.eml";
    ASSERT_TRUE(SaveEmail(spam, Message(), "My Mail", " The email is from 'ann@example.org'"));
    MessageEntry fields;
    std::string reason;
    ReadReasonLine(spam, fields, reason);
    EXPECT_EQ(reason, " The email is from 'ann@example.org'");
    EXPECT_EQ(fields.m_From, "ann@example.org");
    EXPECT_EQ(fields.m_To, "bob@example.net");
    EXPECT_EQ(fields.m_Subject, "Lunch \"today\"");
    EXPECT_EQ(fields.m_Date, "Mon, 7 Dec 2026 10:00:00 +0000");
    EXPECT_EQ(ReadAccountLine(spam), "My Mail");

    // A file written with CR CR LF line ends reads the same.
    const std::string doubled = SpamFolder() + "/doubled.eml";
    ASSERT_TRUE(WriteFileAtomically(doubled, "REASON: r\r\r\nACCOUNT:Acc\r\r\nSubject: S\r\r\n"));
    ReadReasonLine(doubled, fields, reason);
    EXPECT_EQ(reason, " r");
    EXPECT_EQ(fields.m_Subject, "S");
    EXPECT_EQ(ReadAccountLine(doubled), "Acc");

    // The header block ends at its blank line: a sender named in the body is not the sender, and
    // names in lower case count as they do on the server.
    const std::string spoofed = SpamFolder() + "/spoofed.eml";
    ASSERT_TRUE(WriteFileAtomically(spoofed, "ACCOUNT:Acc\r\nsubject: s\r\n\r\nFrom: body@spoof.example\r\n"));
    ReadReasonLine(spoofed, fields, reason);
    EXPECT_EQ(fields.m_Subject, "s");
    EXPECT_EQ(fields.m_From, "");

    const std::string missing = SpamFolder() + "/missing.eml";
    fields = MessageEntry{"x", "x", "x", "x", ""};
    reason = "x";
    ReadReasonLine(missing, fields, reason);
    EXPECT_TRUE(fields.IsSameMessage(MessageEntry{}));
    EXPECT_EQ(reason, "");
    EXPECT_EQ(ReadAccountLine(missing), "");
}

TEST_F(MessageFilesTest, LoadMessageTextDropsOnlyTheLeadingReasonLine) {
    const std::string spam = SpamFolder() + "/spam.eml";
    ASSERT_TRUE(SaveEmail(spam, Message(), "Home", " r"));
    CEmailMsg loaded;
    LoadMessageText(spam, loaded);
    EXPECT_EQ(loaded.m_RawText, "REASON: r\r\nACCOUNT:Home\r\n" + std::string(kRaw));
    EXPECT_EQ(loaded.m_Body, "ACCOUNT:Home\r\n" + std::string(kRaw));
    EXPECT_EQ(loaded.m_From, "ann@example.org");
    EXPECT_EQ(loaded.m_Subject, "Lunch \"today\"");

    // A good message that talks about a "REASON:" keeps its header.
    const std::string good = InboxFolder() + "/good.eml";
    const std::string raw = std::string(kRaw) + "REASON: none\r\nbye\r\n";
    ASSERT_TRUE(SaveEmail(good, Message(raw), "Home", ""));
    LoadMessageText(good, loaded);
    EXPECT_EQ(loaded.m_Body, "ACCOUNT:Home\r\n" + raw);
    EXPECT_EQ(loaded.m_To, "bob@example.net");

    // The message keeps its trailing blanks; LF-only lines come back with CR LF.
    ASSERT_TRUE(WriteFileAtomically(good, "ACCOUNT:Home \nSubject: hi\t\n\nbody  \nlast"));
    LoadMessageText(good, loaded);
    EXPECT_EQ(loaded.m_Body, "ACCOUNT:Home\r\nSubject: hi\t\r\n\r\nbody  \r\nlast");

    LoadMessageText(SpamFolder() + "/missing.eml", loaded);
    EXPECT_EQ(loaded.m_Body, "");
    EXPECT_EQ(loaded.m_RawText, "");
    EXPECT_EQ(loaded.m_Subject, "");
}

TEST_F(MessageFilesTest, NamesAreNeverReusedEvenWithinOneMillisecond) {
    const std::string name = MakeMessageFileName(InboxFolder());
    const std::string base = fs::path(name).filename().string();
    ASSERT_EQ(base.size() > 16, true) << base;
    EXPECT_EQ(base.substr(base.size() - 4), ".eml");
    EXPECT_EQ(fs::path(name).parent_path().string(), InboxFolder());

    // Two writers at once, many saves each: every message gets its own file.
    constexpr int kPerThread = 300;
    std::vector<std::string> paths[2];
    auto save = [](int writer, std::vector<std::string>& out) {
        for (int i = 0; i < kPerThread; ++i) {
            const std::string raw = "Subject: " + std::to_string(writer) + "-" + std::to_string(i) + "\r\n";
            if (auto path = SaveEmailToFolder(InboxFolder(), Message(raw), "Home", "")) {
                out.push_back(*path);
            }
        }
    };
    std::thread other(save, 1, std::ref(paths[1]));
    save(0, paths[0]);
    other.join();

    ASSERT_EQ(paths[0].size() + paths[1].size(), 2u * kPerThread);
    std::set<std::string> distinct(paths[0].begin(), paths[0].end());
    distinct.insert(paths[1].begin(), paths[1].end());
    EXPECT_EQ(distinct.size(), 2u * kPerThread);
    EXPECT_EQ(FilesOf(InboxFolder()).size(), 2u * kPerThread);
    for (int writer = 0; writer < 2; ++writer) {
        for (int i = 0; i < kPerThread; i += 37) {
            EXPECT_EQ(Contents(paths[writer][static_cast<std::size_t>(i)]),
                      "ACCOUNT:Home\r\nSubject: " + std::to_string(writer) + "-" + std::to_string(i) + "\r\n");
        }
    }
}

TEST_F(MessageFilesTest, FailedSaveReportsFailureAndLeavesNothingBehind) {
    // The disk refusing the write half-way (as a full disk would): a file size limit works for
    // every user, root included.
    const std::string path = SpamFolder() + "/limited.eml";
    ASSERT_TRUE(SaveEmail(path, Message(), "Home", ""));
    const std::string before = Contents(path);
    {
        rlimit saved{};
        ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = saved;
        small.rlim_cur = 64;
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
        const bool saved1 = SaveEmail(path, Message(std::string(4096, 'x')), "Home", "");
        const auto saved2 = SaveEmailToFolder(SpamFolder(), Message(std::string(4096, 'y')), "Home", "");
        ::setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, oldHandler);
        EXPECT_FALSE(saved1);
        EXPECT_FALSE(saved2.has_value());
    }
    EXPECT_EQ(Contents(path), before);
    EXPECT_EQ(FilesOf(SpamFolder()), std::vector<std::string>{"limited.eml"});

    if (::geteuid() != 0) {  // permissions do not stop root
        ASSERT_EQ(::chmod(InboxFolder().c_str(), 0500), 0);
        EXPECT_FALSE(SaveEmail(InboxFolder() + "/x.eml", Message(), "Home", ""));
        EXPECT_FALSE(SaveEmailToFolder(InboxFolder(), Message(), "Home", "").has_value());
        ::chmod(InboxFolder().c_str(), 0700);
        EXPECT_TRUE(FilesOf(InboxFolder()).empty());
    }
    EXPECT_FALSE(SaveEmail(m_Folder.File("no/such/folder/x.eml"), Message(), "Home", ""));
}

TEST_F(MessageFilesTest, ClearInboxFolderEmptiesOnlyTheInbox) {
    ASSERT_TRUE(SaveEmail(InboxFolder() + "/a.eml", Message(), "Home", ""));
    ASSERT_TRUE(SaveEmail(InboxFolder() + "/b.txt", Message(), "Home", ""));
    ASSERT_TRUE(SaveEmail(SpamFolder() + "/c.eml", Message(), "Home", " r"));
    ClearInboxFolder();
    EXPECT_TRUE(FilesOf(InboxFolder()).empty());
    EXPECT_EQ(FilesOf(SpamFolder()), std::vector<std::string>{"c.eml"});

    // A fresh data folder gets both folders.
    test::CScopedDataFolder fresh;
    ClearInboxFolder();
    EXPECT_TRUE(fs::is_directory(InboxFolder()));
    EXPECT_TRUE(fs::is_directory(SpamFolder()));
}

TEST_F(MessageFilesTest, CopyToSpamFolderWritesReasonThenTheInboxCopy) {
    const auto inbox = SaveEmailToFolder(InboxFolder(), Message(), "Home", "");
    ASSERT_TRUE(inbox.has_value());
    const auto copied = CopyToSpamFolder(*inbox, "REASON: The email is from 'ann@example.org'");
    ASSERT_TRUE(copied.has_value());
    EXPECT_EQ(*copied, SpamFolder() + "/" + fs::path(*inbox).filename().string());
    EXPECT_EQ(Contents(*copied), "REASON: The email is from 'ann@example.org'\r\nACCOUNT:Home\r\n" + std::string(kRaw));
    EXPECT_TRUE(fs::exists(*inbox));
    EXPECT_EQ(ReadAccountLine(*copied), "Home");

    // The name is already taken in the spam folder: the earlier spam stays, the copy gets a new name.
    const auto second = CopyToSpamFolder(*inbox, "REASON: again");
    ASSERT_TRUE(second.has_value());
    EXPECT_NE(*second, *copied);
    EXPECT_TRUE(IsMessageCopyName(*second));
    EXPECT_EQ(Contents(*copied).substr(0, 12), "REASON: The ");
    EXPECT_EQ(Contents(*second).substr(0, 15), "REASON: again\r\n");

    EXPECT_FALSE(CopyToSpamFolder(InboxFolder() + "/gone.eml", "REASON: x").has_value());
}

// Copies of the message itself and older copies that kept the POP3 wire form (dots doubled, the
// end-marker line last) read as the same message, through every reader of a copy.
TEST_F(MessageFilesTest, CopiesOfTheMessageItselfAndOlderWireFormCopiesReadAsTheMessage) {
    const std::string head = "Subject: dots\r\n\r\n";
    struct Case {
        const char* m_Name;
        bool m_NamedAsCopy;
        std::string m_Stored;
        std::string m_Message;
    };
    const Case cases[] = {
        {"a message whose last line is a dot", true, head + "Hi\r\n.\r\n", head + "Hi\r\n.\r\n"},
        {"a message with dotted lines", true, head + "..x\r\n.\r\n", head + "..x\r\n.\r\n"},
        {"an older copy", false, head + "....Chris\r\n..\r\nend \r\n.\r\n", head + "...Chris\r\n.\r\nend \r\n"},
        {"an older copy of an empty message", false, ".\r\n", ""},
        {"an older oversized notice", false, std::string(kOversizedNotice), std::string(kOversizedNotice)},
        {"a file by hand with a single dot line", false, head + ".x\r\n.\r\n", head + ".x\r\n.\r\n"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.m_Name);
        const std::string path =
            test.m_NamedAsCopy ? MakeMessageFileName(InboxFolder()) : InboxFolder() + "/093105041525123.eml";
        ASSERT_EQ(IsMessageCopyName(path), test.m_NamedAsCopy);
        ASSERT_TRUE(WriteFileAtomically(path, "ACCOUNT:Home\r\n" + test.m_Stored));
        CEmailMsg loaded;
        LoadMessageText(path, loaded);
        EXPECT_EQ(loaded.m_Body, "ACCOUNT:Home\r\n" + test.m_Message);
        const auto moved = CopyToSpamFolder(path, "REASON: r");
        ASSERT_TRUE(moved.has_value());
        EXPECT_TRUE(IsMessageCopyName(*moved)) << *moved;
        EXPECT_EQ(Contents(*moved), "REASON: r\r\nACCOUNT:Home\r\n" + test.m_Message);
        ::unlink(path.c_str());
        ::unlink(moved->c_str());
    }
}

struct RecordingSink : CStatusSink {
    void PostStatus(int code, std::int64_t value) override { m_Posts.emplace_back(code, value); }
    std::vector<std::pair<int, std::int64_t>> m_Posts;
};

TEST_F(MessageFilesTest, AutoDeleteOldSpamRunsHourlyAndTakesFilesOfTheGivenAge) {
    const std::string old = SpamFolder() + "/old.eml";
    ASSERT_TRUE(SaveEmail(old, Message(), "Home", " r"));
    ASSERT_TRUE(SaveEmail(SpamFolder() + "/notes.txt", Message(), "Home", " r"));
    const std::time_t now = std::time(nullptr);
    RecordingSink sink;

    SpamPurgeState state;  // AutoDelete on, 7 days
    state.m_LastAutoDeleteTime = now + 6 * 86400 + 23 * 3600 - 3599;
    // Less than an hour since the last purge: nothing happens, the time stays.
    EXPECT_EQ(AutoDeleteOldSpam(state, now + 6 * 86400 + 23 * 3600, &sink), 0);
    EXPECT_EQ(state.m_LastAutoDeleteTime, now + 6 * 86400 + 23 * 3600 - 3599);

    // Six days and 23 hours old is not seven days old; the purge still counts as run.
    state.m_LastAutoDeleteTime = 0;
    EXPECT_EQ(AutoDeleteOldSpam(state, now + 6 * 86400 + 23 * 3600, &sink), 0);
    EXPECT_EQ(state.m_LastAutoDeleteTime, now + 6 * 86400 + 23 * 3600);
    EXPECT_TRUE(sink.m_Posts.empty());
    EXPECT_TRUE(fs::exists(old));

    // Switched off: nothing, whatever the age.
    state = SpamPurgeState{false, 7, 0};
    EXPECT_EQ(AutoDeleteOldSpam(state, now + 30 * 86400, &sink), 0);
    EXPECT_EQ(state.m_LastAutoDeleteTime, 0);

    state = SpamPurgeState{true, 7, 0};
    EXPECT_EQ(AutoDeleteOldSpam(state, now + 7 * 86400 + 5, &sink), 1);
    EXPECT_FALSE(fs::exists(old));
    EXPECT_TRUE(fs::exists(SpamFolder() + "/notes.txt"));
    EXPECT_EQ(sink.m_Posts, (std::vector<std::pair<int, std::int64_t>>{{kStatusRecountTrash, 0}}));
}

TEST_F(MessageFilesTest, AutoDeleteOldSpamFromTheSettingsRemembersItsRun) {
    CSettings settings;  // a fresh store: on, 7 days, last run in 2000
    settings.SetDeleteAfterDaysOld(0);
    ASSERT_TRUE(SaveEmail(SpamFolder() + "/new.eml", Message(), "Home", " r"));
    RecordingSink sink;
    const std::time_t before = std::time(nullptr);
    EXPECT_EQ(AutoDeleteOldSpam(settings, &sink), 1);
    EXPECT_GE(settings.GetLastAutoDeleteTime(), before);
    EXPECT_EQ(sink.m_Posts.size(), 1u);

    // Within the hour nothing runs again.
    ASSERT_TRUE(SaveEmail(SpamFolder() + "/newer.eml", Message(), "Home", " r"));
    EXPECT_EQ(AutoDeleteOldSpam(settings, &sink), 0);
    EXPECT_TRUE(fs::exists(SpamFolder() + "/newer.eml"));
}

}  // namespace
}  // namespace sieveclaw
