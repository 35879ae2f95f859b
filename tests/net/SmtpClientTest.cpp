#include "net/CSMTPClient.h"

#include <chrono>
#include <regex>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "core/ActivityLog.h"
#include "core/TextFile.h"
#include "mail/CEmailMsg.h"
#include "tests/support/ScopedDataFolder.h"
#include "tests/support/SmtpServer.h"

// The SMTP client against a real SMTP server on 127.0.0.1 (aiosmtpd): STARTTLS and implicit
// TLS, AUTH LOGIN accepted and refused, refusals of sender, recipient and message, and what
// arrives.

namespace sieveclaw {
namespace {

using namespace std::chrono_literals;
using test::CSmtpServer;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

class SmtpClientTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_Server.Start()) << m_Server.Error(); }

    // Trusts the server's CA; the TLS port is the implicit-TLS port.
    CTransportOptions Options() const {
        CTransportOptions options;
        options.m_TimeoutUnit = 1s;
        options.m_Timeout = [] { return 30; };
        options.m_CaFile = m_Server.CaFile();
        options.m_ImplicitTlsPorts = {m_Server.TlsPort()};
        return options;
    }

    static CEmailMsg Message(std::string from, std::string to, std::string subject, std::string body) {
        CEmailMsg message;
        message.m_From = std::move(from);
        message.m_To = std::move(to);
        message.m_Subject = std::move(subject);
        message.m_Body = std::move(body);
        return message;
    }

    std::string Received(std::size_t number) const { return m_Server.Message(number).value_or("<no message>"); }

    CSmtpServer m_Server;
    const std::string m_Name = SmtpHelloName();
};

TEST_F(SmtpClientTest, WithoutLogonTheExchangeIsEhloStartTlsMailRcptDataAndQuit) {
    CSMTPClient client(Options());
    ASSERT_TRUE(client.Logon("127.0.0.1", m_Server.PlainPort()));
    EXPECT_EQ(client.m_Authenticated, 0);
    EXPECT_TRUE(client.m_Sock.IsTls());
    CEmailMsg message = Message("anna@example.com", "alice@example.org", "Lunch", "See you at noon.\r\n");
    ASSERT_TRUE(client.SendMail(message)) << client.m_LastError;
    EXPECT_EQ(client.Logoff(), 0);

    EXPECT_THAT(m_Server.Commands(1),
                ElementsAre("CONNECT plain", "EHLO " + m_Name, "STARTTLS", "TLS", "EHLO " + m_Name,
                            "MAIL FROM:<anna@example.com>", "RCPT TO:<alice@example.org>", "DATA", "QUIT"));
    ASSERT_EQ(m_Server.MessageCount(), 1u);
    EXPECT_THAT(*m_Server.Envelope(1), HasSubstr("\"tls\": true"));

    // The header lines in their order, the Date as MM/DD/YY HH:MM:SS, no blank after
    // "Subject:", no MIME lines for a message without attachments, and the body as it was (no
    // empty line added before the end of the data).
    const std::regex layout(
        "From: anna@example\\.com\r\n"
        "Date: (0[1-9]|1[0-2])/[0-3][0-9]/[0-9]{2} [0-2][0-9]:[0-5][0-9]:[0-6][0-9]\r\n"
        "X-Mailer: Sieveclaw 1\\.0\r\n"
        "To: alice@example\\.org\r\n"
        "Subject:Lunch\r\n"
        "\r\n"
        "See you at noon\\.\r\n");
    EXPECT_TRUE(std::regex_match(Received(1), layout)) << Received(1);
}

TEST(SmtpDateTextTest, TheDateLineIsMonthDayYearAndTheTwentyFourHourTime) {
    std::tm when{};
    when.tm_year = 2026 - 1900;
    when.tm_mon = 11;
    when.tm_mday = 7;
    when.tm_hour = 3;
    when.tm_min = 24;
    when.tm_sec = 5;
    EXPECT_EQ(SmtpDateText(when), "12/07/26 03:24:05");
    when.tm_hour = 23;
    when.tm_year = 2100 - 1900;
    EXPECT_EQ(SmtpDateText(when), "12/07/00 23:24:05");
}

TEST_F(SmtpClientTest, AuthLoginOverImplicitTlsAuthenticates) {
    CSMTPClient client(Options());
    ASSERT_TRUE(client.Logon("127.0.0.1", m_Server.TlsPort(), m_Server.User(), m_Server.Password()))
        << client.m_LastError;
    EXPECT_EQ(client.m_Authenticated, 1);
    CEmailMsg message = Message("alice@example.org", "alice@example.org", "Salvaged", "Body\r\n");
    ASSERT_TRUE(client.SendMail(message)) << client.m_LastError;
    client.Logoff();

    // No STARTTLS where TLS runs from the first byte.
    EXPECT_THAT(m_Server.Commands(1),
                ElementsAre("CONNECT tls", "EHLO " + m_Name, "AUTH LOGIN", "LOGIN alice accepted",
                            "MAIL FROM:<alice@example.org>", "RCPT TO:<alice@example.org>", "DATA", "QUIT"));
    EXPECT_THAT(*m_Server.Envelope(1), HasSubstr("\"user\": \"alice\""));
}

TEST_F(SmtpClientTest, ARefusedPasswordFailsTheLogonKeepsTheTextAndQuits) {
    CSMTPClient client(Options());
    EXPECT_FALSE(client.Logon("127.0.0.1", m_Server.PlainPort(), m_Server.User(), std::string("wrong")));
    EXPECT_EQ(client.m_LastError, "5.7.8 Authentication credentials invalid\r\n");
    EXPECT_EQ(client.m_Connected, 0);
    EXPECT_EQ(client.m_Authenticated, 0);
    EXPECT_FALSE(client.m_Sock.IsValid());

    const std::vector<std::string> commands = m_Server.Commands(1);
    EXPECT_THAT(commands, Contains("LOGIN alice refused"));
    EXPECT_EQ(commands.back(), "QUIT");
    // Nothing can be sent afterwards.
    CEmailMsg message = Message("alice@example.org", "alice@example.org", "x", "x");
    EXPECT_FALSE(client.SendMail(message));
    EXPECT_EQ(m_Server.MessageCount(), 0u);
}

TEST_F(SmtpClientTest, AUserIdOrPasswordLongerThanOneBase64LineStillLogsOn) {
    const std::string password(80, 'p');  // base64 of 80 bytes needs more than 76 characters
    CSmtpServer server("a-rather-long-user-name-for-one-base64-line@example.org", password);
    ASSERT_TRUE(server.Start()) << server.Error();
    CTransportOptions options = Options();
    options.m_CaFile = server.CaFile();
    CSMTPClient client(options);
    EXPECT_TRUE(client.Logon("127.0.0.1", server.PlainPort(), server.User(), password)) << client.m_LastError;
    client.Logoff();
    EXPECT_THAT(server.Commands(1), Contains("LOGIN " + server.User() + " accepted"));
}

TEST_F(SmtpClientTest, ARefusedSenderSendsNoRecipientAndKeepsTheConnection) {
    CSMTPClient client(Options());
    ASSERT_TRUE(client.Logon("127.0.0.1", m_Server.PlainPort()));
    CEmailMsg refused = Message("refused@example.com", "alice@example.org", "x", "x");
    EXPECT_FALSE(client.SendMail(refused));
    EXPECT_EQ(client.m_LastError, "550 5.7.1 Sender address rejected\r\n");
    EXPECT_EQ(client.m_Connected, 1);

    // The same connection carries the next message.
    CEmailMsg good = Message("anna@example.com", "alice@example.org", "x", "x");
    EXPECT_TRUE(client.SendMail(good)) << client.m_LastError;
    client.Logoff();
    EXPECT_THAT(m_Server.Commands(1),
                ElementsAre("CONNECT plain", "EHLO " + m_Name, "STARTTLS", "TLS", "EHLO " + m_Name,
                            "MAIL FROM:<refused@example.com>", "MAIL FROM:<anna@example.com>",
                            "RCPT TO:<alice@example.org>", "DATA", "QUIT"));
}

TEST_F(SmtpClientTest, ARefusedRecipientOrMessageFailsTheSend) {
    CSMTPClient client(Options());
    ASSERT_TRUE(client.Logon("127.0.0.1", m_Server.PlainPort()));

    CEmailMsg unknown = Message("anna@example.com", "unknown@example.org", "x", "x");
    EXPECT_FALSE(client.SendMail(unknown));
    EXPECT_EQ(client.m_LastError, "550 5.1.1 Recipient address rejected: User unknown\r\n");
    EXPECT_THAT(m_Server.Commands(1), Not(Contains("DATA")));
    EXPECT_EQ(m_Server.Commands(1).back(), "RSET");

    // A message the server refuses after the final dot is not sent either.
    client.m_ExtraHeaderLines = "X-Test-Refuse: yes\r\n";
    CEmailMsg refused = Message("anna@example.com", "alice@example.org", "x", "x");
    EXPECT_FALSE(client.SendMail(refused));
    EXPECT_EQ(client.m_LastError, "554 5.6.0 Message refused by the test\r\n");
    EXPECT_EQ(client.m_ExtraHeaderLines, "");
    client.Logoff();
    EXPECT_THAT(*m_Server.Envelope(1), HasSubstr("554"));
}

TEST_F(SmtpClientTest, ExtraHeaderLinesGoAfterTheSubjectOfOneMessageOnly) {
    CSMTPClient client(Options());
    ASSERT_TRUE(client.Logon("127.0.0.1", m_Server.PlainPort()));
    client.m_ExtraHeaderLines = "MIME-Version: 1.0\r\nContent-Type: text/html; charset=\"iso-8859-1\"\r\n";
    CEmailMsg html = Message("anna@example.com", "alice@example.org", "Offer", "<html><b>Hi</b></html>");
    ASSERT_TRUE(client.SendMail(html)) << client.m_LastError;
    EXPECT_EQ(client.m_ExtraHeaderLines, "");
    CEmailMsg plain = Message("anna@example.com", "alice@example.org", "Plain", "Hi");
    ASSERT_TRUE(client.SendMail(plain)) << client.m_LastError;
    client.Logoff();

    EXPECT_THAT(Received(1), HasSubstr("Subject:Offer\r\nMIME-Version: 1.0\r\nContent-Type: text/html; "
                                       "charset=\"iso-8859-1\"\r\n\r\n\r\n<html><b>Hi</b></html>"));
    EXPECT_THAT(Received(2), Not(HasSubstr("MIME-Version")));
}

TEST_F(SmtpClientTest, DotLinesNeitherEndTheDataNorLoseTheirDot) {
    CSMTPClient client(Options());
    ASSERT_TRUE(client.Logon("127.0.0.1", m_Server.PlainPort()));
    // Lines holding a single dot and lines that start with one are the message's own: they arrive
    // as they are.
    CEmailMsg message =
        Message("anna@example.com", "alice@example.org", "Dots", "first\r\n.\r\nsecond\r\n.hidden\r\nlast\r\n.\r\n");
    // An attachment whose text tries to end the data and start a mail of its own.
    EmailAttachment attachment;
    attachment.m_Boundary = "b1";
    attachment.m_ContentType = " text/plain";
    attachment.m_TransferEncoding = " 7bit";
    attachment.m_Description = " note.txt";
    attachment.m_Disposition = " attachment";
    const std::string smuggled = "text\r\n.\r\nMAIL FROM:<evil@example.net>\r\nRCPT TO:<victim@example.net>\r\n";
    attachment.m_Data.assign(smuggled.begin(), smuggled.end());
    message.m_Attachments.push_back(attachment);
    ASSERT_TRUE(client.SendMail(message)) << client.m_LastError;
    client.Logoff();

    ASSERT_EQ(m_Server.MessageCount(), 1u);
    EXPECT_THAT(m_Server.Commands(1), Not(Contains("MAIL FROM:<evil@example.net>")));
    const std::string received = Received(1);
    EXPECT_THAT(received, HasSubstr("\r\n\r\nfirst\r\n.\r\nsecond\r\n.hidden\r\nlast\r\n.\r\n--b1\r\n"));
    EXPECT_THAT(received, HasSubstr("\r\n\r\n" + smuggled + "--b1--\r\n"));
}

TEST_F(SmtpClientTest, AttachmentsFollowTheBodyWithoutDelimiterRemainsAndTheLastIsClosed) {
    CSMTPClient client(Options());
    ASSERT_TRUE(client.Logon("127.0.0.1", m_Server.TlsPort()));
    CEmailMsg message = Message("anna@example.com", "alice@example.org", "Files", "\nSee the files.");
    // As the body parser cuts them: up to the boundary text of the next delimiter line, so the
    // data ends with one '-' of it (two for a boundary that was not quoted).
    for (const auto& [name, data] : {std::pair{"one.txt", "aGVsbG8=\r\n-"}, std::pair{"two.txt", "d29ybGQ=\r\n--"}}) {
        EmailAttachment attachment;
        attachment.m_Boundary = "==sep==";
        attachment.m_ContentType = std::string(" text/plain; name=\"") + name + "\"";
        attachment.m_TransferEncoding = " base64";
        attachment.m_Description = std::string(" ") + name;
        attachment.m_Disposition = std::string(" attachment; filename=\"") + name + "\"";
        attachment.m_Data.assign(data, data + std::char_traits<char>::length(data));
        message.m_Attachments.push_back(attachment);
    }
    ASSERT_TRUE(client.SendMail(message)) << client.m_LastError;
    client.Logoff();

    const auto part = [](const std::string& name, const std::string& data) {
        return "--==sep==\r\nContent-Type:  text/plain; name=\"" + name +
               "\"\r\nContent-Transfer-Encoding:  base64\r\nContent-Description:  " + name +
               "\r\nContent-Disposition:  attachment; filename=\"" + name + "\"\r\n\r\n" + data;
    };
    // The values keep the blank they had after the colon, so two blanks follow each name.
    EXPECT_EQ(Received(1).substr(Received(1).find("Subject:")),
              "Subject:Files\r\nMIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"==sep==\"\r\n\r\n"
              "--==sep==\r\nContent-Type: text/plain; charset=us-ascii\r\nContent-Disposition: inline\r\n\r\n"
              "See the files.\r\n" +
                  part("one.txt", "aGVsbG8=\r\n") + part("two.txt", "d29ybGQ=\r\n") +
                  // The close delimiter after the last attachment, then the end of the data.
                  "--==sep==--\r\n");
}

// SSL/TLS speaks TLS from the first byte on any port, STARTTLS upgrades on the plain one; the
// logon works either way, with the port in the implicit-TLS list or not.
TEST_F(SmtpClientTest, TheAccountsConnectionSecurityDecidesHowTheConnectionIsProtected) {
    struct Case {
        EConnectionSecurity m_Security;
        bool m_TlsPort;
        std::vector<std::string> m_Commands;
    };
    const Case cases[] = {
        {EConnectionSecurity::kSslTls, true, {"CONNECT tls", "EHLO " + m_Name, "AUTH LOGIN", "LOGIN alice accepted", "QUIT"}},
        {EConnectionSecurity::kStartTls,
         false,
         {"CONNECT plain", "EHLO " + m_Name, "STARTTLS", "TLS", "EHLO " + m_Name, "AUTH LOGIN", "LOGIN alice accepted",
          "QUIT"}},
    };
    std::size_t connection = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(SecurityName(c.m_Security));
        CTransportOptions options = Options();
        options.m_ImplicitTlsPorts.clear();
        options.m_Security = c.m_Security;
        CSMTPClient client(options);
        ASSERT_TRUE(client.Logon("127.0.0.1", c.m_TlsPort ? m_Server.TlsPort() : m_Server.PlainPort(), m_Server.User(),
                                 m_Server.Password()))
            << client.m_LastError;
        EXPECT_TRUE(client.m_Sock.IsTls());
        client.Logoff();
        EXPECT_EQ(m_Server.Commands(++connection), c.m_Commands);
    }
}

TEST_F(SmtpClientTest, ACertificateFromAnUntrustedCaFailsTheLogonOnBothPorts) {
    for (const int port : {m_Server.PlainPort(), m_Server.TlsPort()}) {
        SCOPED_TRACE(port);
        CTransportOptions options = Options();
        options.m_CaFile = m_Server.OtherCaFile();
        CSMTPClient client(options);
        EXPECT_FALSE(client.Logon("127.0.0.1", port, m_Server.User(), m_Server.Password()));
        EXPECT_THAT(client.m_LastError, HasSubstr("certificate"));
        EXPECT_EQ(client.m_Connected, 0);
        EXPECT_FALSE(client.m_Sock.IsValid());
    }
    // The password never went out: the plain connection stopped at STARTTLS.
    EXPECT_THAT(m_Server.Commands(1), ElementsAre("CONNECT plain", "EHLO " + m_Name, "STARTTLS"));
    // The TLS port notes a connection only once its handshake has succeeded.
    EXPECT_EQ(m_Server.ConnectionCount(), 1);
}

TEST_F(SmtpClientTest, TheActivityLogHoldsTheTraceAndACopyOfTheMailAsSent) {
    test::CScopedDataFolder folder;
    SetActivityLogEnabled(true);
    {
        CSMTPClient client(Options());
        ASSERT_TRUE(client.Logon("127.0.0.1", m_Server.TlsPort(), m_Server.User(), m_Server.Password()));
        CEmailMsg message = Message("anna@example.com", "alice@example.org", "Logged", "Body text");
        ASSERT_TRUE(client.SendMail(message));
        client.Logoff();
    }
    SetActivityLogEnabled(false);
    std::string log;
    ASSERT_TRUE(ReadFileBytes(folder.File("spam.log"), log));
    for (const char* line : {
             " - CSMTPClient::Logon - entered\n",
             " - CSMTPClient::Logon - sending AUTH LOGIN info\n",
             " - CSMTPClient::Logon - sending user id:alice\n",
             " - CSMTPClient::Logon - response from pwd:235 2.7.0 Authentication successful\r\n",
             " - CSMTPClient::Logon - Authenticated.  Now leaving\n",
             " - CSMTPClient::SendMail - response from MAIL FROM:250 OK\r\n",
             " - CSMTPClient::SendMail - sent the email.  Response:250 OK: message saved\r\n",
             " - CSMTPClient::Logoff - Sent the quit command.  Num Chars sent = 6\n",
             " - CSMTPClient::Logoff - leaving\n",
         }) {
        EXPECT_THAT(log, HasSubstr(line));
    }
    // The pieces of the mail, unstamped, one after the other.
    EXPECT_THAT(log, HasSubstr("X-Mailer: Sieveclaw 1.0\r\nTo: alice@example.org\r\nSubject:Logged\r\n\r\nBody text"));
    // The password itself is never written.
    EXPECT_THAT(log, Not(HasSubstr(m_Server.Password())));
}

}  // namespace
}  // namespace sieveclaw
