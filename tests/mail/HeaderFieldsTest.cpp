#include "mail/HeaderFields.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace sieveclaw {
namespace {

CEmailMsg Extracted(std::string_view block) {
    CEmailMsg message;
    ExtractHeaderFields(block, message);
    return message;
}

TEST(ExtractAddressTest, CutsAroundTheFirstAtSign) {
    EXPECT_EQ(ExtractAddress("Ann Lee <ann@example.org>"), "ann@example.org");
    EXPECT_EQ(ExtractAddress("ann@example.org"), "ann@example.org");
    // Without angle brackets the address runs to the line end: a trailing comment stays.
    EXPECT_EQ(ExtractAddress("bob@example.com (Bob)"), "bob@example.com (Bob)");
    EXPECT_EQ(ExtractAddress("bob@example.com (Bob)\r\nnext"), "bob@example.com (Bob)");
    EXPECT_EQ(ExtractAddress("bob@example.com\nnext"), "bob@example.com");
    // The nearest '<' before the at sign counts, not the first one of the text.
    EXPECT_EQ(ExtractAddress("<x> Ann <ann@example.org>"), "ann@example.org");
    // Two bracketed addresses: the first.
    EXPECT_EQ(ExtractAddress("<a@one.example>, <b@two.example>"), "a@one.example");
    // A '<' after the at sign does not start anything.
    EXPECT_EQ(ExtractAddress("ann@example.org <x"), "ann@example.org <x");
}

TEST(ExtractAddressTest, NoAtSignGivesEmpty) {
    EXPECT_EQ(ExtractAddress(""), "");
    EXPECT_EQ(ExtractAddress("undisclosed-recipients:;"), "");
    EXPECT_EQ(ExtractAddress("<no address here>"), "");
}

TEST(ExtractAddressTest, NulBytesAreData) {
    const std::string text("a\0b<c\0@d\0e>f", 12);
    EXPECT_EQ(ExtractAddress(text), std::string("c\0@d\0e", 6));
}

TEST(ExtractHeaderFieldsTest, TypicalHeaderBlock) {
    const CEmailMsg message = Extracted(
        "Return-Path: <bounce@lists.example>\r\n"
        "To: Ann Lee <ann@example.org>\r\n"
        "From: bob@example.com (Bob Smith)\r\n"
        "Subject:   Lunch on Friday?  \r\n"
        "Date: Mon, 1 Jan 2024 10:00:00 +0000\r\n"
        "\r\n");
    EXPECT_EQ(message.m_To, "ann@example.org");
    EXPECT_EQ(message.m_From, "bob@example.com (Bob Smith)");
    EXPECT_EQ(message.m_Subject, "Lunch on Friday?");
    EXPECT_EQ(message.m_Date, "Mon, 1 Jan 2024 10:00:00 +0000");
    EXPECT_TRUE(message.m_FilePath.empty());
}

TEST(ExtractHeaderFieldsTest, RecipientEdgeCases) {
    EXPECT_EQ(Extracted("X: 1\nTo: undisclosed-recipients:;\n").m_To, "");
    EXPECT_EQ(Extracted("X: 1\nTo: <a@one.example>, <b@two.example>\n").m_To, "a@one.example");
    // The first occurrence in the block wins; in a download chunk a body line counts too.
    EXPECT_EQ(Extracted("X: 1\nTo: a@first.example\nTo: b@second.example\n").m_To, "a@first.example");
    EXPECT_EQ(Extracted("line of a body\nTo: whom@it.may.concern\n").m_To, "whom@it.may.concern");
}

TEST(ExtractHeaderFieldsTest, UpperCaseSpellings) {
    CEmailMsg message;
    message.m_To = "old-to";
    message.m_From = "old-from";
    message.m_Subject = "old-subject";
    message.m_Date = "old-date";
    const std::string_view upper = "X: 1\nTO: a@b.example\nFROM: c@d.example\nSUBJECT: Hi\nDATE: today\n";
    ExtractHeaderFields(upper, message);
    // "FROM:" is only looked for while From is empty; the other three apply always.
    EXPECT_EQ(message.m_To, "a@b.example");
    EXPECT_EQ(message.m_From, "old-from");
    EXPECT_EQ(message.m_Subject, "Hi");
    EXPECT_EQ(message.m_Date, "today");

    EXPECT_EQ(Extracted(upper).m_From, "c@d.example");

    // The mixed-case spelling wins over the upper-case one wherever each stands.
    const CEmailMsg both = Extracted("X: 1\nTO: upper@x\nSUBJECT: upper\nTo: mixed@x\nSubject: mixed\n");
    EXPECT_EQ(both.m_To, "mixed@x");
    EXPECT_EQ(both.m_Subject, "mixed");
}

TEST(ExtractHeaderFieldsTest, SubjectTrimmingAndFolding) {
    EXPECT_EQ(Extracted("X: 1\r\nSubject: \t Hello there \t\r\nDate: d\r\n").m_Subject, "Hello there");
    EXPECT_EQ(Extracted("X: 1\r\nSubject: First line\r\n second line\r\n").m_Subject, "First line");
    EXPECT_EQ(Extracted("X: 1\nSubject: \v\fText\v\f\n").m_Subject, "Text");
    // An encoded subject is kept as sent.
    EXPECT_EQ(Extracted("X: 1\nSubject: =?UTF-8?B?SGk=?=\n").m_Subject, "=?UTF-8?B?SGk=?=");
    // Without a line end after it the value runs to the end of the block.
    EXPECT_EQ(Extracted("X: 1\nDate: Tue, 2 Jan 2024 ").m_Date, "Tue, 2 Jan 2024");
}

TEST(ExtractHeaderFieldsTest, EmptyValueDoesNotTakeTheNextLine) {
    // A TOP reply ends in a blank line and "."; an empty field must not read past its own line.
    const CEmailMsg message = Extracted("X: 1\r\nTo:\r\nFrom: bob@example.com\r\nSubject:\r\n\r\n.\r\n");
    EXPECT_EQ(message.m_To, "");
    EXPECT_EQ(message.m_From, "bob@example.com");
    EXPECT_EQ(message.m_Subject, "");
    EXPECT_EQ(Extracted("X: 1\nDate:   ").m_Date, "");
    // A value that starts on a folded continuation line is that line's text.
    EXPECT_EQ(Extracted("X: 1\r\nSubject:\r\n  Continued\r\nDate: d\r\n").m_Subject, "Continued");
}

TEST(ExtractHeaderFieldsTest, NamesThatAreNotRecognised) {
    CEmailMsg message;
    message.m_Subject = "kept";
    message.m_To = "kept@x";
    // The very first line has no line feed before it.
    ExtractHeaderFields("Subject: first line\nX: 1\n", message);
    // Lower case, a blank before the colon, or a name inside a line.
    ExtractHeaderFields("X: 1\nto: a@b\nTo : c@d\nX-To: e@f\n", message);
    EXPECT_EQ(message.m_Subject, "kept");
    EXPECT_EQ(message.m_To, "kept@x");
    EXPECT_EQ(message.m_From, "");
    EXPECT_EQ(message.m_Date, "");
}

TEST(ParseHeaderLineTest, SetsOnlyTheNamedField) {
    CEmailMsg message;
    EXPECT_TRUE(ParseHeaderLine("From: Bob <bob@example.com>\r\nTo: ann@example.org\r\n", message));
    EXPECT_EQ(message.m_From, "bob@example.com");
    EXPECT_EQ(message.m_To, "");
    EXPECT_TRUE(ParseHeaderLine("DATE: Mon, 1 Jan 2024\r\n", message));
    EXPECT_EQ(message.m_Date, "Mon, 1 Jan 2024");

    EXPECT_FALSE(ParseHeaderLine(" To: a@b\r\n", message));
    EXPECT_FALSE(ParseHeaderLine("subject: x\r\n", message));
    EXPECT_FALSE(ParseHeaderLine("To", message));
    EXPECT_FALSE(ParseHeaderLine("", message));
    EXPECT_EQ(message.m_To, "");
    EXPECT_EQ(message.m_Subject, "");
}

TEST(ExtractHeaderFieldsTest, HostileLongLineIsHandled) {
    // One 200 KB line without line ends, with NUL bytes inside, must be cut where the rules say.
    std::string value(100'000, 'a');
    value.push_back('\0');
    value.append(100'000, '<');
    value += "@";
    std::string block = "X: 1\nSubject: " + value;
    block.append(100'000, '\n');
    CEmailMsg message;
    ExtractHeaderFields(block, message);
    EXPECT_EQ(message.m_Subject, value);
    EXPECT_EQ(message.m_To, "");

    std::string address = "X: 1\nTo: ";
    address.append(200'000, '<');
    address += "a@";
    address.append(200'000, 'b');
    message = CEmailMsg{};
    ExtractHeaderFields(address, message);
    EXPECT_EQ(message.m_To, "a@" + std::string(200'000, 'b'));
}

// A header block arriving as a download does: two chunks, the second parsed only while a field
// is still empty. A field whose whole line (the LF before its name through the LF after its
// value) lies in one chunk must come out exactly; a field cut by the split may come out empty
// or shortened, never as anything else.
TEST(ExtractHeaderFieldsTest, BlockSplitIntoTwoChunksAtEveryOffset) {
    const std::string block =
        "Received: from mx.example by pop.example\r\n"
        "To: Ann Lee <ann@example.org>\r\n"
        "From: bob@example.com (Bob)\r\n"
        "Subject:  Quarterly report \r\n"
        "Date: Mon, 1 Jan 2024 10:00:00 +0000\r\n"
        "X-Mailer: test\r\n"
        "\r\n";
    struct Field {
        const char* m_Name;
        std::string CEmailMsg::*m_Member;
        std::string m_Expected;
    };
    const Field fields[] = {
        {"\r\nTo:", &CEmailMsg::m_To, "ann@example.org"},
        {"\r\nFrom:", &CEmailMsg::m_From, "bob@example.com (Bob)"},
        {"\r\nSubject:", &CEmailMsg::m_Subject, "Quarterly report"},
        {"\r\nDate:", &CEmailMsg::m_Date, "Mon, 1 Jan 2024 10:00:00 +0000"},
    };
    for (std::size_t split = 0; split <= block.size(); ++split) {
        const std::string_view chunk1 = std::string_view(block).substr(0, split);
        const std::string_view chunk2 = std::string_view(block).substr(split);
        CEmailMsg message;
        ExtractHeaderFields(chunk1, message);
        if (message.m_To.empty() || message.m_From.empty() || message.m_Subject.empty() || message.m_Date.empty()) {
            ExtractHeaderFields(chunk2, message);
        }
        for (const Field& field : fields) {
            const std::size_t lineStart = block.find(field.m_Name) + 1;  // the LF
            const std::size_t lineEnd = block.find('\n', lineStart + 1);
            const bool whole = lineEnd < split || lineStart >= split;
            const std::string& got = message.*field.m_Member;
            if (whole) {
                EXPECT_EQ(got, field.m_Expected) << field.m_Name << " split at " << split;
            } else {
                EXPECT_TRUE(got.empty() || field.m_Expected.starts_with(got))
                    << field.m_Name << " split at " << split << " gave '" << got << "'";
            }
        }
    }
}

}  // namespace
}  // namespace sieveclaw
