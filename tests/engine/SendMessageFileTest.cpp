#include "engine/SendMessageFile.h"

#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "core/AccountList.h"
#include "core/DataFolder.h"
#include "core/TextFile.h"
#include "mail/CEmailMsg.h"
#include "mail/MessageFiles.h"
#include "net/Base64.h"
#include "net/CSMTPClient.h"
#include "tests/engine/EngineTestSupport.h"
#include "tests/support/DovecotServer.h"
#include "tests/support/FaultServer.h"
#include "tests/support/ScopedDataFolder.h"
#include "tests/support/SmtpServer.h"

// Sending stored spam files against a real SMTP server on 127.0.0.1: salvage and bounce, with
// what arrived read back by Python's email package.

namespace sieveclaw {
namespace {

using namespace std::chrono_literals;
using test::CRecordingPrompt;
using test::CScopedDataFolder;
using test::CSmtpServer;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using ::testing::Pair;

constexpr const char* kAccountAddress = "alice@example.org";

// Prints what Python's email package makes of a received message: its content type, then per
// leaf part the content type, the file name, and whether its decoded bytes equal the file named
// after it on the command line (the text part is compared with its line ends made LF and the
// white space at both ends stripped), then the parser's complaints.
constexpr const char* kReadBack = R"(
import email, sys
message = email.message_from_bytes(open(sys.argv[1], 'rb').read())
expected = [open(path, 'rb').read() for path in sys.argv[2:]]
print(message.get_content_type())
leaves = [part for part in message.walk() if not part.is_multipart()]
for index, part in enumerate(leaves):
    data = part.get_payload(decode=True) or b''
    want = expected[index] if index < len(expected) else None
    if part.get_content_maintype() == 'text':
        data = data.replace(b'\r\n', b'\n').strip()
        want = want.replace(b'\r\n', b'\n').strip() if want is not None else None
    print(part.get_content_type(), part.get_filename(), 'same' if data == want else 'different')
print('defects:', sum(len(part.defects) for part in message.walk()))
)";

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    CLineReader reader(text);
    for (std::string_view line; reader.Next(line);) {
        lines.emplace_back(line);
    }
    return lines;
}

std::string RandomBytes(std::size_t count, unsigned stream) {
    std::mt19937 random(stream);
    std::string bytes(count, '\0');
    for (char& byte : bytes) {
        byte = static_cast<char>(random() & 0xFF);
    }
    return bytes;
}

// A stored spam message in the layout the body parser reads: the text part with one header line,
// each attachment part with four.
std::string MultipartSpam(const std::string& subject, const std::string& text, const std::string& attachment,
                          bool html = false) {
    const std::string boundary = "----=_Part_1234_5678";
    std::string encoded = Base64Encode(attachment);
    if (!encoded.ends_with("\r\n")) {
        encoded += "\r\n";
    }
    return "Return-Path: <offers@bulk.example>\r\n"
           "From: Bulk Offers <offers@bulk.example>\r\n"
           "To: Alice <alice@example.org>\r\n"
           "Subject: " +
           subject +
           "\r\n"
           "Date: Mon, 3 Jun 2024 09:14:22 +0200\r\n"
           "MIME-Version: 1.0\r\n"
           "Content-Type: multipart/mixed; boundary=\"" +
           boundary +
           "\"\r\n"
           "\r\n"
           "This is a multi-part message in MIME format.\r\n"
           "\r\n"
           "--" +
           boundary + "\r\n" +
           (html ? "Content-Type: text/html; charset=us-ascii\r\n" : "Content-Type: text/plain; charset=us-ascii\r\n") +
           "\r\n" + text +
           "\r\n"
           "--" +
           boundary +
           "\r\n"
           "Content-Type: application/octet-stream; name=\"invoice.bin\"\r\n"
           "Content-Transfer-Encoding: base64\r\n"
           "Content-Description: invoice.bin\r\n"
           "Content-Disposition: attachment; filename=\"invoice.bin\"\r\n"
           "\r\n" +
           encoded + "--" + boundary + "--\r\n";
}

std::string SinglePartSpam(const std::string& subject, const std::string& contentType, const std::string& body) {
    return "From: offers@bulk.example\r\n"
           "To: alice@example.org\r\n"
           "Subject: " +
           subject +
           "\r\n"
           "Date: Tue, 4 Jun 2024 10:00:00 +0200\r\n"
           "Content-Type: " +
           contentType +
           "\r\n"
           "\r\n" +
           body;
}

class SendMessageFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(EnsureProgramFolder());
        ASSERT_EQ(::mkdir(SpamFolder().c_str(), 0700), 0);
        m_Server.SetOfferStartTls(m_OfferStartTls);
        ASSERT_TRUE(m_Server.Start()) << m_Server.Error();
        m_Transport.m_TimeoutUnit = 1s;
        m_Transport.m_Timeout = [] { return 30; };
        m_Transport.m_CaFile = m_Server.CaFile();
        m_Transport.m_ImplicitTlsPorts = {m_Server.TlsPort()};
        AddAccount(m_Accounts, Account("Home", m_Server.PlainPort(), true));
    }

    EmailAccountInfo Account(const std::string& name, int port, bool needsLogon) const {
        EmailAccountInfo account;
        account.m_AccountName = name;
        account.m_SMTPServer = "127.0.0.1";
        account.m_SMTPPort = std::to_string(port);
        account.m_SMTPNeedsLogon = needsLogon ? 1 : 0;
        account.m_SMTPUserId = m_Server.User();
        account.m_SMTPPassword = m_Server.Password();
        account.m_EmailAddress = kAccountAddress;
        return account;
    }

    std::string StoreSpam(const std::string& raw, const std::string& account = "Home",
                          const std::string& name = "spam-1.eml") const {
        CEmailMsg message;
        message.m_RawText = raw;
        const std::string path = SpamFolder() + "/" + name;
        EXPECT_TRUE(SaveEmail(path, message, account, "'Offers' is in the From list"));
        return path;
    }

    std::string WriteFile(const std::string& name, const std::string& bytes) const {
        const std::string path = m_Folder.File(name);
        EXPECT_TRUE(WriteFileAtomically(path, bytes));
        return path;
    }

    // The received message as Python's email package reads it, compared with expected parts.
    std::vector<std::string> ReadBack(std::size_t number, const std::vector<std::string>& expectedParts) const {
        std::vector<std::string> arguments{m_Server.MessagePath(number)};
        for (std::size_t i = 0; i < expectedParts.size(); ++i) {
            arguments.push_back(WriteFile("expected-" + std::to_string(i), expectedParts[i]));
        }
        std::string error;
        const auto output = CSmtpServer::RunPython(kReadBack, arguments, error);
        EXPECT_TRUE(output.has_value()) << error;
        return Lines(output.value_or(""));
    }

    ESendOutcome Salvage(const std::string& path) {
        return SalvageSpamFile(path, m_Accounts, m_Salvaged, Recorder(), m_Prompt, m_Transport);
    }

    SendStatusFn Recorder() {
        return [this](ESendBoxLine line, const std::string& text) { m_Stages.emplace_back(line, text); };
    }

    CScopedDataFolder m_Folder;
    bool m_OfferStartTls = true;
    CSmtpServer m_Server;
    CTransportOptions m_Transport;
    CAccountList m_Accounts;
    GuardedList<MessageEntry> m_Salvaged;
    CRecordingPrompt m_Prompt;
    std::vector<std::pair<ESendBoxLine, std::string>> m_Stages;
};

TEST_F(SendMessageFileTest, ASalvagedMultipartMessageArrivesWithTheSameTextAndAttachmentBytes) {
    const std::string text = "Dear customer,\r\n\r\nyour invoice is attached.\r\n.Dotted line stays.\r\nRegards";
    const std::string attachment = RandomBytes(3000, 1);
    const std::string path = StoreSpam(MultipartSpam("Your invoice", text, attachment));

    EXPECT_EQ(Salvage(path), ESendOutcome::kSent);
    EXPECT_THAT(m_Prompt.m_Errors, IsEmpty());
    EXPECT_THAT(m_Stages, ElementsAre(Pair(ESendBoxLine::kHeadline, kSalvageHeadline),
                                      Pair(ESendBoxLine::kStatus, "Logging into your email server."),
                                      Pair(ESendBoxLine::kStatus, "Sending email..."),
                                      Pair(ESendBoxLine::kStatus, "Done.  Now logging off your email server"),
                                      Pair(ESendBoxLine::kStatus, "Done.")));

    ASSERT_EQ(m_Server.MessageCount(), 1u);
    EXPECT_THAT(*m_Server.Envelope(1), HasSubstr("\"from\": \"offers@bulk.example\", \"to\": [\"alice@example.org\"], "
                                                 "\"user\": \"alice\", \"tls\": true"));
    EXPECT_THAT(ReadBack(1, {text, attachment}),
                ElementsAre("multipart/mixed", "text/plain None same", "application/octet-stream invoice.bin same",
                            "defects: 0"));

    // The file is gone, and the filter will let the message through when it arrives again.
    EXPECT_FALSE(std::filesystem::exists(path));
    ASSERT_EQ(m_Salvaged.Count(), 1u);
    const MessageEntry entry = *m_Salvaged.GetAt(m_Salvaged.First());
    EXPECT_EQ(entry.m_To, "alice@example.org");
    EXPECT_EQ(entry.m_From, "offers@bulk.example");
    EXPECT_EQ(entry.m_Subject, "Your invoice");
    EXPECT_EQ(entry.m_Date, "Mon, 3 Jun 2024 09:14:22 +0200");
    EXPECT_EQ(entry.m_FilePath, "");
}

// Prints, per leaf part of a received message, whether its decoded bytes equal the file named
// after it on the command line, byte for byte.
constexpr const char* kExactReadBack = R"(
import email, sys
message = email.message_from_bytes(open(sys.argv[1], 'rb').read())
leaves = [part for part in message.walk() if not part.is_multipart()]
print(len(leaves), 'parts')
for index, part in enumerate(leaves):
    want = open(sys.argv[2 + index], 'rb').read() if 2 + index < len(sys.argv) else None
    print(index, 'same' if part.get_payload(decode=True) == want else 'different')
print('defects:', sum(len(part.defects) for part in message.walk()))
)";

// A multipart message whose two attachments have part headers of fields fields, folded or not.
std::string MessageWithPartHeaders(int fields, bool folded, const std::string& text, const std::string& first,
                                   const std::string& second) {
    const std::string boundary = "=_b" + std::to_string(fields);
    const auto part = [&](const std::string& name, const std::string& data) {
        const std::string lines[] = {
            "Content-Transfer-Encoding: base64\r\n",
            folded ? "Content-Type: application/octet-stream;\r\n\tname=\"" + name + "\"\r\n"
                   : "Content-Type: application/octet-stream; name=\"" + name + "\"\r\n",
            folded ? "Content-Disposition: attachment;\r\n filename=\"" + name + "\"\r\n"
                   : "Content-Disposition: attachment; filename=\"" + name + "\"\r\n",
            "Content-Description: " + name + "\r\n",
            "Content-ID: <" + name + "@example.net>\r\n",
        };
        std::string header = "--" + boundary + "\r\n";
        for (int i = 0; i < fields; ++i) {
            header += lines[i];
        }
        return header + "\r\n" + Base64Encode(data) + "\r\n";
    };
    return "From: offers@bulk.example\r\nTo: alice@example.org\r\nSubject: Parts " + std::to_string(fields) +
           "\r\nMIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"" + boundary +
           "\"\r\n\r\nPreamble.\r\n--" + boundary +
           "\r\nContent-Type: text/plain; charset=us-ascii\r\nContent-Transfer-Encoding: 7bit\r\n\r\n" + text +
           "\r\n" + part("first.bin", first) + part("second.bin", second) + "--" + boundary + "--\r\n";
}

// Salvage sends what was stored: the text with its dot lines and trailing blanks, and every
// attachment, whatever the shape of its part header; from an older copy in the wire form too.
TEST_F(SendMessageFileTest, ASalvagedMessageArrivesAsStoredWhateverItsPartHeaders) {
    const std::string text = "Dear customer,\r\n.\r\n..two dots\r\n.one dot\r\ntrailing blanks  \r\n\r\nRegards\t";
    std::size_t received = 0;
    for (const bool older : {false, true}) {
        for (int fields = 1; fields <= 5; ++fields) {
            for (const bool folded : {false, true}) {
                if (folded && fields < 2) {
                    continue;  // nothing to fold
                }
                SCOPED_TRACE(std::to_string(fields) + (folded ? " folded" : "") + (older ? " older copy" : ""));
                const std::string first = RandomBytes(57 * static_cast<std::size_t>(fields) + 1, fields);
                const std::string second = RandomBytes(300, 10 + fields);
                const std::string raw = MessageWithPartHeaders(fields, folded, text, first, second);
                std::string path = MakeMessageFileName(SpamFolder());
                if (older) {
                    path = SpamFolder() + "/" + std::to_string(123456789012 + fields) + "42.eml";
                    ASSERT_TRUE(WriteFileAtomically(path, "REASON:r\r\nACCOUNT:Home\r\n" +
                                                              test::CDovecotServer::RetrWireForm(raw)));
                } else {
                    CEmailMsg message;
                    message.m_RawText = raw;
                    ASSERT_TRUE(SaveEmail(path, message, "Home", "r"));
                }
                ASSERT_EQ(Salvage(path), ESendOutcome::kSent);
                ASSERT_EQ(m_Server.MessageCount(), ++received);
                std::vector<std::string> arguments{m_Server.MessagePath(received)};
                for (const std::string& expected : {text, first, second}) {
                    arguments.push_back(WriteFile("part-" + std::to_string(arguments.size()), expected));
                }
                std::string error;
                const auto output = CSmtpServer::RunPython(kExactReadBack, arguments, error);
                ASSERT_TRUE(output.has_value()) << error;
                EXPECT_THAT(Lines(*output), ElementsAre("3 parts", "0 same", "1 same", "2 same", "defects: 0"))
                    << *m_Server.Message(received);
            }
        }
    }
}

TEST_F(SendMessageFileTest, AnHtmlMessageArrivesAsHtmlAndAPlainOneWithoutTheExtraLines) {
    const std::string html = "<html><body><p>Big offer</p></body></html>";
    const std::string htmlPath = StoreSpam(SinglePartSpam("Offer", "text/html", html + "\r\n"), "Home", "html.eml");
    const std::string plainPath =
        StoreSpam(SinglePartSpam("Notes", "text/plain", "Just text.\r\n"), "Home", "plain.eml");
    EXPECT_EQ(Salvage(htmlPath), ESendOutcome::kSent);
    EXPECT_EQ(Salvage(plainPath), ESendOutcome::kSent);

    ASSERT_EQ(m_Server.MessageCount(), 2u);
    EXPECT_THAT(*m_Server.Message(1), HasSubstr("\r\nSubject:Offer\r\nMIME-Version: 1.0\r\n"
                                                "Content-Type: text/html; charset=\"iso-8859-1\"\r\n"));
    EXPECT_THAT(ReadBack(1, {html}), ElementsAre("text/html", "text/html None same", "defects: 0"));
    EXPECT_THAT(*m_Server.Message(2), Not(HasSubstr("MIME-Version")));
    EXPECT_THAT(*m_Server.Message(2), Not(HasSubstr("text/html")));
    EXPECT_THAT(ReadBack(2, {"Just text."}), ElementsAre("text/plain", "text/plain None same", "defects: 0"));
}

TEST_F(SendMessageFileTest, AnHtmlMessageWithAnAttachmentKeepsItsPartsApart) {
    const std::string html = "<html><body>See attached</body></html>";
    const std::string attachment = RandomBytes(500, 2);
    EXPECT_EQ(Salvage(StoreSpam(MultipartSpam("Html", html, attachment, true))), ESendOutcome::kSent);
    EXPECT_THAT(ReadBack(1, {html, attachment}),
                ElementsAre("multipart/mixed", "text/html None same", "application/octet-stream invoice.bin same",
                            "defects: 0"));
}

TEST_F(SendMessageFileTest, AnAccountWithoutSmtpLogonOnlyConnects) {
    AddAccount(m_Accounts, Account("Work", m_Server.TlsPort(), false));
    const std::string path = StoreSpam(SinglePartSpam("Hi", "text/plain", "Hello\r\n"), "Work");
    EXPECT_EQ(Salvage(path), ESendOutcome::kSent);
    ASSERT_GE(m_Stages.size(), 2u);
    EXPECT_EQ(m_Stages[1].second, "Connecting to your email server.");
    EXPECT_THAT(m_Server.Commands(1), Not(::testing::Contains("AUTH LOGIN")));
    EXPECT_THAT(*m_Server.Envelope(1), HasSubstr("\"user\": null"));
}

TEST_F(SendMessageFileTest, ARefusedLogonShowsTheServerTextAndKeepsTheFile) {
    m_Accounts.ModifyAt(m_Accounts.First(), [](EmailAccountInfo& account) { account.m_SMTPPassword = "wrong"; });
    const std::string path = StoreSpam(SinglePartSpam("Hi", "text/plain", "Hello\r\n"));
    EXPECT_EQ(Salvage(path), ESendOutcome::kNotSent);
    EXPECT_THAT(m_Stages, ElementsAre(Pair(ESendBoxLine::kHeadline, kSalvageHeadline),
                                      Pair(ESendBoxLine::kStatus, "Logging into your email server."),
                                      Pair(ESendBoxLine::kStatus, "Done.")));
    EXPECT_THAT(m_Prompt.m_Errors,
                ElementsAre("Unable to connect to your SMTP email server.  Most likely your UserId, Password or SMTP "
                            "server is incorrect.  Click Preferences to correct this.\n\nThe the following was "
                            "returned from the server: 5.7.8 Authentication credentials invalid\r\n"));
    EXPECT_TRUE(std::filesystem::exists(path));
    EXPECT_EQ(m_Salvaged.Count(), 0u);
    EXPECT_EQ(m_Server.MessageCount(), 0u);
}

TEST_F(SendMessageFileTest, AServerThatCannotBeReachedShowsTheFirstSentenceOnly) {
    const int closedPort = [] {
        test::CFaultServer gone;
        return gone.Port();
    }();
    const EmailAccountInfo account = Account("Gone", closedPort, false);
    const std::string path = StoreSpam(SinglePartSpam("Hi", "text/plain", "Hello\r\n"), "Gone");
    EXPECT_FALSE(
        SendMessageFile(path, account, kAccountAddress, "a@b.example", "Hi", "", Recorder(), m_Prompt, m_Transport));
    EXPECT_THAT(m_Prompt.m_Errors,
                ElementsAre("Unable to connect to your SMTP email server.  Most likely your UserId, Password or SMTP "
                            "server is incorrect.  Click Preferences to correct this."));
}

TEST_F(SendMessageFileTest, ARefusedRecipientIsAFailureSoTheSpamFileStays) {
    m_Accounts.ModifyAt(m_Accounts.First(),
                        [](EmailAccountInfo& account) { account.m_EmailAddress = "unknown@example.org"; });
    const std::string path = StoreSpam(SinglePartSpam("Hi", "text/plain", "Hello\r\n"));
    EXPECT_EQ(Salvage(path), ESendOutcome::kNotSent);
    EXPECT_THAT(m_Prompt.m_Errors, ElementsAre("Sieveclaw had a problem sending mail.  This was returned from the "
                                               "server: 550 5.1.1 Recipient address rejected: User unknown\r\n"));
    // The client still logs off.
    EXPECT_EQ(m_Stages.back().second, "Done.");
    EXPECT_EQ(m_Server.Commands(1).back(), "QUIT");
    EXPECT_TRUE(std::filesystem::exists(path));
    EXPECT_EQ(m_Salvaged.Count(), 0u);
}

TEST_F(SendMessageFileTest, AFileOfAnAccountNoLongerConfiguredIsLeftAlone) {
    const std::string path = StoreSpam(SinglePartSpam("Hi", "text/plain", "Hello\r\n"), "home");  // case counts
    EXPECT_EQ(Salvage(path), ESendOutcome::kNoAccount);
    EXPECT_EQ(BounceSpamFile(path, m_Accounts, Recorder(), m_Prompt, m_Transport), ESendOutcome::kNoAccount);
    EXPECT_TRUE(std::filesystem::exists(path));
    EXPECT_THAT(m_Stages, IsEmpty());
    EXPECT_EQ(m_Server.ConnectionCount(), 0);
}

TEST_F(SendMessageFileTest, ABounceSendsTheNoticeToTheSenderAndRemovesTheSpamFile) {
    const std::string path = StoreSpam(SinglePartSpam("Cheap watches", "text/plain", "Buy now\r\n"));
    EXPECT_EQ(BounceSpamFile(path, m_Accounts, Recorder(), m_Prompt, m_Transport), ESendOutcome::kSent);
    EXPECT_EQ(m_Stages.front(), std::make_pair(ESendBoxLine::kHeadline, std::string(kBounceHeadline)));
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_FALSE(std::filesystem::exists(SpamFolder() + "/bounce.eml"));

    ASSERT_EQ(m_Server.MessageCount(), 1u);
    EXPECT_THAT(*m_Server.Envelope(1), HasSubstr("\"from\": \"alice@example.org\", \"to\": [\"offers@bulk.example\"]"));
    const std::string received = *m_Server.Message(1);
    EXPECT_THAT(received, HasSubstr("\r\nSubject:Undeliverable: Cheap watches\r\n"));
    EXPECT_THAT(received, HasSubstr("To:\talice@example.org\r\nSubject:\tCheap watches\r\n"
                                    "Sent:\tTue, 4 Jun 2024 10:00:00 +0200\r\n\r\n"
                                    "did not reach the following recipient(s):\r\n\r\n"
                                    "alice@example.org on Tue, 4 Jun 2024 10:00:00 +0200\r\n"
                                    "\tThe recipient name is not recognized"));

    // A bounce that fails still removes the spam, as the Trash Can does.
    const std::string refused = StoreSpam(
        "From: unknown@bulk.example\r\nTo: alice@example.org\r\nSubject: Again\r\n\r\nBody\r\n", "Home", "spam-2.eml");
    EXPECT_EQ(BounceSpamFile(refused, m_Accounts, Recorder(), m_Prompt, m_Transport), ESendOutcome::kNotSent);
    EXPECT_FALSE(std::filesystem::exists(refused));
    EXPECT_THAT(m_Prompt.m_Errors, ElementsAre(HasSubstr("550 5.1.1 Recipient address rejected")));
}

TEST_F(SendMessageFileTest, TwoBouncesAtOnceEachSendTheirOwnNotice) {
    const std::string subjects[] = {"First offer", "Second offer"};
    std::string paths[2];
    for (int i = 0; i < 2; ++i) {
        paths[i] = StoreSpam(SinglePartSpam(subjects[i], "text/plain", "Buy\r\n"), "Home",
                             "spam-" + std::to_string(i) + ".eml");
    }
    CRecordingPrompt prompts[2];
    ESendOutcome outcomes[2];
    std::thread other([&] { outcomes[1] = BounceSpamFile(paths[1], m_Accounts, nullptr, prompts[1], m_Transport); });
    outcomes[0] = BounceSpamFile(paths[0], m_Accounts, nullptr, prompts[0], m_Transport);
    other.join();
    EXPECT_EQ(outcomes[0], ESendOutcome::kSent);
    EXPECT_EQ(outcomes[1], ESendOutcome::kSent);
    ASSERT_EQ(m_Server.MessageCount(), 2u);
    for (std::size_t number = 1; number <= 2; ++number) {
        const std::string received = *m_Server.Message(number);
        const std::string& subject = received.find("Undeliverable: First") != std::string::npos ? subjects[0] : subjects[1];
        EXPECT_THAT(received, HasSubstr("\r\n\r\nYour message\r\n\r\nTo:\talice@example.org\r\nSubject:\t" + subject));
    }
    EXPECT_TRUE(std::filesystem::is_empty(SpamFolder()));
}

TEST_F(SendMessageFileTest, TheNoticeOfAMessageWithoutDateHasEmptyFields) {
    MessageEntry stored;
    stored.m_To = "alice@example.org";
    stored.m_Subject = "Hi";
    EXPECT_EQ(BounceNoticeText(stored),
              "Your message\n\nTo:\talice@example.org\nSubject:\tHi\nSent:\t\n\ndid not reach the following "
              "recipient(s):\n\nalice@example.org on \n\tThe recipient name is not recognized");
}

// The figure of the closing note: 100 stored messages of 50 KB salvaged one after another, each
// with its own logon (AUTH LOGIN). Printed, not judged; what is judged is that all arrived.
void MeasureSalvage(const std::string& label, const std::function<ESendOutcome(const std::string&)>& salvage,
                    const CSmtpServer& server) {
    constexpr int kMessages = 100;
    // About 50 KB stored: 36 KB of attachment is 49 KB of base64, and the text around it.
    const std::string attachment = RandomBytes(36 * 1024, 3);
    std::vector<std::string> paths;
    for (int i = 0; i < kMessages; ++i) {
        CEmailMsg message;
        message.m_RawText =
            MultipartSpam("Figure " + std::to_string(i), "A stored message for the figure.", attachment);
        paths.push_back(SpamFolder() + "/figure-" + std::to_string(i) + ".eml");
        ASSERT_TRUE(SaveEmail(paths.back(), message, "Home", "figure"));
    }
    const auto fileSize = std::filesystem::file_size(paths.front());
    const auto start = std::chrono::steady_clock::now();
    int sent = 0;
    for (const std::string& path : paths) {
        sent += salvage(path) == ESendOutcome::kSent ? 1 : 0;
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(sent, kMessages);
    EXPECT_EQ(server.MessageCount(), static_cast<std::size_t>(kMessages));
    std::printf(
        "[ figure   ] salvage of %d stored messages of %zu bytes, each its own logon, %s: %.2f s (%.1f ms each)\n",
        kMessages, static_cast<std::size_t>(fileSize), label.c_str(), took.count(), took.count() * 1000 / kMessages);
}

TEST_F(SendMessageFileTest, FigureSalvageOverStartTlsAndImplicitTls) {
    MeasureSalvage(
        "STARTTLS", [this](const std::string& path) { return Salvage(path); }, m_Server);
    CSmtpServer other;
    ASSERT_TRUE(other.Start()) << other.Error();
    CTransportOptions transport = m_Transport;
    transport.m_CaFile = other.CaFile();
    transport.m_ImplicitTlsPorts = {other.TlsPort()};
    CAccountList accounts;
    AddAccount(accounts, Account("Home", other.TlsPort(), true));
    MeasureSalvage(
        "implicit TLS",
        [&](const std::string& path) {
            return SalvageSpamFile(path, accounts, m_Salvaged, nullptr, m_Prompt, transport);
        },
        other);
}

class SendMessageFilePlainTest : public SendMessageFileTest {
protected:
    SendMessageFilePlainTest() { m_OfferStartTls = false; }
};

TEST_F(SendMessageFilePlainTest, FigureSalvageInPlainText) {
    MeasureSalvage(
        "plain text", [this](const std::string& path) { return Salvage(path); }, m_Server);
    EXPECT_THAT(*m_Server.Envelope(1), HasSubstr("\"tls\": false"));
}

// The account's SMTP connection security decides, not the port: SSL/TLS on a port no list names,
// and STARTTLS required where the server offers none, which sends nothing and keeps the file.
TEST_F(SendMessageFilePlainTest, TheAccountsSmtpSecurityDecidesHowTheMessageGoesOut) {
    m_Transport.m_ImplicitTlsPorts.clear();
    EmailAccountInfo secure = Account("Secure", m_Server.TlsPort(), true);
    secure.m_SMTPSecurity = EConnectionSecurity::kSslTls;
    EmailAccountInfo required = Account("Required", m_Server.PlainPort(), true);
    required.m_SMTPSecurity = EConnectionSecurity::kStartTls;
    AddAccount(m_Accounts, secure);
    AddAccount(m_Accounts, required);

    EXPECT_EQ(Salvage(StoreSpam(SinglePartSpam("Hi", "text/plain", "Hello\r\n"), "Secure")), ESendOutcome::kSent);
    EXPECT_THAT(*m_Server.Envelope(1), HasSubstr("\"tls\": true"));

    const std::string kept = StoreSpam(SinglePartSpam("Hi", "text/plain", "Hello\r\n"), "Required", "spam-2.eml");
    EXPECT_EQ(Salvage(kept), ESendOutcome::kNotSent);
    EXPECT_TRUE(std::filesystem::exists(kept));
    EXPECT_THAT(m_Server.Commands(2), ElementsAre("CONNECT plain", "EHLO " + SmtpHelloName(), "QUIT"));
    ASSERT_FALSE(m_Prompt.m_Errors.empty());
    EXPECT_THAT(m_Prompt.m_Errors.back(), HasSubstr("STARTTLS"));
}

}  // namespace
}  // namespace sieveclaw
