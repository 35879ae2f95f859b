#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "setup/DiscoverySources.h"
#include "tests/setup/DiscoveryFixture.h"

namespace sieveclaw {
namespace {

using test::CDiscoveryMachine;
using test::Discover;

std::string Pref(const std::string& key, const std::string& value) {
    return "user_pref(\"" + key + "\", \"" + value + "\");\n";
}
std::string NumberPref(const std::string& key, int value) {
    return "user_pref(\"" + key + "\", " + std::to_string(value) + ");\n";
}

TEST(LinuxSourcesTest, ThunderbirdTakesPop3ServersWithTheirIdentityAndSmtpServer) {
    CDiscoveryMachine machine;
    machine.Write(
        "home/.thunderbird/abcd.default/prefs.js",
        Pref("mail.accountmanager.accounts", "account1,account2,account3") +
            Pref("mail.account.account1.server", "server1") + Pref("mail.account.account1.identities", "id1,id2") +
            Pref("mail.account.account2.server", "server2") + Pref("mail.account.account3.server", "server3") +
            Pref("mail.server.server1.type", "pop3") + Pref("mail.server.server1.hostname", "pop.example") +
            Pref("mail.server.server1.userName", "jo") + Pref("mail.server.server1.name", "Jo's \\\"mail\\\"") +
            NumberPref("mail.server.server1.socketType", 3) + Pref("mail.server.server2.type", "imap") +
            Pref("mail.server.server3.type", "pop3") + Pref("mail.server.server3.hostname", "pop3.example") +
            NumberPref("mail.server.server3.port", 1110) + Pref("mail.server.server3.name", "Plain") +
            Pref("mail.identity.id1.useremail", "jo@example") + Pref("mail.identity.id1.smtpServer", "smtp2") +
            Pref("mail.smtpserver.smtp2.hostname", "smtp.example") + NumberPref("mail.smtpserver.smtp2.try_ssl", 3) +
            Pref("mail.smtpserver.smtp2.username", "jo.out") + Pref("mail.smtp.defaultserver", "smtp9") +
            Pref("mail.smtpserver.smtp9.hostname", "default.example") + NumberPref("mail.smtpserver.smtp9.port", 587) +
            NumberPref("mail.smtpserver.smtp9.try_ssl", 2));
    machine.Write("home/.thunderbird/profiles.ini", "[Profile0]\nPath=abcd.default\n");
    const std::vector<EmailAccountInfo> found = Discover(machine.Places());
    ASSERT_EQ(found.size(), 2U);
    EXPECT_EQ(found[0].m_AccountName, "Jo's \"mail\"");
    EXPECT_EQ(found[0].m_POP3Server, "pop.example");
    EXPECT_EQ(found[0].m_POP3Port, "995");
    EXPECT_EQ(found[0].m_POP3UserId, "jo");
    EXPECT_EQ(found[0].m_EmailAddress, "jo@example");
    EXPECT_EQ(found[0].m_SMTPServer, "smtp.example");
    EXPECT_EQ(found[0].m_SMTPPort, "465");
    EXPECT_EQ(found[0].m_SMTPUserId, "jo.out");
    EXPECT_EQ(found[0].m_MailProgram, "Thunderbird");
    EXPECT_EQ(found[0].m_POP3Security, EConnectionSecurity::kSslTls);
    EXPECT_EQ(found[0].m_SMTPSecurity, EConnectionSecurity::kSslTls);
    EXPECT_EQ(found[1].m_POP3Security, EConnectionSecurity::kWhenOffered);
    EXPECT_EQ(found[1].m_AccountName, "Plain");
    EXPECT_EQ(found[1].m_POP3Port, "1110");
    EXPECT_EQ(found[1].m_SMTPServer, "default.example");
    EXPECT_EQ(found[1].m_SMTPPort, "587");
    EXPECT_EQ(found[1].m_SMTPUserId, "");
    EXPECT_EQ(found[1].m_SMTPSecurity, EConnectionSecurity::kStartTls);
}

TEST(LinuxSourcesTest, EvolutionFollowsTheIdentityToItsTransport) {
    CDiscoveryMachine machine;
    const std::string sources = "home/.config/evolution/sources/";
    machine.Write(sources + "acc1.source",
                  "[Data Source]\nDisplayName=Home\nEnabled=true\n\n[Mail Account]\nBackendName=pop\n"
                  "IdentityUid=id1\n\n[Authentication]\nHost=pop.example\nPort=995\nUser=jo\n\n"
                  "[Security]\nMethod=ssl-on-alternate-port\n");
    machine.Write(sources + "acc2.source",
                  "[Data Source]\nDisplayName=Work\n\n[Mail Account]\nBackendName=imapx\n\n"
                  "[Authentication]\nHost=imap.example\n");
    machine.Write(sources + "acc3.source",
                  "[Data Source]\nDisplayName=Home\n\n[Mail Account]\nBackendName=pop\n\n"
                  "[Authentication]\nHost=pop2.example\nPort=0\n\n[Security]\nMethod=starttls-on-standard-port\n");
    machine.Write(sources + "id1.source",
                  "[Data Source]\nDisplayName=jo@example\n\n[Mail Identity]\nAddress=jo@example\n\n"
                  "[Mail Submission]\nTransportUid=tr1\n");
    machine.Write(sources + "tr1.source",
                  "[Mail Transport]\nBackendName=smtp\n\n[Authentication]\nHost=smtp.example\nPort=587\nUser=jo.out\n");
    const std::vector<EmailAccountInfo> found = Discover(machine.Places());
    ASSERT_EQ(found.size(), 2U);
    EXPECT_EQ(found[0].m_AccountName, "Home");
    EXPECT_EQ(found[0].m_POP3Server, "pop.example");
    EXPECT_EQ(found[0].m_POP3Port, "995");
    EXPECT_EQ(found[0].m_POP3UserId, "jo");
    EXPECT_EQ(found[0].m_EmailAddress, "jo@example");
    EXPECT_EQ(found[0].m_SMTPServer, "smtp.example");
    EXPECT_EQ(found[0].m_SMTPPort, "587");
    EXPECT_EQ(found[0].m_SMTPUserId, "jo.out");
    EXPECT_EQ(found[0].m_MailProgram, "Evolution");
    EXPECT_EQ(found[0].m_POP3Security, EConnectionSecurity::kSslTls);
    EXPECT_EQ(found[0].m_SMTPSecurity, EConnectionSecurity::kWhenOffered);
    EXPECT_EQ(found[1].m_POP3Security, EConnectionSecurity::kStartTls);
    EXPECT_EQ(found[1].m_AccountName, "Home - Evolution");
    EXPECT_EQ(found[1].m_POP3Port, "110");
    EXPECT_EQ(found[1].m_SMTPServer, "");
    EXPECT_EQ(found[1].m_SMTPPort, "25");
}

TEST(LinuxSourcesTest, ClawsMailTakesItsPop3Accounts) {
    CDiscoveryMachine machine;
    machine.Write("home/.claws-mail/accountrc",
                  "[Account: 1]\naccount_name=Home\nname=Jo\naddress=jo@example\nprotocol=0\n"
                  "receive_server=pop.example\nuser_id=jo\nset_popport=0\npop_port=1110\nssl_pop=1\n"
                  "smtp_server=smtp.example\nset_smtpport=1\nsmtp_port=587\nssl_smtp=2\n\n"
                  "[Account: 2]\naccount_name=Imap\nprotocol=3\nreceive_server=imap.example\n\n"
                  "[Account: 3]\naccount_name=Home\nprotocol=0\nreceive_server=pop2.example\nuser_id=jq\n"
                  "set_popport=1\npop_port=1110\nsmtp_user_id=sender\n");
    const std::vector<EmailAccountInfo> found = Discover(machine.Places());
    ASSERT_EQ(found.size(), 2U);
    EXPECT_EQ(found[0].m_AccountName, "Home");
    EXPECT_EQ(found[0].m_POP3Server, "pop.example");
    EXPECT_EQ(found[0].m_POP3Port, "995");
    EXPECT_EQ(found[0].m_POP3UserId, "jo");
    EXPECT_EQ(found[0].m_EmailAddress, "jo@example");
    EXPECT_EQ(found[0].m_SMTPServer, "smtp.example");
    EXPECT_EQ(found[0].m_SMTPPort, "587");
    EXPECT_EQ(found[0].m_SMTPUserId, "jo");
    EXPECT_EQ(found[0].m_MailProgram, "Claws Mail");
    EXPECT_EQ(found[0].m_POP3Security, EConnectionSecurity::kSslTls);
    EXPECT_EQ(found[0].m_SMTPSecurity, EConnectionSecurity::kStartTls);
    EXPECT_EQ(found[1].m_POP3Security, EConnectionSecurity::kWhenOffered);
    EXPECT_EQ(found[1].m_AccountName, "Home - Claws Mail");
    EXPECT_EQ(found[1].m_POP3Port, "1110");
    EXPECT_EQ(found[1].m_SMTPUserId, "sender");
}

}  // namespace
}  // namespace sieveclaw
