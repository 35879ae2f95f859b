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
    EXPECT_EQ(Extracted("X: 1\nTo: a@first.example\nTo: b@second.example\n").m_To, "a@first.example");
}

// Field names in any letter case, on any line of the header block and only there. Each of these
// read a lower-case or first-line header as blank (deleted as spam), or took a sender from the body.
TEST(ExtractHeaderFieldsTest, HeaderBlockOnlyAnyCaseFirstLineIncluded) {
    struct Case {
        const char* m_Block;
        const char* m_To;
        const char* m_From;
        const char* m_Subject;
        const char* m_Date;
    };
    const Case cases[] = {
        {"from: ann@example.com\r\nto: bob@example.org\r\nsubject: lunch\r\ndate: Mon\r\n\r\n", "bob@example.org",
         "ann@example.com", "lunch", "Mon"},
        {"FROM: a@x\nTo: b@y\nSUBJECT: S\nDaTe: D\n", "b@y", "a@x", "S", "D"},
        // The first field of a name wins, whatever the case of either.
        {"X: 1\nTO: upper@x\nTo: mixed@x\nsubject: first\nSubject: second\n", "upper@x", "", "first", ""},
        // The body starts after the first blank line; a line of blanks ends the header too.
        {"Subject: real\r\n\r\nFrom: body@spoof.example\r\nTo: x@y\r\n", "", "", "real", ""},
        {"Subject: real\r\n \t\r\nFrom: body@spoof.example\r\n", "", "", "real", ""},
        {"\r\nFrom: body@spoof.example\r\n", "", "", "", ""},
        // Not field names: a blank before the colon, a longer name, a name inside a line.
        {"To : c@d\nX-To: e@f\nReply-To: g@h\nResent-From: i@j\n", "", "", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.m_Block);
        const CEmailMsg message = Extracted(c.m_Block);
        EXPECT_EQ(message.m_To, c.m_To);
        EXPECT_EQ(message.m_From, c.m_From);
        EXPECT_EQ(message.m_Subject, c.m_Subject);
        EXPECT_EQ(message.m_Date, c.m_Date);
    }
    // Fields the block does not name keep what they held.
    CEmailMsg message;
    message.m_To = "kept@x";
    message.m_Subject = "kept";
    ExtractHeaderFields("From: a@b\n\nTo: body@x\nSubject: body\n", message);
    EXPECT_EQ(message.m_To, "kept@x");
    EXPECT_EQ(message.m_Subject, "kept");
    EXPECT_EQ(message.m_From, "a@b");
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

TEST(ParseHeaderLineTest, SetsOnlyTheNamedField) {
    CEmailMsg message;
    EXPECT_TRUE(ParseHeaderLine("From: Bob <bob@example.com>\r\nTo: ann@example.org\r\n", message));
    EXPECT_EQ(message.m_From, "bob@example.com");
    EXPECT_EQ(message.m_To, "");
    EXPECT_TRUE(ParseHeaderLine("DATE: Mon, 1 Jan 2024\r\n", message));
    EXPECT_EQ(message.m_Date, "Mon, 1 Jan 2024");

    EXPECT_TRUE(ParseHeaderLine("subject: x\r\n", message));
    EXPECT_EQ(message.m_Subject, "x");
    message.m_Subject.clear();
    EXPECT_FALSE(ParseHeaderLine(" To: a@b\r\n", message));
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

}  // namespace
}  // namespace sieveclaw
