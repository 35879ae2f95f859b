#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "setup/DiscoverySources.h"
#include "tests/setup/DiscoveryFixture.h"

namespace sieveclaw {
namespace {

using test::CDiscoveryMachine;
using test::Discover;

const std::string kAccountsKey = "[Software\\\\Microsoft\\\\Internet Account Manager\\\\Accounts\\\\";

bool HasLine(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

TEST(RegistrySourcesTest, OutlookExpressSkipsNewsAccountsMapsPortsAndRenamesDuplicates) {
    CDiscoveryMachine machine;
    machine.UserReg(kAccountsKey + "00000001] 1\n" +
                    "\"Account Name\"=\"Home\"\n\"POP3 Server\"=\"pop.home.example\"\n\"POP3 Port\"=dword:00000000\n"
                    "\"POP3 User Name\"=\"jo\"\n\"SMTP Server\"=\"smtp.home.example\"\n\"SMTP Port\"=dword:00000000\n"
                    "\"SMTP Email Address\"=\"jo@home.example\"\n\n" +
                    kAccountsKey +
                    "00000002] 1\n\"Account Name\"=\"news.example\"\n\"NNTP Server\"=\"news.example\"\n\n" +
                    kAccountsKey + "00000003] 1\n" +
                    "\"Account Name\"=\"Home\"\n\"POP3 Server\"=\"pop.other.example\"\n\"POP3 Port\"=dword:000003e3\n"
                    "\"POP3 User Name\"=\"jq\"\n\"SMTP Port\"=dword:0000024b\n\"POP3 Secure Connection\"=dword:00000001\n\n" +
                    kAccountsKey + "Other] 1\n\"POP3 Server\"=\"not.an.account\"\n");
    const std::vector<EmailAccountInfo> found = Discover(machine.Places());
    ASSERT_EQ(found.size(), 2U);
    EXPECT_EQ(found[0].m_AccountName, "Home");
    EXPECT_EQ(found[0].m_POP3Server, "pop.home.example");
    EXPECT_EQ(found[0].m_POP3Port, "110");
    EXPECT_EQ(found[0].m_SMTPPort, "25");
    EXPECT_EQ(found[0].m_SMTPServer, "smtp.home.example");
    EXPECT_EQ(found[0].m_SMTPUserId, "jo");
    EXPECT_EQ(found[0].m_EmailAddress, "jo@home.example");
    EXPECT_EQ(found[0].m_MailProgram, "Outlook Express");
    EXPECT_TRUE(found[0].m_POP3Password.empty());
    EXPECT_EQ(found[0].m_PlaySounds, 1);
    EXPECT_EQ(found[1].m_AccountName, "Home - Outlook Express");
    EXPECT_EQ(found[1].m_POP3Port, "995");
    EXPECT_EQ(found[1].m_SMTPPort, "587");
    EXPECT_EQ(found[1].m_SMTPUserId, "jq");
    EXPECT_EQ(found[0].m_POP3Security, EConnectionSecurity::kWhenOffered);
    EXPECT_EQ(found[1].m_POP3Security, EConnectionSecurity::kSslTls);
    EXPECT_EQ(found[1].m_SMTPSecurity, EConnectionSecurity::kWhenOffered);

    const std::vector<std::string> log = machine.LogLines();
    const std::vector<std::string> expected = {
        "CollectEmailAccountInfo - searchng for Outlook Express data",
        "CollectEmailAccountInfo - attempting to open Software\\Microsoft\\Internet Account Manager\\Accounts",
        "CollectEmailAccountInfo - opened.  Now checking for Email or Newsgroup account",
        "CollectEmailAccountInfo - Email account found",
        "CollectEmailAccountInfo - Account:Home;POP3Server:pop.home.example;POP3Port:110;POP3UserId:jo;"
        "SMTPServer:smtp.home.example;SMTPPort:25;SMTPUserId:jo;Email Program:Outlook Express",
        "CollectEmailAccountInfo - opened.  Now checking for Email or Newsgroup account",
        "CollectEmailAccountInfo - opened.  Now checking for Email or Newsgroup account",
        "CollectEmailAccountInfo - Email account found",
        "CollectEmailAccountInfo - Account:Home - Outlook Express;POP3Server:pop.other.example;POP3Port:995;"
        "POP3UserId:jq;SMTPServer:;SMTPPort:587;SMTPUserId:jq;Email Program:Outlook Express",
        "CollectEmailAccountInfo - closing key",
        "CollectEmailAccountInfo - searchng for Outlook data",
        "CollectEmailAccountInfo - Failed to find any Outlook settings - No such file or directory",
    };
    ASSERT_GE(log.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(log.begin(), log.begin() + static_cast<std::ptrdiff_t>(expected.size())),
              expected);
}

TEST(RegistrySourcesTest, OutlookReadsItsProfileUnderTheSystemFamilyKey) {
    CDiscoveryMachine machine;
    const std::string profile =
        "CurrentVersion\\\\Windows Messaging Subsystem\\\\Profiles\\\\Outlook\\\\13dbb0c8aa05101a9bb000aa002fc45a] 1\n"
        "\"001e6607\"=\"jo\"\n\"001e6608\"=\"pop.example\"\n\"001e3001\"=\"Work\"\n";
    machine.UserReg("[Software\\\\Microsoft\\\\Windows NT\\\\" + profile + "\n" +
                    "[Software\\\\Microsoft\\\\Windows\\\\" + profile);
    std::vector<EmailAccountInfo> found = Discover(machine.Places());
    ASSERT_EQ(found.size(), 1U);
    EXPECT_EQ(found[0].m_AccountName, "Work");
    EXPECT_EQ(found[0].m_POP3Server, "pop.example");
    EXPECT_EQ(found[0].m_SMTPServer, "pop.example");
    EXPECT_EQ(found[0].m_POP3UserId, "jo");
    EXPECT_EQ(found[0].m_SMTPUserId, "jo");
    EXPECT_EQ(found[0].m_POP3Port, "110");
    EXPECT_EQ(found[0].m_SMTPPort, "25");
    EXPECT_EQ(found[0].m_EmailAddress, "");
    EXPECT_EQ(found[0].m_MailProgram, "Outlook");
    EXPECT_TRUE(HasLine(machine.LogLines(), "CollectEmailAccountInfo - Email account found"));

    machine.UserReg("[Software\\\\Microsoft\\\\Windows\\\\" + profile);
    EXPECT_TRUE(Discover(machine.Places()).empty());
    machine.Places().m_WindowsNtFamily = false;
    EXPECT_EQ(Discover(machine.Places()).size(), 1U);
}

TEST(RegistrySourcesTest, EudoraIniPathStartsAtTheDriveLetterBeforeIni) {
    EXPECT_EQ(EudoraIniPath("C:\\Program Files\\Eudora\\Eudora.exe C:\\Program Files\\Eudora D:\\Mail\\eudora.ini"),
              "D:\\Mail\\eudora.ini");
    EXPECT_EQ(EudoraIniPath("C:\\Eudora\\Eudora.exe"), "C:\\Eudora\\Eudora.exe");
    EXPECT_EQ(EudoraIniPath("eudora.ini"), "eudora.ini");
    EXPECT_EQ(EudoraIniPath(":x.ini"), ":x.ini");
    EXPECT_EQ(EudoraIniPath(""), "");
    EXPECT_EQ(EudoraIniPath(".ini C:\\a.ini"), std::nullopt);
}

TEST(RegistrySourcesTest, EudoraReadsTheIniOfItsCommandLine) {
    CDiscoveryMachine machine;
    machine.UserReg(
        "[Software\\\\Qualcomm\\\\Eudora\\\\CommandLine] 1\n"
        "\"current\"=\"C:\\\\Program Files\\\\Qualcomm\\\\Eudora\\\\Eudora.exe C:\\\\Program "
        "Files\\\\Qualcomm\\\\Eudora "
        "\\\"C:\\\\EUDORA DATA\\\\Eudora.ini\\\"\"\n");
    machine.Write("wine/drive_c/Eudora Data/eudora.ini",
                  "[Settings]\r\nPopServer=pop.example\r\nLoginName=jo\r\nSMTPServer=smtp.example\r\n"
                  "RealName=Jo Q\r\nEmailAddress=jo@example\r\n");
    std::vector<EmailAccountInfo> found = Discover(machine.Places());
    ASSERT_EQ(found.size(), 1U);
    EXPECT_EQ(found[0].m_AccountName, "Jo Q");
    EXPECT_EQ(found[0].m_POP3Server, "pop.example");
    EXPECT_EQ(found[0].m_POP3UserId, "jo");
    EXPECT_EQ(found[0].m_SMTPUserId, "jo");
    EXPECT_EQ(found[0].m_SMTPServer, "smtp.example");
    EXPECT_EQ(found[0].m_EmailAddress, "jo@example");
    EXPECT_EQ(found[0].m_MailProgram, "Eudora");

    // Added even when the ini file is not there.
    std::filesystem::remove(machine.Path("wine/drive_c/Eudora Data/eudora.ini"));
    found = Discover(machine.Places());
    ASSERT_EQ(found.size(), 1U);
    EXPECT_EQ(found[0].m_POP3Server, "");

    machine.UserReg("[Software\\\\Qualcomm\\\\Eudora\\\\CommandLine] 1\n\"current\"=\".ini\"\n");
    EXPECT_TRUE(Discover(machine.Places()).empty());
}

TEST(RegistrySourcesTest, IncrediMailKeepsPortsAsReadAndAddsUniqueNames) {
    CDiscoveryMachine machine;
    machine.UserReg(kAccountsKey + "00000001] 1\n\"Account Name\"=\"Mail\"\n\"POP3 Server\"=\"pop.a\"\n");
    const std::string identities = "[Software\\\\Incredimail\\\\Identities\\\\";
    machine.SystemReg(identities + "{A}\\\\Accounts\\\\First] 1\n" +
                      "\"PopServer\"=\"pop.b\"\n\"PopAccount\"=\"jo\"\n\"PopPort\"=dword:00000000\n"
                      "\"SmtpServer\"=\"smtp.b\"\n\"DisplayName\"=\"Mail\"\n\"EmailAddress\"=\"jo@b\"\n\n" +
                      identities + "{B}\\\\Accounts\\\\Second] 1\n" +
                      "\"PopServer\"=\"pop.c\"\n\"PopAccount\"=\"jq\"\n\"PopPort\"=dword:000003e3\n"
                      "\"SmtpPort\"=dword:000001d1\n\"SmtpAccount\"=\"sender\"\n\"DisplayName\"=\"Other\"\n\n" +
                      identities + "{C}] 1\n");
    const std::vector<EmailAccountInfo> found = Discover(machine.Places());
    ASSERT_EQ(found.size(), 3U);
    EXPECT_EQ(found[1].m_AccountName, "Mail - IncrediMail");
    EXPECT_EQ(found[1].m_POP3Port, "0");
    EXPECT_EQ(found[1].m_SMTPPort, "0");
    EXPECT_EQ(found[1].m_SMTPUserId, "jo");
    EXPECT_EQ(found[1].m_EmailAddress, "jo@b");
    EXPECT_EQ(found[1].m_MailProgram, "IncrediMail");
    EXPECT_EQ(found[2].m_AccountName, "Other");
    EXPECT_EQ(found[2].m_POP3Port, "995");
    EXPECT_EQ(found[2].m_SMTPPort, "465");
    EXPECT_EQ(found[2].m_SMTPUserId, "sender");
}

}  // namespace
}  // namespace sieveclaw
