#include "mail/DecodedMessage.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "mail/Charset.h"
#include "mail/EncodedWords.h"
#include "mail/HtmlText.h"
#include "mail/MimeHeader.h"
#include "mail/TransferDecoding.h"
#include "tests/support/MailText.h"

namespace sieveclaw {
namespace {

using test::Crlf;

struct TextCase {
    std::string_view m_In;
    std::string_view m_Out;
};

// The examples of RFC 2047, section 8, and the rules around them.
TEST(MessageDecodingTest, EncodedWords) {
    const TextCase cases[] = {
        {"=?US-ASCII?Q?Keith_Moore?= <moore@cs.utk.edu>", "Keith Moore <moore@cs.utk.edu>"},
        {"=?ISO-8859-1?Q?Keld_J=F8rn_Simonsen?= <keld@dkuug.dk>", "Keld J\xC3\xB8rn Simonsen <keld@dkuug.dk>"},
        {"=?ISO-8859-1?Q?Andr=E9?= Pirard <PIRARD@vm1.ulg.ac.be>", "Andr\xC3\xA9 Pirard <PIRARD@vm1.ulg.ac.be>"},
        {"=?ISO-8859-1?B?SWYgeW91IGNhbiByZWFkIHRoaXMgeW8=?=\r\n    =?ISO-8859-2?B?dSB1bmRlcnN0YW5kIHRoZSBleGFtcGxlLg==?=",
         "If you can read this you understand the example."},
        {"Nathaniel Borenstein <nsb@thumper.bellcore.com> (=?iso-8859-8?b?7eXs+SDv4SDp7Oj08A==?=)",
         "Nathaniel Borenstein <nsb@thumper.bellcore.com> (\xD7\x9D\xD7\x95\xD7\x9C\xD7\xA9 \xD7\x9F\xD7\x91 "
         "\xD7\x99\xD7\x9C\xD7\x98\xD7\xA4\xD7\xA0)"},
        {"(=?ISO-8859-1?Q?a?=)", "(a)"},
        {"(=?ISO-8859-1?Q?a?= b)", "(a b)"},
        {"(=?ISO-8859-1?Q?a?= =?ISO-8859-1?Q?b?=)", "(ab)"},
        {"(=?ISO-8859-1?Q?a?=  =?ISO-8859-1?Q?b?=)", "(ab)"},
        {"(=?ISO-8859-1?Q?a?=\r\n    =?ISO-8859-1?Q?b?=)", "(ab)"},
        {"(=?ISO-8859-1?Q?a_b?=)", "(a b)"},
        {"(=?ISO-8859-1?Q?a?= =?ISO-8859-2?Q?_b?=)", "(a b)"},
        // Lower-case encodings, and a character split between two words of one charset.
        {"=?utf-8?q?Ihre_Lieferung_f=C3=BCr_Auftrag?=", "Ihre Lieferung f\xC3\xBCr Auftrag"},
        {"=?UTF-8?B?w6k=?= =?UTF-8?Q?=E2=82?= =?UTF-8?Q?=AC?=", "\xC3\xA9\xE2\x82\xAC"},
        {"=?utf-8*de?Q?T=C3=BCr?=", "T\xC3\xBCr"},
        // Malformed words stay as they are; text around them keeps its blanks.
        {"=?utf-8?Q?no end", "=?utf-8?Q?no end"},
        {"=?utf-8?X?abc?=", "=?utf-8?X?abc?="},
        {"=?utf-8?B?a$b=?=", "=?utf-8?B?a$b=?="},
        {"=?utf-8?Q?a b?=", "=?utf-8?Q?a b?="},
        {"=??Q?a?=", "=??Q?a?="},
        {"x =?utf-8?Q?=ZZ?= y", "x =?utf-8?Q?=ZZ?= y"},
        {"plain =?utf-8?Q?word?= text", "plain word text"},
        // Undeclared 8-bit text: UTF-8 where it is, Windows-1252 elsewhere.
        {"caf\xC3\xA9 caf\xE9 \x93quoted\x94", "caf\xC3\xA9 caf\xC3\xA9 \xE2\x80\x9Cquoted\xE2\x80\x9D"},
        {"=?x-no-such-charset?Q?caf=E9?=", "caf\xC3\xA9"},
    };
    for (const TextCase& c : cases) {
        EXPECT_EQ(DecodeHeaderText(c.m_In), c.m_Out) << c.m_In;
    }
}

struct CharsetCase {
    std::string_view m_Charset;
    std::string_view m_Bytes;
    std::string_view m_Utf8;
};

TEST(MessageDecodingTest, CharsetsBecomeUtf8) {
    const CharsetCase cases[] = {
        {"utf-8", "gr\xC3\xBC\xC3\x9F \xE2\x82\xAC", "gr\xC3\xBC\xC3\x9F \xE2\x82\xAC"},
        {"UTF-8", "a\xFF" "b\xC3", "a\xEF\xBF\xBD" "b\xEF\xBF\xBD"},          // invalid bytes replaced
        {"utf-8", "\xED\xA0\x80\xC0\xAF", std::string_view("\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD")},
        {"\"ISO-8859-1\"", "Gr\xFC\xDF" "e", "Gr\xC3\xBC\xC3\x9F" "e"},
        {"iso-8859-15", "\xA4 \xBD", "\xE2\x82\xAC \xC5\x93"},
        {"windows-1252", "\x80 \x93x\x94 \x81", "\xE2\x82\xAC \xE2\x80\x9Cx\xE2\x80\x9D \xEF\xBF\xBD"},
        {"koi8-r", "\xF0\xD2\xC9\xD7\xC5\xD4", "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82"},
        {"Shift_JIS", "\x93\xFA\x96\x7B", "\xE6\x97\xA5\xE6\x9C\xAC"},
        {"gb2312", "\xD6\xD0\xCE\xC4", "\xE4\xB8\xAD\xE6\x96\x87"},
        {"shift_jis", "\x93", "\xEF\xBF\xBD"},  // a character the text ends inside
        {"us-ascii", "plain caf\xE9", "plain caf\xC3\xA9"},
        {"x-unknown-charset", "caf\xC3\xA9 caf\xE9", "caf\xC3\xA9 caf\xC3\xA9"},
        {"../../tmp/evil", "caf\xE9", "caf\xC3\xA9"},
        {"utf-8//TRANSLIT", "caf\xE9", "caf\xC3\xA9"},
    };
    for (const CharsetCase& c : cases) {
        const std::string converted = ToUtf8(c.m_Bytes, c.m_Charset);
        EXPECT_EQ(converted, c.m_Utf8) << c.m_Charset;
        EXPECT_TRUE(IsValidUtf8(converted)) << c.m_Charset;
    }
}

struct TransferCase {
    bool m_Base64;
    std::string_view m_In;
    std::string_view m_Out;
    bool m_Clean;
};

TEST(MessageDecodingTest, TransferEncodingsReadDamagedInput) {
    const TransferCase cases[] = {
        {true, "aGVs\r\nbG8=\r\n", "hello", true},
        {true, "aGVsbG8", "hello", true},          // padding missing
        {true, "aGk=aGk=", "hihi", true},          // padded blocks joined
        {true, "aGVs*bG8=", "hello", false},       // a stray byte is skipped
        {true, "aGVsbG8=\r\nQ", "hello", false},   // a lone last character makes no byte
        {false, "caf=C3=A9 =e2=82=ac", "caf\xC3\xA9 \xE2\x82\xAC", true},
        {false, "soft=\r\nbreak and soft= \r\nagain", "softbreak and softagain", true},
        {false, "trailing   \r\nblanks\t\r\n", "trailing\r\nblanks\r\n", true},
        {false, "lone equals at the end=", "lone equals at the end", true},
        {false, "a=ZZb =", "a=ZZb ", false},
        {false, "1+1=2", "1+1=2", false},
    };
    for (const TransferCase& c : cases) {
        std::string out;
        const bool clean = c.m_Base64 ? DecodeBase64(c.m_In, out) : DecodeQuotedPrintable(c.m_In, out);
        EXPECT_EQ(out, c.m_Out) << c.m_In;
        EXPECT_EQ(clean, c.m_Clean) << c.m_In;
    }
    std::string limited = "x";
    DecodeBase64("aGVsbG8gd29ybGQ=", limited, 4);
    EXPECT_EQ(limited, "xhel");
}

TEST(MessageDecodingTest, ParametersAndFileNames) {
    const TextCase names[] = {
        {"attachment; filename=\"report.pdf\"", "report.pdf"},
        {"attachment; filename=plain.txt ; size=3", "plain.txt"},
        {"attachment; filename=\"a \\\"quoted\\\" name;x.doc\"", "a \"quoted\" name;x.doc"},
        {"attachment; filename*=UTF-8''%E2%82%AC%20rates.pdf", "\xE2\x82\xAC rates.pdf"},
        {"attachment; filename*=iso-8859-1'de'Gr%FC%DFe.txt", "Gr\xC3\xBC\xC3\x9F" "e.txt"},
        {"attachment; filename*0*=UTF-8''inv%C3; filename*1*=%A9ce; filename*2=\".pif\"", "inv\xC3\xA9" "ce.pif"},
        {"attachment; filename*1=\"b.exe\"; filename*0=\"a\"", "ab.exe"},
        {"attachment; filename*0=\"a\"; filename*2=\"gap.exe\"", "a"},
        {"attachment; filename=\"old.txt\"; filename*=UTF-8''new.txt", "new.txt"},
        {"attachment; filename=\"=?UTF-8?B?cmVjaG51bmcucGlm?=\"", "rechnung.pif"},
        {"attachment; FILENAME=\"caps.txt\"", "caps.txt"},
        {"attachment", ""},
    };
    for (const TextCase& c : names) {
        EXPECT_EQ(FileNameParameter(c.m_In, "filename"), c.m_Out) << c.m_In;
    }
    EXPECT_EQ(ParameterValue("multipart/mixed;\r\n\tboundary=\"=_a;b\"; charset=x", "boundary"), "=_a;b");
    EXPECT_EQ(MediaType(" Text/HTML ; charset=utf-8"), "text/html");
}

TEST(MessageDecodingTest, HtmlBecomesWhatAReaderSees) {
    const TextCase cases[] = {
        {"<html><head><title>T</title><style>p{color:red}</style><script>var x='<b>';</script></head>"
         "<body><p>Hello&nbsp;<b>wor</b>ld</p><p>second   line</p></body></html>",
         "T\nHello world\nsecond line"},
        {"V<span>i</span>a&shy;gr\xC2\xAD" "a for &euro;5 &lt;now&gt; &#233;&#xE9;&#8203;!", "Viagra for \xE2\x82\xAC" "5 <now> \xC3\xA9\xC3\xA9!"},
        {"<a href=\"http://x.example/?a=1&amp;b=2\">click</a> here <a HREF=spam.example>x</a>",
         "click here x\nhttp://x.example/?a=1&b=2\nspam.example"},
        {"a<!-- hidden -->b <!DOCTYPE html>c 1 < 2 &unknown; & d", "ab c 1 < 2 &unknown; & d"},
        {"<table><tr><td>a</td><td>b</td></tr><tr><td>c</td></tr></table>", "a b\nc"},
        {"shown <script>never", "shown"},
        {"shown <b unterminated", "shown"},
        {"<p>one<br>two</p>", "one\ntwo"},
    };
    for (const TextCase& c : cases) {
        std::string out;
        AppendHtmlText(c.m_In, out);
        EXPECT_EQ(out, c.m_Out) << c.m_In;
    }
}

// A message built the way mail programs nest their parts.
std::string NestedMessage() {
    return Crlf({"Received: from somewhere",
                 "From: =?UTF-8?Q?J=C3=B6rg?= <joerg@example.org>",
                 "to: bob@example.com",
                 "Subject: =?ISO-8859-1?Q?Gr=FC=DFe?=",
                 " =?ISO-8859-1?Q?_aus_K=F6ln?=",
                 "Content-Type: multipart/mixed; boundary=\"outer\"",
                 "",
                 "preamble",
                 "--outer",
                 "Content-Type: multipart/alternative;",
                 "\tboundary=\"inner\"",
                 "",
                 "--inner",
                 "Content-Type: text/plain; charset=utf-8",
                 "Content-Transfer-Encoding: quoted-printable",
                 "",
                 "Gr=C3=BC=C3=9Fe",
                 "--inner",
                 "Content-Type: text/html",
                 "Content-Transfer-Encoding: base64",
                 "",
                 "PG1ldGEgY2hhcnNldD0iaXNvLTg4NTktMSI+PHA+R3L8/GU8L3A+",
                 "--inner--",
                 "--outer",
                 "Content-Type: message/rfc822",
                 "",
                 "Subject: inner",
                 "Content-Type: text/plain; charset=koi8-r",
                 "Content-Transfer-Encoding: base64",
                 "",
                 "8NLJ18XU",
                 "--outer",
                 "Content-Type: application/octet-stream; name=\"=?UTF-8?B?cmVjaG51bmcucGlm?=\"",
                 "Content-Disposition: attachment; filename*=UTF-8''rechnung.pif",
                 "Content-Transfer-Encoding: base64",
                 "",
                 "TVqQAAMAAAAEAAAA",
                 "--outer",
                 "Content-Disposition: attachment; filename=notes.txt",
                 "",
                 "plain notes",
                 "--outer--",
                 "epilogue"});
}

TEST(MessageDecodingTest, NestedPartsAreWalkedToTheirTexts) {
    const CDecodedMessage decoded = DecodeMessage("+OK 900 octets\r\n" + NestedMessage());
    EXPECT_EQ(decoded.m_From, "J\xC3\xB6rg <joerg@example.org>");
    EXPECT_EQ(decoded.m_To, "bob@example.com");
    EXPECT_EQ(decoded.m_Subject, "Gr\xC3\xBC\xC3\x9F" "e aus K\xC3\xB6ln");
    ASSERT_EQ(decoded.m_Texts.size(), 3U);  // the untyped part that names a file is a file
    EXPECT_EQ(decoded.m_Texts[0].m_MediaType, "text/plain");
    EXPECT_EQ(decoded.m_Texts[0].m_Text, "Gr\xC3\xBC\xC3\x9F" "e");
    EXPECT_EQ(decoded.m_Texts[1].m_MediaType, "text/html");
    EXPECT_EQ(decoded.m_Texts[1].m_Text, "Gr\xC3\xBC\xC3\xBC" "e");  // charset from the meta element
    EXPECT_EQ(decoded.m_Texts[2].m_Text, "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82");
    EXPECT_EQ(decoded.m_FileNames, (std::vector<std::string>{"rechnung.pif", "notes.txt"}));
    EXPECT_FALSE(decoded.m_Cut);

    const CDecodedMessage single = DecodeMessage(Crlf({"Subject: x", "", "body text"}));
    ASSERT_EQ(single.m_Texts.size(), 1U);
    EXPECT_EQ(single.m_Texts[0].m_Text, "body text\r\n");
}

TEST(MessageDecodingTest, LimitsBoundHostileMessages) {
    // Each level's boundary starts with the one before it, which must not end a part early.
    std::string deep;
    for (int level = 0; level < 50; ++level) {
        const std::string boundary = "b" + std::to_string(level);
        deep += "Content-Type: multipart/mixed; boundary=" + boundary + "\r\n\r\n--" + boundary + "\r\n";
    }
    deep += "\r\ndeepest\r\n";
    CDecodedMessage decoded = DecodeMessage(deep, CDecodeLimits{10, 1000, 1000});
    EXPECT_TRUE(decoded.m_Cut);
    EXPECT_TRUE(decoded.m_Texts.empty());
    decoded = DecodeMessage(deep, CDecodeLimits{60, 1000, 1000});
    EXPECT_FALSE(decoded.m_Cut);
    ASSERT_EQ(decoded.m_Texts.size(), 1U);
    EXPECT_EQ(decoded.m_Texts[0].m_Text, "deepest\r\n");

    std::string many = "Content-Type: multipart/mixed; boundary=b\r\n\r\n";
    for (int part = 0; part < 100; ++part) {
        many += "--b\r\n\r\npart\r\n";
    }
    decoded = DecodeMessage(many, CDecodeLimits{10, 20, 1000});
    EXPECT_TRUE(decoded.m_Cut);
    EXPECT_EQ(decoded.m_Texts.size(), 19U);  // the message itself is one of the 20

    decoded = DecodeMessage("Subject: \xC3\xA9\xC3\xA9\r\n\r\n" + std::string(100, 'x'), CDecodeLimits{10, 10, 3});
    EXPECT_TRUE(decoded.m_Cut);
    EXPECT_EQ(decoded.m_Subject, "\xC3\xA9");  // cut on a character boundary
    ASSERT_EQ(decoded.m_Texts.size(), 1U);
    EXPECT_EQ(decoded.m_Texts[0].m_Text, "x");

    // Little room left for output still leaves the structure readable.
    decoded = DecodeMessage(Crlf({"Subject: 0123456789", "Content-Type: multipart/mixed; boundary=b", "", "--b", "",
                                  "ab", "--b--"}),
                            CDecodeLimits{10, 10, 12});
    ASSERT_EQ(decoded.m_Texts.size(), 1U);
    EXPECT_EQ(decoded.m_Texts[0].m_Text, "ab");
}

TEST(MessageDecodingTest, DisplaySummaryDecodesOnlyForTheEye) {
    const MessageEntry stored{"a@b", "c@d", "=?UTF-8?Q?Caf=C3=A9?=", "Mon", "/x.eml"};
    const MessageEntry shown = DisplaySummary(stored);
    EXPECT_EQ(shown.m_Subject, "Caf\xC3\xA9");
    EXPECT_EQ(shown.m_FilePath, "/x.eml");
    EXPECT_FALSE(shown.IsSameMessage(stored));
}

}  // namespace
}  // namespace sieveclaw
