#include "net/CPOP3Client.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "core/StatusSink.h"
#include "mail/CEmailMsg.h"
#include "tests/support/DovecotServer.h"

// The POP3 client against a real Dovecot on 127.0.0.1: logon over STLS and implicit TLS,
// refused passwords and certificates, headers, a large download, deletion.

namespace sieveclaw {
namespace {

using namespace std::chrono_literals;
using test::CDovecotServer;
using ::testing::HasSubstr;
using ::testing::StartsWith;

// Records every notification; the client posts from the test's own thread.
class CRecordingSink : public CStatusSink {
public:
    void PostStatus(int code, std::int64_t value) override {
        const std::lock_guard<std::mutex> lock(m_Mutex);
        m_Posts.emplace_back(code, value);
    }
    std::vector<std::int64_t> ValuesOf(int code) const {
        const std::lock_guard<std::mutex> lock(m_Mutex);
        std::vector<std::int64_t> values;
        for (const auto& [posted, value] : m_Posts) {
            if (posted == code) {
                values.push_back(value);
            }
        }
        return values;
    }

private:
    mutable std::mutex m_Mutex;  // protects m_Posts
    std::vector<std::pair<int, std::int64_t>> m_Posts;
};

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

struct StockedMessage {
    std::string m_Text;
    std::string m_To;  // the summary fields the header-field rules give for m_Text
    std::string m_From;
    std::string m_Subject;
    std::string m_Date;
};

// Real mail starts with trace fields; the four fields the client reads never stand on the
// first line.
std::vector<StockedMessage> AliceMessages() {
    return {
        {"Return-Path: <anna@example.com>\r\n"
         "Received: from mail.example.com by pop.example.org; Mon, 3 Jun 2024 09:14:27 +0200\r\n"
         "From: Anna Berger <anna@example.com>\r\n"
         "To: Alice Example <alice@example.org>\r\n"
         "Subject: Stand-up notes\r\n"
         "Date: Mon, 3 Jun 2024 09:14:22 +0200\r\n"
         "\r\n"
         "The shelving arrives on Thursday.\r\n",
         "alice@example.org", "anna@example.com", "Stand-up notes",
         "Mon, 3 Jun 2024 09:14:22 +0200"},
        {"Return-Path: <billing@supply.example.net>\n"
         "Date:   Wed, 12 Jun 2024 13:02:46 +0100  \n"
         "Subject:    Invoice NW-2024-0612   \n"
         "To: \"Alice\" <alice@example.org>, \"Second\" <second@example.org>\n"
         "From: \"Supply, Billing\" <billing@supply.example.net>\n"
         "\n"
         "Amount due: EUR 225.98\n"
         ".A line that starts with a dot\n",
         "alice@example.org", "billing@supply.example.net", "Invoice NW-2024-0612",
         "Wed, 12 Jun 2024 13:02:46 +0100"},
        {"Return-Path: <winner@claims.example.net>\r\n"
         "FROM: winner@claims.example.net (Claims Department)\r\n"
         "TO: undisclosed-recipients:;\r\n"
         "Subject: You have won\r\n"
         "\tEUR 1,500,000.00\r\n"
         "Date: Sun, 23 Jun 2024 02:09:17 +0000\r\n"
         "\r\n",
         "", "winner@claims.example.net (Claims Department)", "You have won",
         "Sun, 23 Jun 2024 02:09:17 +0000"},
    };
}

// About 2 MB: long base64-like lines, with lines that RETR must dot-stuff (a lone ".", "..",
// ".text") scattered through it.
std::string LargeMessage() {
    std::string text =
        "Return-Path: <scans@example.com>\n"
        "From: Scanner <scans@example.com>\n"
        "To: bob@example.org\n"
        "Subject: Scanned contracts\n"
        "Date: Tue, 18 Jun 2024 08:05:28 +0200\n"
        "MIME-Version: 1.0\n"
        "Content-Type: text/plain\n"
        "\n";
    const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::uint32_t state = 12345;
    for (int line = 0; text.size() < 2 * 1024 * 1024; ++line) {
        if (line % 997 == 0) {
            text += ".\n";
        } else if (line % 1009 == 0) {
            text += "..\n";
        } else if (line % 211 == 0) {
            text += ".stuffed line " + std::to_string(line) + "\n";
        } else {
            for (int i = 0; i < 76; ++i) {
                state = state * 1103515245u + 12345u;
                text += alphabet[(state >> 16) % alphabet.size()];
            }
            text += '\n';
        }
    }
    return text + "The end.\n";
}

std::vector<std::string> Texts(const std::vector<StockedMessage>& messages) {
    std::vector<std::string> texts;
    for (const StockedMessage& message : messages) {
        texts.push_back(message.m_Text);
    }
    return texts;
}

std::string NumberedMessage(const std::string& subject) {
    return "Return-Path: <tom@example.com>\nFrom: tom@example.com\nTo: someone@example.org\nSubject: " +
           subject + "\nDate: Fri, 14 Jun 2024 15:45:02 +0100\n\nBody of " + subject + "\n";
}

constexpr const char* kAlicePassword = "alice-secret";
constexpr const char* kPassword = "s3cret";

class Pop3DovecotTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_Server = std::make_unique<CDovecotServer>();
        s_Server->AddUser("alice", kAlicePassword, Texts(AliceMessages()));
        s_Server->AddUser("bob", kPassword, {LargeMessage()});
        s_Server->AddUser("carol", kPassword,
                          {NumberedMessage("carol 1"), NumberedMessage("carol 2"), NumberedMessage("carol 3")});
        s_Server->AddUser("dave", kPassword, {NumberedMessage("dave 1"), NumberedMessage("dave 2")});
        s_Server->AddUser("erin", kPassword, {NumberedMessage("erin 1")});
        s_Server->AddUser("frank", kPassword, {NumberedMessage("frank 1")});
        if (!s_Server->Start()) {
            s_StartError = "dovecot: " + s_Server->Error();
            return;
        }
        // Same CA, but the certificate names only "localhost", not 127.0.0.1.
        s_NameOnlyServer = std::make_unique<CDovecotServer>(CDovecotServer::ECertificateNames::kLocalhostOnly);
        s_NameOnlyServer->AddUser("frank", kPassword, {NumberedMessage("frank 1")});
        if (!s_NameOnlyServer->Start()) {
            s_StartError = "second dovecot: " + s_NameOnlyServer->Error();
        }
    }

    static void TearDownTestSuite() {
        s_NameOnlyServer.reset();
        s_Server.reset();
    }

    void SetUp() override {
        ASSERT_TRUE(s_StartError.empty()) << s_StartError;
        ASSERT_TRUE(s_Server->IsRunning()) << s_Server->LogTail();
        ASSERT_TRUE(s_NameOnlyServer->IsRunning()) << s_NameOnlyServer->LogTail();
    }

    // Replies that come at all come within a second; the generous Timeout only bounds a
    // client that waits for something that never comes.
    static CTransportOptions Options(const std::string& caFile) {
        CTransportOptions options;
        options.m_TimeoutUnit = 1s;
        options.m_Timeout = [] { return 30; };
        options.m_CaFile = caFile;
        options.m_ImplicitTlsPorts = {s_Server->TlsPort(), s_NameOnlyServer->TlsPort()};
        return options;
    }
    static CTransportOptions Trusting() { return Options(s_Server->CaFile()); }

    // The line dovecot wrote when the connection whose handshake failed was closed.
    static std::string HandshakeFailureLine(const CDovecotServer& server, std::size_t offset) {
        if (!server.WaitForLog("TLS handshaking", offset)) {
            return "(no handshake failure logged)\n" + server.LogTail();
        }
        const std::string log = server.LogText();
        const std::size_t at = log.find("TLS handshaking", offset);
        const std::size_t begin = log.rfind('\n', at);
        const std::size_t end = log.find('\n', at);
        return log.substr(begin == std::string::npos ? 0 : begin + 1,
                          end == std::string::npos ? std::string::npos : end - begin - 1);
    }

    static long long SizeOf(const std::vector<std::string>& texts) {
        long long size = 0;
        for (const std::string& text : texts) {
            size += static_cast<long long>(CDovecotServer::WireSize(text));
        }
        return size;
    }

    static inline std::unique_ptr<CDovecotServer> s_Server;
    static inline std::unique_ptr<CDovecotServer> s_NameOnlyServer;
    static inline std::string s_StartError;
};

// --- logon ------------------------------------------------------------------------------------

TEST_F(Pop3DovecotTest, LogonOnPlainPortUpgradesWithStlsAndReadsStats) {
    const std::size_t logStart = s_Server->LogText().size();
    CPOP3Client client(Trusting());
    ASSERT_TRUE(client.Logon("127.0.0.1", "alice", kAlicePassword, s_Server->PlainPort()))
        << client.m_LastError << "\n" << s_Server->LogTail();
    EXPECT_EQ(client.m_Connected, 1);
    EXPECT_TRUE(client.m_Sock.IsTls());
    EXPECT_THAT(client.m_Sock.TlsDescription(), StartsWith("TLSv1."));
    // The server saw the password arrive over TLS, too.
    ASSERT_TRUE(s_Server->WaitForLog("Login: user=<alice>", logStart)) << s_Server->LogTail();
    const std::string log = s_Server->LogText();
    const std::size_t login = log.find("Login: user=<alice>", logStart);
    EXPECT_THAT(log.substr(login, log.find('\n', login) - login), HasSubstr(", TLS,"));

    long long count = -1;
    long long size = -1;
    EXPECT_EQ(client.GetStats(count, size), 3);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(size, SizeOf(Texts(AliceMessages())));

    EXPECT_EQ(client.Logoff(), 0);
    EXPECT_EQ(client.m_Connected, 0);
    EXPECT_FALSE(client.m_Sock.IsValid());
}

TEST_F(Pop3DovecotTest, LogonOnImplicitTlsPortAndListSizesCountCrLf) {
    CPOP3Client client(Trusting());
    ASSERT_TRUE(client.Logon("127.0.0.1", "alice", kAlicePassword, s_Server->TlsPort()))
        << client.m_LastError << "\n" << s_Server->LogTail();
    EXPECT_TRUE(client.m_Sock.IsTls());

    long long count = 0;
    long long size = 0;
    client.GetStats(count, size);
    EXPECT_EQ(count, 3);
    const std::vector<StockedMessage> messages = AliceMessages();
    for (std::size_t i = 0; i < messages.size(); ++i) {
        EXPECT_EQ(client.GetMessageSize(static_cast<int>(i + 1)),
                  static_cast<long long>(CDovecotServer::WireSize(messages[i].m_Text)))
            << "message " << i + 1;
    }
    client.Logoff();
}

// SSL/TLS speaks TLS from the first byte on any port (here one the implicit-TLS list does not
// name), STARTTLS upgrades on the plain port; the password reaches the server over TLS either way.
TEST_F(Pop3DovecotTest, TheAccountsConnectionSecurityDecidesHowTheConnectionIsProtected) {
    for (const EConnectionSecurity security : {EConnectionSecurity::kSslTls, EConnectionSecurity::kStartTls}) {
        SCOPED_TRACE(SecurityName(security));
        const std::size_t logStart = s_Server->LogText().size();
        CTransportOptions options = Trusting();
        options.m_ImplicitTlsPorts.clear();
        options.m_Security = security;
        CPOP3Client client(options);
        const int port = security == EConnectionSecurity::kSslTls ? s_Server->TlsPort() : s_Server->PlainPort();
        ASSERT_TRUE(client.Logon("127.0.0.1", "alice", kAlicePassword, port)) << client.m_SessionError;
        EXPECT_TRUE(client.m_Sock.IsTls());
        client.Logoff();
        EXPECT_TRUE(client.m_QuitAccepted);
        ASSERT_TRUE(s_Server->WaitForLog("Login: user=<alice>", logStart)) << s_Server->LogTail();
        const std::string log = s_Server->LogText();
        const std::size_t login = log.find("Login: user=<alice>", logStart);
        EXPECT_THAT(log.substr(login, log.find('\n', login) - login), HasSubstr(", TLS"));
    }
}

TEST_F(Pop3DovecotTest, WrongPasswordKeepsServerTextAndNextLogonSucceeds) {
    {
        CPOP3Client client(Trusting());
        EXPECT_FALSE(client.Logon("127.0.0.1", "alice", "not-the-password", s_Server->PlainPort()));
        EXPECT_EQ(client.m_LastError, " [AUTH] Authentication failed.\r\n");
        EXPECT_EQ(client.m_Connected, 0);
        EXPECT_FALSE(client.m_Sock.IsValid());
    }
    CPOP3Client again(Trusting());
    EXPECT_TRUE(again.Logon("127.0.0.1", "alice", kAlicePassword, s_Server->PlainPort()))
        << again.m_LastError;
    again.Logoff();
}

TEST_F(Pop3DovecotTest, UnknownCaFailsLogonBeforeUserNameIsSent) {
    for (const int port : {s_Server->PlainPort(), s_Server->TlsPort()}) {
        SCOPED_TRACE(port == s_Server->PlainPort() ? "STLS on the plain port" : "implicit TLS");
        const std::size_t logStart = s_Server->LogText().size();
        CPOP3Client client(Options(s_Server->OtherCaFile()));
        EXPECT_FALSE(client.Logon("127.0.0.1", "frank", kPassword, port));
        EXPECT_EQ(client.m_Connected, 0);
        EXPECT_FALSE(client.m_Sock.IsTls());
        EXPECT_THAT(Lower(client.m_LastError), HasSubstr("certificate"));
        EXPECT_THAT(Lower(client.m_LastError), HasSubstr("verif"));
        EXPECT_THAT(client.m_LastError, HasSubstr("local issuer"));

        const std::string line = HandshakeFailureLine(*s_Server, logStart);
        EXPECT_THAT(line, HasSubstr("no auth attempts"));
        EXPECT_THAT(line, HasSubstr("unknown ca"));
        // Neither USER nor PASS reached the server.
        EXPECT_EQ(s_Server->LogText().find("frank", logStart), std::string::npos) << s_Server->LogTail();
    }
}

TEST_F(Pop3DovecotTest, CertificateNotNamingTheAddressFailsLogon) {
    for (const int port : {s_NameOnlyServer->PlainPort(), s_NameOnlyServer->TlsPort()}) {
        SCOPED_TRACE(port == s_NameOnlyServer->PlainPort() ? "STLS on the plain port" : "implicit TLS");
        const std::size_t logStart = s_NameOnlyServer->LogText().size();
        CPOP3Client client(Options(s_NameOnlyServer->CaFile()));
        EXPECT_FALSE(client.Logon("127.0.0.1", "frank", kPassword, port));
        EXPECT_EQ(client.m_Connected, 0);
        EXPECT_THAT(Lower(client.m_LastError), HasSubstr("certificate"));
        EXPECT_THAT(Lower(client.m_LastError), HasSubstr("mismatch"));

        const std::string line = HandshakeFailureLine(*s_NameOnlyServer, logStart);
        EXPECT_THAT(line, HasSubstr("no auth attempts"));
        EXPECT_EQ(s_NameOnlyServer->LogText().find("frank", logStart), std::string::npos)
            << s_NameOnlyServer->LogTail();
    }
}

// The certificate the user chose to trust stands in for the CA and the name check, and is the only
// one accepted: the same key's other certificate is refused as changed, before the user name.
TEST_F(Pop3DovecotTest, ATrustedCertificateIsAcceptedAloneAndARefusalNamesItsFingerprint) {
    std::vector<std::string> refused;
    const auto untrusting = [&refused](const std::string& pin) {
        CTransportOptions options = Options(s_Server->OtherCaFile());
        options.m_TrustedCertificate = pin;
        options.m_OnCertificateRefused = [&refused](const std::string& fingerprint) { refused.push_back(fingerprint); };
        return options;
    };
    {
        CPOP3Client client(untrusting(""));
        EXPECT_FALSE(client.Logon("127.0.0.1", "alice", kAlicePassword, s_Server->TlsPort()));
    }
    ASSERT_EQ(refused.size(), 1U);
    const std::string pin = refused[0];
    EXPECT_THAT(pin, ::testing::MatchesRegex("([0-9A-F]{2}:){31}[0-9A-F]{2}"));

    for (const int port : {s_Server->PlainPort(), s_Server->TlsPort()}) {
        CPOP3Client client(untrusting(Lower(pin)));  // letter case does not count
        EXPECT_TRUE(client.Logon("127.0.0.1", "alice", kAlicePassword, port)) << client.m_LastError;
        client.Logoff();
    }
    EXPECT_EQ(refused.size(), 1U);

    const std::size_t logStart = s_NameOnlyServer->LogText().size();
    CPOP3Client changed(untrusting(pin));
    EXPECT_FALSE(changed.Logon("127.0.0.1", "frank", kPassword, s_NameOnlyServer->TlsPort()));
    ASSERT_EQ(refused.size(), 2U);
    EXPECT_NE(refused[1], pin);
    EXPECT_THAT(changed.m_LastError, HasSubstr("has changed"));
    EXPECT_THAT(changed.m_LastError, HasSubstr(pin));
    EXPECT_THAT(changed.m_LastError, HasSubstr(refused[1]));
    EXPECT_EQ(s_NameOnlyServer->LogText().find("frank", logStart), std::string::npos);
}

// --- headers and messages ---------------------------------------------------------------------

TEST_F(Pop3DovecotTest, TopFillsSummaryFieldsOfEachMessage) {
    CPOP3Client client(Trusting());
    ASSERT_TRUE(client.Logon("127.0.0.1", "alice", kAlicePassword, s_Server->PlainPort())) << client.m_LastError;
    const std::vector<StockedMessage> messages = AliceMessages();
    for (std::size_t i = 0; i < messages.size(); ++i) {
        SCOPED_TRACE("message " + std::to_string(i + 1));
        CEmailMsg message;
        client.GetHeader(static_cast<int>(i + 1), message);
        EXPECT_EQ(message.m_To, messages[i].m_To);
        EXPECT_EQ(message.m_From, messages[i].m_From);
        EXPECT_EQ(message.m_Subject, messages[i].m_Subject);
        EXPECT_EQ(message.m_Date, messages[i].m_Date);
        EXPECT_TRUE(message.m_RawText.empty());
    }
    EXPECT_TRUE(client.m_LastError.empty()) << client.m_LastError;

    CEmailMsg untouched;
    untouched.m_Subject = "kept";
    client.GetHeader(99, untouched);
    EXPECT_EQ(untouched.m_Subject, "kept");
    EXPECT_THAT(client.m_LastError, StartsWith("-ERR"));

    // The connection is still in step: the next command gets its own answer.
    long long count = 0;
    long long size = 0;
    EXPECT_EQ(client.GetStats(count, size), 3);
    client.Logoff();
}

TEST_F(Pop3DovecotTest, RetrOfTwoMegabytesArrivesAsTheServerHoldsItAndReportsProgress) {
    const std::string text = LargeMessage();
    const std::string held = CDovecotServer::HeldForm(text);
    CRecordingSink sink;
    CPOP3Client client(Trusting());
    client.SetNotifyWindow(&sink);
    ASSERT_TRUE(client.Logon("127.0.0.1", "bob", kPassword, s_Server->PlainPort())) << client.m_LastError;
    EXPECT_EQ(client.GetMessageSize(1), static_cast<long long>(CDovecotServer::WireSize(text)));

    CEmailMsg message;
    EXPECT_TRUE(client.GetMessage(1, message)) << client.m_SessionError;
    EXPECT_EQ(client.m_Connected, 1);
    ASSERT_EQ(message.m_RawText.size(), held.size());
    const auto differ = std::mismatch(held.begin(), held.end(), message.m_RawText.begin());
    EXPECT_TRUE(differ.first == held.end()) << "first difference at byte " << (differ.first - held.begin());
    EXPECT_TRUE(message.m_Body == message.m_RawText);
    EXPECT_EQ(message.m_Subject, "Scanned contracts");
    EXPECT_EQ(message.m_From, "scans@example.com");

    const std::vector<std::int64_t> progress = sink.ValuesOf(kStatusBytesDownloaded);
    ASSERT_FALSE(progress.empty());
    EXPECT_GT(progress.size(), 1u);
    EXPECT_TRUE(std::adjacent_find(progress.begin(), progress.end(),
                                   [](std::int64_t a, std::int64_t b) { return b <= a; }) == progress.end())
        << "progress did not rise with every chunk";
    EXPECT_EQ(progress.back(), static_cast<std::int64_t>(held.size()));

    // Nothing of the message is left over to be read as the next reply.
    long long count = 0;
    long long size = 0;
    EXPECT_EQ(client.GetStats(count, size), 1);
    client.Logoff();
    EXPECT_TRUE(client.m_QuitAccepted);
}

// --- deletion ---------------------------------------------------------------------------------

TEST_F(Pop3DovecotTest, DeleteThenQuitRemovesTheMessage) {
    ASSERT_EQ(s_Server->MessageCount("carol"), 3);
    {
        CPOP3Client client(Trusting());
        ASSERT_TRUE(client.Logon("127.0.0.1", "carol", kPassword, s_Server->PlainPort())) << client.m_LastError;
        client.DeleteMessage(2);
        EXPECT_TRUE(client.m_LastError.empty()) << client.m_LastError;
        client.Logoff();
    }
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (s_Server->MessageCount("carol") != 2 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(20ms);
    }
    EXPECT_EQ(s_Server->MessageCount("carol"), 2);

    CPOP3Client client(Trusting());
    ASSERT_TRUE(client.Logon("127.0.0.1", "carol", kPassword, s_Server->PlainPort())) << client.m_LastError;
    long long count = 0;
    long long size = 0;
    EXPECT_EQ(client.GetStats(count, size), 2);
    CEmailMsg first;
    CEmailMsg second;
    client.GetHeader(1, first);
    client.GetHeader(2, second);
    EXPECT_EQ(first.m_Subject, "carol 1");
    EXPECT_EQ(second.m_Subject, "carol 3");
    client.Logoff();
}

TEST_F(Pop3DovecotTest, DeleteWithoutQuitKeepsTheMessage) {
    ASSERT_EQ(s_Server->MessageCount("dave"), 2);
    {
        CPOP3Client client(Trusting());
        ASSERT_TRUE(client.Logon("127.0.0.1", "dave", kPassword, s_Server->PlainPort())) << client.m_LastError;
        client.DeleteMessage(1);
        EXPECT_TRUE(client.m_LastError.empty()) << client.m_LastError;
        client.DeleteMessage(99);
        EXPECT_THAT(client.m_LastError, HasSubstr("no message 99"));
        // Destroyed without Logoff: no QUIT, so the server must not expunge.
    }
    CPOP3Client client(Trusting());
    ASSERT_TRUE(client.Logon("127.0.0.1", "dave", kPassword, s_Server->PlainPort())) << client.m_LastError;
    long long count = 0;
    long long size = 0;
    EXPECT_EQ(client.GetStats(count, size), 2);
    CEmailMsg first;
    client.GetHeader(1, first);
    EXPECT_EQ(first.m_Subject, "dave 1");
    client.Logoff();
    EXPECT_EQ(s_Server->MessageCount("dave"), 2);
}

TEST_F(Pop3DovecotTest, MessageDeliveredBetweenLogonsIsCountedNext) {
    CPOP3Client before(Trusting());
    ASSERT_TRUE(before.Logon("127.0.0.1", "erin", kPassword, s_Server->PlainPort())) << before.m_LastError;
    long long count = 0;
    long long size = 0;
    EXPECT_EQ(before.GetStats(count, size), 1);
    before.Logoff();

    ASSERT_TRUE(s_Server->AddMessage("erin", NumberedMessage("erin 2"))) << s_Server->Error();
    CPOP3Client after(Trusting());
    ASSERT_TRUE(after.Logon("127.0.0.1", "erin", kPassword, s_Server->PlainPort())) << after.m_LastError;
    EXPECT_EQ(after.GetStats(count, size), 2);
    EXPECT_EQ(size, static_cast<long long>(CDovecotServer::WireSize(NumberedMessage("erin 1")) +
                                           CDovecotServer::WireSize(NumberedMessage("erin 2"))));
    CEmailMsg added;
    after.GetHeader(2, added);
    EXPECT_EQ(added.m_Subject, "erin 2");
    after.Logoff();
}

}  // namespace
}  // namespace sieveclaw
