#include "engine/ServerTest.h"

#include <memory>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/support/MailServerSet.h"

// The logon tests of the account settings dialog and the wizard against real servers: plain,
// STLS/STARTTLS and TLS from the first byte, a wrong password, an unknown name, and a self-signed
// certificate refused, trusted by its fingerprint, and refused again once the server shows
// another certificate.

namespace sieveclaw {
namespace {

using test::CMailServerSet;
using test::kMailPassword;
using test::kMailUser;
using ::testing::HasSubstr;
using ::testing::MatchesRegex;

class ServerTestDovecotTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_Servers = std::make_unique<CMailServerSet>();
        if (!s_Servers->Start(s_StartError)) {
            s_StartError += "\n(could not start the servers)";
        }
    }
    static void TearDownTestSuite() { s_Servers.reset(); }
    void SetUp() override { ASSERT_TRUE(s_StartError.empty()) << s_StartError; }

    static EmailAccountInfo Account(int pop3Port, int smtpPort, EConnectionSecurity security) {
        EmailAccountInfo account;
        account.m_AccountName = "Test";
        account.m_POP3Server = account.m_SMTPServer = "127.0.0.1";
        account.m_POP3UserId = account.m_SMTPUserId = kMailUser;
        account.m_POP3Password = account.m_SMTPPassword = kMailPassword;
        account.m_POP3Port = std::to_string(pop3Port);
        account.m_SMTPPort = std::to_string(smtpPort);
        account.m_SMTPNeedsLogon = 1;
        account.m_POP3Security = account.m_SMTPSecurity = security;
        return account;
    }

    static inline std::unique_ptr<CMailServerSet> s_Servers;
    static inline std::string s_StartError;
};

TEST_F(ServerTestDovecotTest, EachWayOfConnectingLogsOnAndAWrongPasswordOrNameFails) {
    CMailServerSet& s = *s_Servers;
    struct Case {
        const char* m_What;
        EmailAccountInfo m_Account;
        EServerTestStep m_Pop3;
        EServerTestStep m_Smtp;
        const char* m_Error;  // in both failures' texts
    };
    const auto ok = EServerTestStep::kWorked;
    const auto failed = EServerTestStep::kLogonFailed;
    Case cases[] = {
        {"plain", Account(s.m_Pop3Plain.PlainPort(), s.m_SmtpPlain.PlainPort(), EConnectionSecurity::kWhenOffered), ok,
         ok, ""},
        {"upgraded", Account(s.m_Pop3.PlainPort(), s.m_Smtp.PlainPort(), EConnectionSecurity::kStartTls), ok, ok, ""},
        {"TLS from the first byte", Account(s.m_Pop3.TlsPort(), s.m_Smtp.TlsPort(), EConnectionSecurity::kSslTls), ok,
         ok, ""},
        {"wrong password", Account(s.m_Pop3.PlainPort(), s.m_Smtp.PlainPort(), EConnectionSecurity::kStartTls), failed,
         failed, "uthentication"},
        {"unknown name", Account(1, 1, EConnectionSecurity::kWhenOffered), EServerTestStep::kUnresolved,
         EServerTestStep::kUnresolved, ""},
    };
    cases[3].m_Account.m_POP3Password = cases[3].m_Account.m_SMTPPassword = "wrong";
    cases[4].m_Account.m_POP3Server = cases[4].m_Account.m_SMTPServer = std::string(70, 'x') + ".example";
    for (const Case& test : cases) {
        SCOPED_TRACE(test.m_What);
        const ServerTestResult pop3 = TestPop3Logon(test.m_Account, s.Options());
        const ServerTestResult smtp = TestSmtpLogon(test.m_Account, s.Options());
        EXPECT_EQ(pop3.m_Step, test.m_Pop3) << pop3.m_LastError;
        EXPECT_EQ(smtp.m_Step, test.m_Smtp) << smtp.m_LastError;
        EXPECT_THAT(pop3.m_LastError, HasSubstr(test.m_Error));
        EXPECT_THAT(smtp.m_LastError, HasSubstr(test.m_Error));
        EXPECT_TRUE(pop3.m_RefusedCertificate.empty() && smtp.m_RefusedCertificate.empty());
    }
}

TEST_F(ServerTestDovecotTest, ASelfSignedCertificateIsRefusedThenTrustedThenRefusedWhenItChanges) {
    CMailServerSet& s = *s_Servers;
    EmailAccountInfo account =
        Account(s.m_Pop3SelfSigned.TlsPort(), s.m_SmtpSelfSigned.TlsPort(), EConnectionSecurity::kSslTls);
    const ServerTestResult pop3 = TestPop3Logon(account, s.Options());
    const ServerTestResult smtp = TestSmtpLogon(account, s.Options());
    for (const ServerTestResult* refused : {&pop3, &smtp}) {
        EXPECT_EQ(refused->m_Step, EServerTestStep::kLogonFailed);
        EXPECT_THAT(refused->m_LastError, HasSubstr("self-signed certificate"));
        EXPECT_THAT(refused->m_RefusedCertificate, MatchesRegex("([0-9A-F]{2}:){31}[0-9A-F]{2}"));
    }
    // Both servers show the same self-signed certificate.
    EXPECT_EQ(pop3.m_RefusedCertificate, smtp.m_RefusedCertificate);

    account.m_POP3Certificate = pop3.m_RefusedCertificate;
    account.m_SMTPCertificate = smtp.m_RefusedCertificate;
    EXPECT_EQ(TestPop3Logon(account, s.Options()).m_Step, EServerTestStep::kWorked);
    EXPECT_EQ(TestSmtpLogon(account, s.Options()).m_Step, EServerTestStep::kWorked);

    // The same host now shows the CA-signed certificate, which the CA alone would accept.
    account.m_POP3Port = std::to_string(s.m_Pop3.TlsPort());
    account.m_SMTPPort = std::to_string(s.m_Smtp.TlsPort());
    const ServerTestResult changedPop3 = TestPop3Logon(account, s.Options());
    const ServerTestResult changedSmtp = TestSmtpLogon(account, s.Options());
    for (const ServerTestResult* changed : {&changedPop3, &changedSmtp}) {
        EXPECT_EQ(changed->m_Step, EServerTestStep::kLogonFailed);
        EXPECT_THAT(changed->m_LastError, HasSubstr("has changed"));
        EXPECT_THAT(changed->m_LastError, HasSubstr(pop3.m_RefusedCertificate));
        EXPECT_THAT(changed->m_LastError, HasSubstr(changed->m_RefusedCertificate));
        EXPECT_NE(changed->m_RefusedCertificate, pop3.m_RefusedCertificate);
    }
}

}  // namespace
}  // namespace sieveclaw
