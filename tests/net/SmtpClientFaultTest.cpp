#include <chrono>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "net/CSMTPClient.h"
#include "tests/support/FaultServer.h"

// The SMTP client against scripted peers: the replies a real server of this machine never
// gives (EHLO refused, STARTTLS or AUTH refused, replies cut into pieces, silence, a close).

namespace sieveclaw {
namespace {

using namespace std::chrono_literals;
using test::CFaultServer;
using test::FinishesWithin;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::MatchesRegex;
using ::testing::Not;

constexpr auto kHangGuard = 60s;

CTransportOptions Patient() {
    CTransportOptions options;
    options.m_TimeoutUnit = 1s;
    options.m_Timeout = [] { return 30; };
    return options;
}

CEmailMsg Message(std::string subject = "Hello") {
    CEmailMsg message;
    message.m_From = "anna@example.com";
    message.m_To = "alice@example.org";
    message.m_Subject = std::move(subject);
    message.m_Body = "Body";
    return message;
}

TEST(SmtpClientFaultTest, ARefusedEhloFallsBackToHeloAndA251RecipientIsAccepted) {
    const std::string name = SmtpHelloName();
    CFaultServer server;
    server.Send("220 old.example ESMTP\r\n")
        .Expect("EHLO " + name)
        .Send("500 Command unrecognized\r\n")
        .Expect("HELO " + name)
        .Send("250 old.example\r\n")
        .Expect("MAIL FROM:<anna@example.com>")
        .Send("250 OK\r\n")
        .Expect("RCPT TO:<alice@example.org>")
        .Send("251 User not local; will forward\r\n")
        .Expect("DATA")
        .Send("354 Go ahead\r\n")
        .Expect("From: anna@example.com")
        .Expect("Date: (the time of sending)")
        .Expect("X-Mailer: Sieveclaw 1.0")
        .Expect("To: alice@example.org")
        .Expect("Subject:Hello")
        .Expect("")
        .Expect("Body")
        .Expect(".")
        .Send("250 Queued\r\n")
        .Expect("QUIT")
        .Send("221 Bye\r\n");
    server.Start();

    CSMTPClient client(Patient());
    ASSERT_TRUE(client.Logon("127.0.0.1", server.Port()));
    CEmailMsg message = Message();
    EXPECT_TRUE(client.SendMail(message)) << client.m_LastError;
    client.Logoff();
    ASSERT_TRUE(server.WaitClientGone(kHangGuard));
    // The one line the script cannot know.
    EXPECT_THAT(server.Failures(),
                ElementsAre(MatchesRegex("expected 'Date: \\(the time of sending\\)\\\\r\\\\n', got "
                                         "'Date: [0-9]{2}/[0-9]{2}/[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\\\\r\\\\n'")));
}

TEST(SmtpClientFaultTest, AnOfferedStartTlsThatIsRefusedEndsTheLogonBeforeThePassword) {
    CFaultServer server;
    server.Send("220 mail.example\r\n")
        .Expect("EHLO " + SmtpHelloName())
        .Send("250-mail.example\r\n250-STARTTLS\r\n250 AUTH LOGIN\r\n")
        .Expect("STARTTLS")
        .Send("454 TLS not available due to temporary reason\r\n")
        .Expect("QUIT")
        .Send("221 Bye\r\n");
    server.Start();

    CSMTPClient client(Patient());
    EXPECT_FALSE(client.Logon("127.0.0.1", server.Port(), std::string("alice"), std::string("secret")));
    EXPECT_THAT(client.m_LastError, HasSubstr("STARTTLS"));
    EXPECT_THAT(client.m_LastError, HasSubstr("454 TLS not available"));
    EXPECT_EQ(client.m_Connected, 0);
    ASSERT_TRUE(server.WaitClientGone(kHangGuard));
    EXPECT_THAT(server.Failures(), IsEmpty());
    EXPECT_THAT(server.Received(), Not(Contains("AUTH LOGIN")));
}

// An account that asks for STARTTLS sends nothing but the greeting's EHLO (or HELO) and QUIT to a
// server that does not offer it: no user name, no password, no mail.
TEST(SmtpClientFaultTest, StartTlsRequiredButNotOfferedSendsNoSecret) {
    const std::string name = SmtpHelloName();
    for (const bool ehloRefused : {false, true}) {
        SCOPED_TRACE(ehloRefused ? "HELO only" : "EHLO without STARTTLS");
        CFaultServer server;
        server.Send("220 mail.example\r\n").Expect("EHLO " + name);
        if (ehloRefused) {
            server.Send("500 unrecognized\r\n").Expect("HELO " + name).Send("250 mail.example\r\n");
        } else {
            server.Send("250-mail.example\r\n250 AUTH LOGIN\r\n");
        }
        server.Expect("QUIT").Send("221 Bye\r\n");
        server.Start();
        CTransportOptions options = Patient();
        options.m_Security = EConnectionSecurity::kStartTls;
        CSMTPClient client(options);
        EXPECT_FALSE(client.Logon("127.0.0.1", server.Port(), std::string("alice"), std::string("secret")));
        EXPECT_THAT(client.m_LastError, HasSubstr("does not offer a secure connection (STARTTLS)"));
        EXPECT_EQ(client.m_Connected, 0);
        ASSERT_TRUE(server.WaitClientGone(kHangGuard));
        EXPECT_THAT(server.Failures(), IsEmpty());
    }
}

TEST(SmtpClientFaultTest, ARefusedAuthLoginSendsNeitherUserIdNorPassword) {
    CFaultServer server;
    server.Send("220 mail.example\r\n")
        .Expect("EHLO " + SmtpHelloName())
        .Send("250 mail.example\r\n")
        .Expect("AUTH LOGIN")
        .Send("504 5.5.4 Unrecognized authentication type\r\n")
        .Expect("QUIT")
        .Send("221 Bye\r\n");
    server.Start();

    CSMTPClient client(Patient());
    EXPECT_FALSE(client.Logon("127.0.0.1", server.Port(), std::string("alice"), std::string("secret")));
    EXPECT_EQ(client.m_LastError, "5.5.4 Unrecognized authentication type\r\n");
    ASSERT_TRUE(server.WaitClientGone(kHangGuard));
    EXPECT_THAT(server.Failures(), IsEmpty());
    EXPECT_THAT(server.Received(), ElementsAre("EHLO " + SmtpHelloName(), "AUTH LOGIN", "QUIT"));
}

TEST(SmtpClientFaultTest, RepliesCutIntoPiecesAreReadWholeAndKeepTheExchangeInStep) {
    CFaultServer server;
    server.SendSplit("220-mail.example greets you\r\n220-twice\r\n220 and once more\r\n", 5, 20ms)
        .Expect("EHLO " + SmtpHelloName())
        .SendSplit("250-mail.example\r\n250-SIZE 1000000\r\n250-8BITMIME\r\n250 HELP\r\n", 7, 20ms)
        .Expect("MAIL FROM:<anna@example.com>")
        .SendSplit("550-5.7.1 Sender refused:\r\n550 5.7.1 see the policy\r\n", 4, 20ms)
        .Expect("QUIT")
        .Send("221 Bye\r\n");
    server.Start();

    CSMTPClient client(Patient());
    ASSERT_TRUE(client.Logon("127.0.0.1", server.Port()));
    CEmailMsg message = Message();
    EXPECT_FALSE(client.SendMail(message));
    EXPECT_EQ(client.m_LastError, "550-5.7.1 Sender refused:\r\n550 5.7.1 see the policy\r\n");
    client.Logoff();
    ASSERT_TRUE(server.WaitClientGone(kHangGuard));
    EXPECT_THAT(server.Failures(), IsEmpty());
}

TEST(SmtpClientFaultTest, AServerThatClosesInsteadOfAnsweringFailsTheSendWithAReason) {
    CFaultServer server;
    server.Send("220 mail.example\r\n")
        .Expect("EHLO " + SmtpHelloName())
        .Send("250 mail.example\r\n")
        .Expect("MAIL FROM:<anna@example.com>")
        .Send("250 OK\r\n")
        .Expect("RCPT TO:<alice@example.org>")
        .Close();
    server.Start();

    CSMTPClient client(Patient());
    ASSERT_TRUE(client.Logon("127.0.0.1", server.Port()));
    CEmailMsg message = Message();
    EXPECT_FALSE(client.SendMail(message));
    EXPECT_EQ(client.m_LastError, "The server closed the connection.");
    EXPECT_EQ(client.Logoff(), 0);
}

TEST(SmtpClientFaultTest, ASilentServerCannotHoldLogoffPastTheTimeout) {
    CFaultServer server;
    server.Send("220 mail.example\r\n")
        .Expect("EHLO " + SmtpHelloName())
        .Send("250 mail.example\r\n")
        .Expect("QUIT")
        .Hold();
    server.Start();

    CTransportOptions options;
    options.m_TimeoutUnit = 300ms;
    options.m_Timeout = [] { return 1; };
    CSMTPClient client(options);
    ASSERT_TRUE(client.Logon("127.0.0.1", server.Port()));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(FinishesWithin(server, kHangGuard, [&] { client.Logoff(); }));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_FALSE(client.m_Sock.IsValid());
}

TEST(SmtpClientFaultTest, NothingIsSentWithoutALogonOrWithALineBreakInAHeaderValue) {
    CFaultServer server;
    server.Send("220 mail.example\r\n")
        .Expect("EHLO " + SmtpHelloName())
        .Send("250 mail.example\r\n")
        .Expect("QUIT")
        .Send("221 Bye\r\n");
    server.Start();

    CSMTPClient client(Patient());
    CEmailMsg message = Message();
    EXPECT_FALSE(client.SendMail(message));  // not connected

    ASSERT_TRUE(client.Logon("127.0.0.1", server.Port()));
    CEmailMsg injected = Message("Hi\r\nBcc: victim@example.net");
    EXPECT_FALSE(client.SendMail(injected));
    EXPECT_THAT(client.m_LastError, HasSubstr("line break"));
    client.Logoff();
    ASSERT_TRUE(server.WaitClientGone(kHangGuard));
    EXPECT_THAT(server.Received(), ElementsAre("EHLO " + SmtpHelloName(), "QUIT"));
}

// A server that stops reading once it said 354: the sender gives up when nothing more can be sent
// for the Timeout, or at the deadline the caller set, and sends nothing more on that connection.
TEST(SmtpClientFaultTest, AServerThatStopsReadingAfterDataCannotHoldTheSender) {
    struct Case {
        const char* m_Name;
        int m_TimeoutSeconds;
        std::chrono::seconds m_Deadline;  // 0: none
    };
    for (const Case& test : {Case{"the Timeout", 1, 0s}, Case{"the deadline", 600, 2s}}) {
        SCOPED_TRACE(test.m_Name);
        CFaultServer server;
        server.Send("220 ready\r\n")
            .Expect("EHLO " + SmtpHelloName())
            .Send("250 ok\r\n")
            .Expect("MAIL FROM:<anna@example.com>")
            .Send("250 OK\r\n")
            .Expect("RCPT TO:<alice@example.org>")
            .Send("250 OK\r\n")
            .Expect("DATA")
            .Send("354 Go ahead\r\n")
            .Gate();
        server.Start();
        CTransportOptions options;
        options.m_TimeoutUnit = 1s;
        options.m_Timeout = [&test] { return test.m_TimeoutSeconds; };
        CSMTPClient client(options);
        ASSERT_TRUE(client.Logon("127.0.0.1", server.Port()));
        if (test.m_Deadline > 0s) {
            client.SetDeadline(std::chrono::steady_clock::now() + test.m_Deadline);
        }
        // Far more than the socket buffers of both ends hold.
        CEmailMsg message = Message();
        for (int line = 0; line < 400000; ++line) {
            message.m_Body += "A line of the message that the server will never read.\r\n";
        }
        bool sent = true;
        EXPECT_TRUE(FinishesWithin(server, 30s, [&] {
            sent = client.SendMail(message);
            client.Logoff();
        }));
        EXPECT_FALSE(sent);
        EXPECT_EQ(client.m_LastError, "The server stopped taking the message before all of it was sent.");
        server.OpenGate();
        ASSERT_TRUE(server.WaitClientGone(kHangGuard));
        EXPECT_THAT(server.Received(), Not(Contains("QUIT")));
    }
}

}  // namespace
}  // namespace sieveclaw
