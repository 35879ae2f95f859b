#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "setup/DiscoverySources.h"
#include "tests/setup/DiscoveryFixture.h"

namespace sieveclaw {
namespace {

using test::CDiscoveryMachine;
using test::Discover;

std::vector<std::string> Names(const std::vector<EmailAccountInfo>& records) {
    std::vector<std::string> names;
    for (const EmailAccountInfo& record : records) {
        names.push_back(record.m_AccountName);
    }
    return names;
}

std::string Pref(const std::string& key, const std::string& value) {
    return "user_pref(\"" + key + "\", \"" + value + "\");\n";
}

TEST(FileSourcesTest, PathsMatchWithoutRegardToLetterCase) {
    CDiscoveryMachine machine;
    machine.Write("wine/drive_c/PMail/MAIL/x.txt", "x");
    machine.Write("wine/dosdevices/d:/Data/y.ini", "y");
    const CWindowsDrives drives(machine.Path("wine"));
    EXPECT_EQ(drives.Resolve("c:\\pmail\\mail\\X.TXT"), machine.Path("wine/drive_c/PMail/MAIL/x.txt"));
    EXPECT_EQ(drives.Resolve("D:\\data\\Y.ini"), machine.Path("wine/dosdevices/d:/Data/y.ini"));
    EXPECT_EQ(drives.Resolve("c:\\pmail\\nothing"), "");
    EXPECT_EQ(drives.Resolve("c:\\pmail\\..\\pmail"), "");
    EXPECT_EQ(drives.Resolve("pmail\\mail"), "");
    EXPECT_EQ(CWindowsDrives("").Resolve("c:\\"), "");
}

TEST(FileSourcesTest, PegasusMailReadsEachUsersIni) {
    CDiscoveryMachine machine;
    const std::string section = "[Pegasus Mail for Windows - built-in TCP/IP Mail]\r\n";
    machine.Write("wine/drive_c/pmail/Mail/zed/PMAIL.INI", section +
                                                               "Host where POP3 mail account is located = pop.z\r\n"
                                                               "POP3 mail account (username on host) = zed\r\n"
                                                               "SMTP relay host for outgoing mail = smtp.z\r\n"
                                                               "Alternative From: field for message = zed@z\r\n");
    machine.Write("wine/drive_c/pmail/Mail/admin/pmail.ini", section +
                                                                 "Host where POP3 mail account is located = pop.a\r\n"
                                                                 "POP3 mail account (username on host) = zed\r\n");
    machine.Write("wine/drive_c/pmail/Mail/empty/notes.txt", "");
    machine.Write("wine/drive_c/pmail/Mail/pmail.ini", "[not a folder]\n");
    const std::vector<EmailAccountInfo> found = Discover(machine.Places());
    ASSERT_EQ(found.size(), 2U);
    EXPECT_EQ(found[0].m_POP3Server, "pop.a");
    EXPECT_EQ(found[0].m_AccountName, "zed");
    EXPECT_EQ(found[1].m_AccountName, "zed - Pegasus Mail");
    EXPECT_EQ(found[1].m_POP3Server, "pop.z");
    EXPECT_EQ(found[1].m_POP3UserId, "zed");
    EXPECT_EQ(found[1].m_SMTPUserId, "zed");
    EXPECT_EQ(found[1].m_SMTPServer, "smtp.z");
    EXPECT_EQ(found[1].m_EmailAddress, "zed@z");
    EXPECT_EQ(found[1].m_POP3Port, "110");
    EXPECT_EQ(found[1].m_MailProgram, "Pegasus Mail");
}

TEST(FileSourcesTest, Netscape7WalksAccountsUntilTheFirstGap) {
    CDiscoveryMachine machine;
    const std::string profile =
        Pref("mail.account.account1.server", "server1") + Pref("mail.account.account2.server", "server2") +
        Pref("mail.account.account3.server", "server3") + Pref("mail.account.account5.server", "server5") +
        Pref("mail.server.server1.type", "pop3") + Pref("mail.server.server1.name", "jo@example") +
        Pref("mail.server.server1.hostname", "pop.example") + Pref("mail.server.server1.userName", "jo") +
        "user_pref(\"mail.server.server1.port\", 995);\n" + Pref("mail.server.server2.type", "POP3") +
        Pref("mail.server.server2.name", "jo@example") + Pref("mail.server.server2.hostname", "pop2.example") +
        Pref("mail.server.server3.type", "imap") + Pref("mail.server.server3.name", "imap account") +
        Pref("mail.server.server5.type", "pop3") + Pref("mail.server.server5.name", "after the gap");
    machine.Write("wine/drive_c/users/jo/AppData/Roaming/Mozilla/Profiles/default/ab12.slt/prefs.js", profile);
    machine.Write("home/.mozilla/jo/xy34.slt/prefs.js", Pref("mail.account.account2.server", "server2") +
                                                            Pref("mail.server.server2.type", "pop3") +
                                                            Pref("mail.server.server2.name", "never read"));
    machine.Write("home/.mozilla/firefox/abcd.default/prefs.js", Pref("mail.account.account1.server", "s") +
                                                                     Pref("mail.server.s.type", "Pop3") +
                                                                     Pref("mail.server.s.name", "from linux"));
    const std::vector<EmailAccountInfo> found = Discover(machine.Places());
    EXPECT_EQ(Names(found), (std::vector<std::string>{"jo@example", "jo@example", "from linux"}));
    ASSERT_EQ(found.size(), 3U);
    EXPECT_EQ(found[0].m_EmailAddress, "jo@example");
    EXPECT_EQ(found[0].m_POP3Server, "pop.example");
    EXPECT_EQ(found[0].m_SMTPServer, "pop.example");
    EXPECT_EQ(found[0].m_POP3UserId, "jo");
    EXPECT_EQ(found[0].m_SMTPUserId, "jo");
    EXPECT_EQ(found[0].m_POP3Port, "110");
    EXPECT_EQ(found[0].m_MailProgram, "Netscape");
    EXPECT_EQ(found[1].m_POP3Server, "pop2.example");
}

TEST(FileSourcesTest, Netscape4ReadsEachUsersPreferences) {
    CDiscoveryMachine machine;
    machine.Write("wine/drive_c/Program Files/Netscape/Users/jo/prefs.js",
                  Pref("mail.identity.useremail", "jo@example") + Pref("mail.pop_name", "jo") +
                      Pref("mail.smtp_name", "jo.smtp") + Pref("network.hosts.pop_server", "pop.example") +
                      Pref("network.hosts.smtp_server", "smtp.example"));
    machine.Write("wine/drive_c/Program Files/Netscape/Users/nomail/prefs.js", Pref("mail.pop_name", "x"));
    machine.Write("wine/drive_c/Program Files/Netscape/Users/twin/prefs.js",
                  Pref("mail.identity.useremail", "jo@example"));
    const std::vector<EmailAccountInfo> found = Discover(machine.Places());
    EXPECT_EQ(Names(found), (std::vector<std::string>{"jo@example", "jo@example"}));
    ASSERT_EQ(found.size(), 2U);
    EXPECT_EQ(found[0].m_POP3UserId, "jo");
    EXPECT_EQ(found[0].m_SMTPUserId, "jo.smtp");
    EXPECT_EQ(found[0].m_POP3Server, "pop.example");
    EXPECT_EQ(found[0].m_SMTPServer, "smtp.example");
    EXPECT_EQ(found[0].m_EmailAddress, "jo@example");
    EXPECT_EQ(found[0].m_SMTPPort, "25");
    EXPECT_EQ(found[0].m_MailProgram, "Netscape");
}

}  // namespace
}  // namespace sieveclaw
