// The decision on messages as people read them: entries found only once the message is decoded,
// and the property that decoding only adds verdicts (every message the texts as they arrived make
// spam stays spam), on hand-made and on random messages.

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "filter/SpamDecision.h"
#include "mail/HeaderFields.h"
#include "tests/filter/ReferenceDecision.h"
#include "tests/support/MailText.h"

namespace sieveclaw {
namespace {

using test::Crlf;

// A message as the worker holds it after the download: raw text, header fields, body parser.
CEmailMsg Received(const std::string& text) {
    CEmailMsg message;
    message.m_RawText = text;
    message.m_Body = text;
    ExtractHeaderFields(message.m_Body, message);
    message.Process();
    return message;
}

struct Judged {
    bool m_Spam = false;
    std::string m_Reason = "kept";
};

// IsSpam, held to the plain method over the same decoded texts, and to the property that what was
// spam on the texts as they arrived stays spam.
Judged Judge(const CEmailMsg& message, const CFilterLists& lists, bool autoDelFileExts = false) {
    Judged judged;
    test::CRecordingSink sink;
    judged.m_Spam = IsSpam(message, judged.m_Reason, lists, autoDelFileExts, &sink);
    Judged plain;
    test::CRecordingSink plainSink;
    plain.m_Spam =
        test::ReferenceIsSpam(message, DecodeForDecision(message), plain.m_Reason, lists, autoDelFileExts, &plainSink);
    EXPECT_EQ(judged.m_Spam, plain.m_Spam);
    EXPECT_EQ(judged.m_Reason, plain.m_Reason);
    EXPECT_EQ(sink.m_Posts, plainSink.m_Posts);
    std::string arrivedReason;
    if (test::ReferenceIsSpam(message, arrivedReason, lists, autoDelFileExts, nullptr)) {
        EXPECT_TRUE(judged.m_Spam) << "spam as it arrived, good decoded: " << arrivedReason;
    }
    return judged;
}

std::string Header(std::string_view from, std::string_view subject, std::string_view contentType,
                   std::string_view encoding) {
    return Crlf({"Received: from mx.example", "From: " + std::string(from), "To: ann@example.org", "Subject: " + std::string(subject),
                 "Date: Mon, 2 Mar 2026 10:00:00 +0100", "Content-Type: " + std::string(contentType),
                 "Content-Transfer-Encoding: " + std::string(encoding), ""});
}

struct DecisionCase {
    const char* m_What;
    std::string m_Message;
    bool m_AutoDel;
    const char* m_Reason;  // nullptr: good
};

TEST(SpamDecisionDecodedTest, EntriesFoundOnlyOnceDecoded) {
    CFilterLists lists;
    for (const char* entry : {"viagra", "Lieferung", "casino royal", "cheap pills", "free"}) {
        lists.m_BodyList.Add(entry);
    }
    lists.m_FromList.Add("Casino");
    lists.m_Friends.Append("friend.example");
    lists.m_Exts.Append(".pif");
    const std::string plainText = "text/plain; charset=utf-8";
    const DecisionCase cases[] = {
        {"base64 body", Header("a@b.example", "hello", plainText, "base64") + "QnV5IFZpYWdyYSBub3c=\r\n", false,
         "The email contains 'viagra'"},
        {"encoded subject", Header("a@b.example", "=?UTF-8?Q?Ihre_Lieferung_f=C3=BCr_Auftrag?=", plainText, "7bit") + "hi\r\n",
         false, "The subject contains 'Lieferung'"},
        {"encoded display name", Header("=?UTF-8?B?Q2FzaW5vIEdvbGQ=?= <win@prize.example>", "hi", plainText, "7bit"), false,
         "From contains 'Casino'"},
        {"quoted-printable phrase over a soft break", Header("a@b.example", "hi", plainText, "quoted-printable") +
                                                          "Get cheap=\r\n pills here\r\n",
         false, "The email contains 'cheap pills'"},
        {"HTML word split by tags", Header("a@b.example", "hi", "text/html", "7bit") + "<p>V<b>i</b>agra</p>\r\n", false,
         "The email contains 'viagra'"},
        {"encoded attachment name", Header("a@b.example", "hi", "multipart/mixed; boundary=b", "7bit") +
                                        Crlf({"--b", "Content-Type: text/plain", "", "see attached", "--b",
                                              "Content-Type: application/octet-stream; name=\"=?UTF-8?B?cmVjaG51bmcucGlm?=\"",
                                              "Content-Transfer-Encoding: base64", "", "TVqQ", "--b--"}),
         true, "This email contains a file attachment of type '.pif'."},
        {"attachment name in nested parts", Header("a@b.example", "hi", "multipart/alternative; boundary=b", "7bit") +
                                                Crlf({"--b", "Content-Disposition: attachment; filename*=UTF-8''x%2Epif", "",
                                                      "data", "--b--"}),
         true, "This email contains a file attachment of type '.pif'."},
        // Found as it arrived and decoded: one reason, the subject's, as before.
        {"both forms", Header("a@b.example", "free offer", plainText, "base64") + "ZnJlZSBmb3IgeW91\r\n", false,
         "The subject contains 'free'"},
        // The walk in list order decides: an earlier entry found only decoded names the reason.
        {"earlier entry decoded", Header("a@b.example", "hi", plainText, "base64") + "dmlhZ3JhIQ==\r\nfree\r\n", false,
         "The email contains 'viagra'"},
        {"friend, words decoded", Header("amy@friend.example", "hi", plainText, "base64") + "dmlhZ3JhIQ==\r\n", false,
         nullptr},
        {"nothing hidden", Header("a@b.example", "=?UTF-8?Q?Gr=C3=BC=C3=9Fe?=", plainText, "base64") + "aGVsbG8=\r\n", true,
         nullptr},
    };
    for (const DecisionCase& c : cases) {
        SCOPED_TRACE(c.m_What);
        const CEmailMsg message = Received(c.m_Message);
        const Judged judged = Judge(message, lists, c.m_AutoDel);
        EXPECT_EQ(judged.m_Spam, c.m_Reason != nullptr);
        EXPECT_EQ(judged.m_Reason, c.m_Reason != nullptr ? c.m_Reason : "kept");
    }
}

// Random messages in every encoding, with entries drawn from their plain words.
class CRandomMessages {
public:
    explicit CRandomMessages(std::uint32_t series) : m_Random(series) {}

    std::size_t Below(std::size_t bound) { return m_Random() % bound; }

    std::string Word() {
        static const char* const kWords[] = {"free", "Pills", "gr\xC3\xBC\xC3\x9F" "e", "offer", "now", "x.com",
                                             "V1agra", "caf\xC3\xA9", "deal", "win", "a", "b"};
        return kWords[Below(std::size(kWords))];
    }

    std::string Words(std::size_t count) {
        std::string text;
        for (std::size_t n = 0; n < count; ++n) {
            text += Word();
            text += Below(6) == 0 ? "\r\n" : " ";
        }
        return text;
    }

    // The text in one of the ways mail sends it, and the Content-Type and encoding that say so.
    std::string Encoded(const std::string& text, std::string& type, std::string& encoding) {
        const bool html = Below(3) == 0;
        const std::string body = html ? "<p>" + text + "</p>" : text;
        type = html ? "text/html; charset=utf-8" : "text/plain; charset=utf-8";
        switch (Below(3)) {
            case 0:
                encoding = "base64";
                return Base64(body) + "\r\n";
            case 1: {
                encoding = "quoted-printable";
                std::string quoted;
                for (const char c : body) {
                    const auto byte = static_cast<unsigned char>(c);
                    quoted += byte >= 0x80 || c == '=' ? "=" + Hex(byte) : std::string(1, c);
                }
                return quoted + "\r\n";
            }
            default:
                encoding = "8bit";
                return body + "\r\n";
        }
    }

    std::string Message(std::string& words) {
        words = Words(1 + Below(12));
        const std::string subjectWords = Words(1 + Below(3));
        words += subjectWords;
        const std::string subject =
            Below(2) == 0 ? subjectWords.substr(0, subjectWords.find('\r'))
                          : "=?UTF-8?B?" + Base64(subjectWords.substr(0, subjectWords.find('\r'))) + "?=";
        const std::string from = Below(2) == 0 ? "a@b.example" : "=?UTF-8?Q?" + Word() + "?= <x@y.example>";
        std::string type;
        std::string encoding;
        const std::string body = Encoded(words, type, encoding);
        if (Below(3) != 0) {
            return Header(from, subject, type, encoding) + body;
        }
        std::string second;
        std::string secondType;
        std::string secondEncoding;
        second = Encoded(Words(1 + Below(5)), secondType, secondEncoding);
        const std::string name = Below(2) == 0 ? "=?UTF-8?Q?" + Word() + ".pif?=" : Word() + ".txt";
        return Header(from, subject, "multipart/mixed; boundary=\"m\"", "7bit") +
               Crlf({"--m", "Content-Type: multipart/alternative; boundary=\"a\"", "", "--a", "Content-Type: " + type,
                     "Content-Transfer-Encoding: " + encoding, ""}) +
               body + Crlf({"--a", "Content-Type: " + secondType, "Content-Transfer-Encoding: " + secondEncoding, ""}) +
               second + Crlf({"--a--", "--m", "Content-Type: application/octet-stream; name=\"" + name + "\"", "",
                              "AAAA", "--m--"});
    }

private:
    static std::string Hex(unsigned byte) {
        static const char kDigits[] = "0123456789ABCDEF";
        return {kDigits[byte >> 4], kDigits[byte & 15]};
    }

    static std::string Base64(const std::string& bytes) {
        static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        std::string text;
        for (std::size_t at = 0; at < bytes.size(); at += 3) {
            std::uint32_t group = 0;
            for (std::size_t i = 0; i < 3; ++i) {
                group = group << 8 | (at + i < bytes.size() ? static_cast<unsigned char>(bytes[at + i]) : 0U);
            }
            for (std::size_t i = 0; i < 4; ++i) {
                text += at + i <= bytes.size() ? kAlphabet[(group >> (18 - 6 * i)) & 63] : '=';
            }
        }
        return text;
    }

    std::mt19937 m_Random;
};

TEST(SpamDecisionDecodedTest, DecodingKeepsEveryVerdictOfTheTextsAsTheyArrived) {
    CRandomMessages random(20260302);
    int spamArrived = 0;
    int spamOnlyDecoded = 0;
    for (int round = 0; round < 1500; ++round) {
        std::string words;
        const CEmailMsg message = Received(random.Message(words));
        CFilterLists lists;
        for (std::size_t n = random.Below(6); n > 0; --n) {
            lists.m_BodyList.Add(random.Word());
        }
        if (random.Below(4) == 0) {
            lists.m_FromList.Add(random.Word());
        }
        lists.m_Exts.Append(random.Below(2) == 0 ? ".pif" : ".exe");
        const bool autoDel = random.Below(2) == 0;
        std::string reason;
        const bool arrived = test::ReferenceIsSpam(message, reason, lists, autoDel, nullptr);
        const Judged judged = Judge(message, lists, autoDel);
        ASSERT_FALSE(::testing::Test::HasFailure()) << "round " << round << "\n" << message.m_RawText;
        spamArrived += arrived ? 1 : 0;
        spamOnlyDecoded += judged.m_Spam && !arrived ? 1 : 0;
    }
    // The mix must catch messages both ways, or it proves little.
    EXPECT_GT(spamArrived, 150);
    EXPECT_GT(spamOnlyDecoded, 150);
}

}  // namespace
}  // namespace sieveclaw
