#include "mail/MessageIds.h"

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/TextFile.h"
#include "tests/support/ScopedDataFolder.h"

namespace sieveclaw {
namespace {

const MailboxIdentity kHome{"Home ", "pop.example.org", "me"};  // a name may end in a blank

MessageEntry Fields(const std::string& subject) {
    return {"me@example.org", "ann@example.com", subject, "Mon, 3 Jun 2024 09:14:22 +0200", "/data/inbox/x.eml"};
}

TEST(MessageIdsTest, WhatIsKnownIsReadBackOnlyForItsOwnMailbox) {
    test::CScopedDataFolder folder;
    CMessageIds ids(kHome);
    ids.SetKept("a1", "1.eml", Fields("kept"));
    ids.SetDeleted("b2", "2s.eml", Fields("spam"));
    ids.SetDeleted("c3", "", {});  // the user's deletion, its copy gone
    // Nothing a line of the file could not hold, or a server could not have sent, is taken.
    ids.SetKept("d4", "", Fields("no copy"));
    ids.SetKept("has blank", "4.eml", {});
    ids.SetKept(std::string(71, 'x'), "5.eml", {});
    ids.SetDeleted("e5", "two\nlines.eml", {});
    EXPECT_EQ(ids.Count(), 3u);

    const auto read = CMessageIds::Parse(ids.Format(), kHome);
    ASSERT_TRUE(read.has_value());
    ASSERT_EQ(read->size(), 3u);
    EXPECT_FALSE(read->at("a1").m_Deleted);
    EXPECT_EQ(read->at("a1").m_FileName, "1.eml");
    EXPECT_TRUE(read->at("a1").m_Fields.m_Subject.empty());  // the fields are never stored
    EXPECT_TRUE(read->at("b2").m_Deleted);
    EXPECT_EQ(read->at("b2").m_FileName, "2s.eml");
    EXPECT_TRUE(read->at("c3").m_Deleted);
    EXPECT_EQ(read->at("c3").m_FileName, "");

    for (const MailboxIdentity& other : {MailboxIdentity{"Home", "pop.example.org", "me"},
                                         MailboxIdentity{"Home ", "pop.example.net", "me"},
                                         MailboxIdentity{"Home ", "pop.example.org", "you"}}) {
        EXPECT_FALSE(CMessageIds::Parse(ids.Format(), other).has_value()) << other.m_Account << other.m_User;
    }
    EXPECT_FALSE(CMessageIds::Parse("", kHome).has_value());
    // Damaged lines are passed over, the rest is kept.
    const std::string damaged = ids.Format() + "X f6 6.eml\r\nK\r\nK g7\r\nD \r\nK h8 8.eml   \r\nD i9\nK j0 a\rb.eml\r\n";
    const auto kept = CMessageIds::Parse(damaged, kHome);
    ASSERT_TRUE(kept.has_value());
    EXPECT_EQ(kept->size(), 5u);
    EXPECT_EQ(kept->at("h8").m_FileName, "8.eml");
    EXPECT_TRUE(kept->at("i9").m_Deleted);
}

TEST(MessageIdsTest, SavedIdsSurviveARestartAndGoWithTheirMailbox) {
    test::CScopedDataFolder folder;
    const MailboxIdentity work{"Work", "pop.example.org", "me"};
    {
        CMessageIds ids(kHome);
        EXPECT_FALSE(ids.Load());
        ids.SetKept("a1", "1.eml", Fields("one"));
        ids.SetKept("b2", "2.eml", Fields("two"));
        ids.SetDeleted("c3", "3s.eml", {});
        ids.KeepOnly({"a1", "c3", "zz"});  // b2 left the server
        ASSERT_TRUE(ids.Save());
        CMessageIds other(work);
        other.SetKept("w1", "9.eml", {});
        ASSERT_TRUE(other.Save());
    }
    CMessageIds ids(kHome);
    ASSERT_TRUE(ids.Load());
    EXPECT_EQ(ids.Count(), 2u);
    EXPECT_EQ(ids.Find("b2"), nullptr);
    ASSERT_NE(ids.Find("a1"), nullptr);
    // A restart learns the fields of kept messages from the inbox entries of their copies.
    MessageEntry entry = Fields("one");
    entry.m_FilePath = folder.File("inbox/1.eml");
    ids.TakeFieldsFrom({entry});
    EXPECT_EQ(ids.Find("a1")->m_Fields.m_Subject, "one");
    EXPECT_TRUE(ids.Find("a1")->m_Fields.m_FilePath.empty());

    // The file of an account that is gone (or now names another server) goes too.
    RemoveOtherMessageIds({kHome});
    EXPECT_TRUE(std::filesystem::exists(MessageIdsPath(kHome)));
    EXPECT_FALSE(std::filesystem::exists(MessageIdsPath(work)));
    // A file that belongs to another mailbox (two names that made one file name) is not read.
    std::string text;
    ASSERT_TRUE(ReadFileBytes(MessageIdsPath(kHome), text));
    std::ofstream(MessageIdsPath(work), std::ios::binary) << text;
    CMessageIds wrong(work);
    EXPECT_FALSE(wrong.Load());
    EXPECT_EQ(wrong.Count(), 0u);
}

}  // namespace
}  // namespace sieveclaw
