#include "core/AccountList.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/ScopedDataFolder.h"

namespace sieveclaw {
namespace {

EmailAccountInfo Named(const std::string& name, const std::string& server = "pop.example") {
    EmailAccountInfo record("/data/");
    record.m_AccountName = name;
    record.m_POP3Server = server;
    return record;
}

std::vector<std::string> Names(const CAccountList& list) {
    std::vector<std::string> names;
    for (const EmailAccountInfo& record : list.Snapshot()) {
        names.push_back(record.m_AccountName);
    }
    return names;
}

TEST(AccountListTest, FindIsExactAndTakesTheFirstMatch) {
    CAccountList list;
    EXPECT_EQ(FindAccount(list, ""), kNoPos);
    const ListPos work = AddAccount(list, Named("Work", "first"));
    const ListPos lower = AddAccount(list, Named("work"));
    AddAccount(list, Named("Work", "second"));
    AddAccount(list, Named(""));
    EXPECT_EQ(AccountCount(list), 4U);

    EXPECT_EQ(FindAccount(list, "Work"), work);
    EXPECT_EQ(list.GetAt(FindAccount(list, "Work"))->m_POP3Server, "first");
    EXPECT_EQ(FindAccount(list, "work"), lower);
    EXPECT_EQ(FindAccount(list, "WORK"), kNoPos);
    EXPECT_EQ(FindAccount(list, "Work "), kNoPos);
    EXPECT_EQ(FindAccount(list, "Wor"), kNoPos);
    EXPECT_NE(FindAccount(list, ""), kNoPos);

    // Once the first is gone, the next one of that name is found.
    list.RemoveAt(work);
    EXPECT_EQ(list.GetAt(FindAccount(list, "Work"))->m_POP3Server, "second");
}

TEST(AccountListTest, UniqueAddExtendsATakenNameOnce) {
    CAccountList list;
    EmailAccountInfo first = Named("Mail");
    first.m_MailProgram = "Outlook Express";
    AddAccountUnique(list, first);
    EmailAccountInfo second = Named("Mail");
    second.m_MailProgram = "Eudora";
    AddAccountUnique(list, second);
    EmailAccountInfo third = Named("Mail");
    third.m_MailProgram = "Eudora";
    AddAccountUnique(list, third);
    // Case differs: a different name, kept as it is.
    AddAccountUnique(list, Named("mail"));
    // The extended name is not tested again, so the third collides with the second.
    EXPECT_EQ(Names(list), (std::vector<std::string>{"Mail", "Mail - Eudora", "Mail - Eudora", "mail"}));
}

TEST(AccountListTest, DuplicateNameMessage) {
    EXPECT_EQ(DuplicateAccountNameMessage("Home %s"),
              "You already have an account named 'Home %s'.  Please type a different name.");
}

TEST(AccountListTest, CopiesShareTheMessageListsOfTheirAccount) {
    CAccountList list;
    const ListPos pos = AddAccount(list, Named("a"));
    AddAccount(list, Named("b"));

    // The worker checks a copy; what it records must reach the account in the list.
    std::optional<EmailAccountInfo> copy = list.GetAt(pos);
    ASSERT_TRUE(copy.has_value());
    ASSERT_NE(copy->m_InboxEntries, nullptr);
    ASSERT_NE(copy->m_PendingDeletions, nullptr);
    copy->m_InboxEntries->Append(MessageEntry{"to", "from", "subject", "date", "/inbox/1.eml"});
    copy->m_PendingDeletions->Append(MessageEntry{"to", "from", "old", "date", ""});
    copy->m_OnHold = 1;

    const EmailAccountInfo original = *list.GetAt(pos);
    EXPECT_EQ(original.m_InboxEntries->Count(), 1U);
    EXPECT_EQ(original.m_PendingDeletions->Count(), 1U);
    EXPECT_EQ(original.m_OnHold, 0);  // plain members are the copy's own

    // Separate records have separate lists.
    const EmailAccountInfo other = *list.GetAt(FindAccount(list, "b"));
    EXPECT_TRUE(other.m_InboxEntries->IsEmpty());
    EXPECT_NE(other.m_InboxEntries, original.m_InboxEntries);
    EXPECT_NE(original.m_InboxEntries, original.m_PendingDeletions);
}

TEST(AccountListTest, NewRecordDefaults) {
    const EmailAccountInfo record("/opt/claw/");
    EXPECT_EQ(record.m_POP3Port, "110");
    EXPECT_EQ(record.m_SMTPPort, "25");
    EXPECT_EQ(record.m_PlaySounds, 1);
    EXPECT_EQ(record.m_SMTPNeedsLogon, 0);
    EXPECT_EQ(record.m_OnHold, 0);
    EXPECT_EQ(record.m_SpamSoundFile, "/opt/claw/clawed.wav");
    EXPECT_EQ(record.m_NewMailSoundFile, "/opt/claw/mailin.wav");

    test::CScopedDataFolder folder;
    EXPECT_EQ(EmailAccountInfo().m_SpamSoundFile, folder.File("clawed.wav"));
}

}  // namespace
}  // namespace sieveclaw
