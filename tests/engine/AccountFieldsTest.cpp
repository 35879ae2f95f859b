#include "engine/AccountFields.h"

#include <string>

#include <gtest/gtest.h>

#include "core/AccountsFile.h"
#include "core/ScrambleText.h"
#include "core/TextFile.h"
#include "engine/AccountCommands.h"
#include "tests/support/ScopedDataFolder.h"

namespace sieveclaw {
namespace {

EmailAccountInfo Complete() {
    EmailAccountInfo record("/data/");
    record.m_AccountName = "Home";
    record.m_POP3Server = "pop.example.org";
    record.m_POP3UserId = "me";
    record.m_POP3Password = "pw";
    record.m_EmailAddress = "me@example.org";
    record.m_SMTPServer = "smtp.example.org";
    record.m_SMTPUserId = "me";
    record.m_SMTPPassword = "pw";
    return record;
}

// Blanking each field in turn shows that field's message, in the dialog's order.
TEST(AccountFieldsTest, EachBlankFieldIsNamedInTheDialogsOrder) {
    struct Case {
        std::string EmailAccountInfo::*m_Member;
        EAccountField m_Field;
        const char* m_Message;
    };
    const Case cases[] = {
        {&EmailAccountInfo::m_AccountName, EAccountField::kName, "The account name is blank."},
        {&EmailAccountInfo::m_POP3Server, EAccountField::kPOP3Server, "The incoming mail server (POP3) is blank."},
        {&EmailAccountInfo::m_POP3Port, EAccountField::kPOP3Port, "The incoming (POP3) Port is blank."},
        {&EmailAccountInfo::m_POP3UserId, EAccountField::kPOP3UserId,
         "The User Id for the incoming (POP3) account is blank."},
        {&EmailAccountInfo::m_POP3Password, EAccountField::kPOP3Password,
         "The Password for the incoming (POP3) account is blank."},
        {&EmailAccountInfo::m_EmailAddress, EAccountField::kEmailAddress, "The Email address appears to be invalid."},
        {&EmailAccountInfo::m_SMTPUserId, EAccountField::kSMTPUserId,
         "The User Id for the outgoing (SMTP) account is blank."},
        {&EmailAccountInfo::m_SMTPPassword, EAccountField::kSMTPPassword,
         "The Password for the outgoing (SMTP) account is blank."},
        {&EmailAccountInfo::m_SMTPServer, EAccountField::kSMTPServer, "The outgoing mail server (SMTP) is blank."},
        {&EmailAccountInfo::m_SMTPPort, EAccountField::kSMTPPort, "The outgoing (SMTP) Port is blank."},
    };
    EXPECT_FALSE(FirstAccountFieldProblem(Complete()));
    EmailAccountInfo record = Complete();
    // Blanked from the last to the first, so that each one is the first problem when checked.
    for (auto test = std::rbegin(cases); test != std::rend(cases); ++test) {
        record.*test->m_Member = "";
        const auto problem = FirstAccountFieldProblem(record);
        ASSERT_TRUE(problem);
        EXPECT_EQ(problem->m_Field, test->m_Field);
        EXPECT_EQ(problem->m_Message, test->m_Message);
    }
}

TEST(AccountFieldsTest, RulesLeaveOutTheAddressAndTheOutgoingChecks) {
    EmailAccountInfo record = Complete();
    record.m_EmailAddress = "me@example.museum";  // four letters after the dot
    record.m_SMTPPassword.clear();
    record.m_SMTPServer.clear();
    EXPECT_EQ(FirstAccountFieldProblem(record)->m_Field, EAccountField::kEmailAddress);
    EXPECT_EQ(FirstAccountFieldProblem(record, {false, true, true})->m_Field, EAccountField::kSMTPPassword);
    EXPECT_EQ(FirstAccountFieldProblem(record, {false, true, false})->m_Field, EAccountField::kSMTPServer);
    EXPECT_FALSE(FirstAccountFieldProblem(record, {false, false, false}));

    TrimAccountFields(record);
    UseIncomingServerForOutgoing(record);
    EXPECT_EQ(record.m_SMTPServer, "pop.example.org");
    EXPECT_EQ(record.m_SMTPPassword, "pw");
    EXPECT_EQ(record.m_SMTPPort, "25");
}

TEST(AccountFieldsTest, TrimmingNamesTakenNamesAndUnstorablePasswords) {
    EmailAccountInfo record = Complete();
    record.m_AccountName = " \tHome \r\n";
    record.m_SpamSoundFile = " keep.wav ";
    TrimAccountFields(record);
    EXPECT_EQ(record.m_AccountName, "Home");
    EXPECT_EQ(record.m_SpamSoundFile, " keep.wav ");  // sound files are taken as chosen

    CAccountList accounts;
    AddAccount(accounts, Complete());
    EXPECT_EQ(NewAccountNameProblem(accounts, "Home")->m_Message,
              "You already have an account named 'Home'.  Please type a different name.");
    EXPECT_FALSE(NewAccountNameProblem(accounts, "home"));

    // A last byte that scrambles to a blank would be trimmed off when the file is read.
    record.m_POP3Password = "pw" + ScrambleText(" ");
    const auto problem = UnstorableFieldProblem(record);
    ASSERT_TRUE(problem);
    EXPECT_EQ(problem->m_Field, EAccountField::kPOP3Password);
    EXPECT_FALSE(UnstorableFieldProblem(Complete()));
}

TEST(AccountCommandsTest, PreferencesCommandsChangeTheListAndTheFileAtOnce) {
    test::CScopedDataFolder folder;
    CAccountList accounts;
    EmailAccountInfo home = Complete();
    home.m_OnHold = 1;
    ASSERT_TRUE(AddAccountAndSave(accounts, home));
    EmailAccountInfo work = Complete();
    work.m_AccountName = "Work";
    ASSERT_TRUE(AddAccountAndSave(accounts, work));

    EmailAccountInfo edited = Complete();
    edited.m_AccountName = "House";
    edited.m_POP3Certificate = "AA:BB";
    edited.m_OnHold = 0;  // not the dialog's to change
    const auto inbox = accounts.GetAt(accounts.First())->m_InboxEntries;
    ASSERT_TRUE(EditAccountAndSave(accounts, "Home", edited));
    EXPECT_FALSE(EditAccountAndSave(accounts, "Nobody", edited));
    SaveResult saved;
    EXPECT_EQ(ToggleHoldAndSave(accounts, "Work", saved), 1);
    EXPECT_TRUE(saved);
    EXPECT_FALSE(ToggleHoldAndSave(accounts, "Home", saved));
    EXPECT_FALSE(saved);

    CAccountList stored;
    ASSERT_TRUE(LoadAccounts(stored));
    const auto house = stored.GetAt(FindAccount(stored, "House"));
    ASSERT_TRUE(house);
    EXPECT_EQ(house->m_OnHold, 1);
    EXPECT_EQ(house->m_POP3Certificate, "AA:BB");
    EXPECT_EQ(stored.GetAt(FindAccount(stored, "Work"))->m_OnHold, 1);
    EXPECT_EQ(accounts.GetAt(accounts.First())->m_InboxEntries, inbox);  // the worker's lists stay

    ASSERT_TRUE(DeleteAccountAndSave(accounts, "House"));
    EXPECT_FALSE(DeleteAccountAndSave(accounts, "House"));
    CAccountList after;
    ASSERT_TRUE(LoadAccounts(after));
    EXPECT_EQ(AccountCount(after), 1U);

    // A file that does not read whole is never written over, and the refusal names it.
    const std::string damaged = std::string(kAccountsFileHeader) + "\r\nnot a count\r\n";
    ASSERT_TRUE(WriteFileAtomically(folder.File("accounts.txt"), damaged));
    const SaveResult refused = AddAccountAndSave(accounts, work);
    EXPECT_FALSE(refused);
    EXPECT_NE(refused.m_Error.find("accounts.txt"), std::string::npos) << refused.m_Error;
    std::string bytes;
    ASSERT_TRUE(ReadFileBytes(folder.File("accounts.txt"), bytes));
    EXPECT_EQ(bytes, damaged);
}

}  // namespace
}  // namespace sieveclaw
