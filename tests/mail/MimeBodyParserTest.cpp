#include "mail/CEmailMsg.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <regex>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "core/ActivityLog.h"
#include "core/DataFolder.h"
#include "mail/MessageFiles.h"
#include "tests/support/MailText.h"
#include "tests/support/ScopedDataFolder.h"

namespace sieveclaw {
namespace {

namespace fs = std::filesystem;

using test::Crlf;

CEmailMsg Processed(std::string text) {
    CEmailMsg message;
    message.m_Body = std::move(text);
    message.Process();
    return message;
}

std::string DataText(const EmailAttachment& attachment) {
    return std::string(attachment.m_Data.begin(), attachment.m_Data.end());
}

std::string ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// Control characters and backslashes escaped, so that a summary is one line per field.
std::string Escaped(std::string_view text) {
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (byte < 0x20 || byte >= 0x7f) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", byte);
            out += hex;
        } else {
            out += c;
        }
    }
    return out;
}

std::string AttachmentSummary(const std::vector<EmailAttachment>& attachments) {
    std::string text;
    int number = 0;
    for (const EmailAttachment& attachment : attachments) {
        text += "[attachment " + std::to_string(++number) + "]\n";
        text += "Content-Type:" + Escaped(attachment.m_ContentType) + "\n";
        text += "Content-Transfer-Encoding:" + Escaped(attachment.m_TransferEncoding) + "\n";
        text += "Content-Description:" + Escaped(attachment.m_Description) + "\n";
        text += "Content-Disposition:" + Escaped(attachment.m_Disposition) + "\n";
        text += "Boundary:" + Escaped(attachment.m_Boundary) + "\n";
        text += "Data:" + Escaped(DataText(attachment)) + "\n";
    }
    return text;
}

// ---- Golden messages: <name>.eml in, <name>.body and <name>.attachments expected ----

class MimeGoldenTest : public ::testing::TestWithParam<const char*> {};

TEST_P(MimeGoldenTest, MatchesExpectedBodyAndAttachments) {
    const fs::path folder = fs::path(__FILE__).parent_path() / "golden";
    const std::string name = GetParam();
    const std::string input = ReadBytes(folder / (name + ".eml"));
    ASSERT_FALSE(input.empty()) << "missing " << (folder / (name + ".eml"));
    ASSERT_NE(input.find("\r\n"), std::string::npos) << "line ends were converted";

    const CEmailMsg message = Processed(input);
    EXPECT_EQ(Escaped(message.m_Body), Escaped(ReadBytes(folder / (name + ".body"))));
    EXPECT_EQ(AttachmentSummary(message.m_Attachments), ReadBytes(folder / (name + ".attachments")));
}

// The windows parse the copy in the message file: the message split into lines, each trimmed, and
// joined again behind the ACCOUNT line. It must come apart the same way.
TEST_P(MimeGoldenTest, StoredCopyParsesAlike) {
    const fs::path folder = fs::path(__FILE__).parent_path() / "golden";
    const std::string name = GetParam();
    test::CScopedDataFolder data;
    ClearInboxFolder();
    CEmailMsg received;
    received.m_RawText = ReadBytes(folder / (name + ".eml"));
    const auto path = SaveEmailToFolder(InboxFolder(), received, "Home", "");
    ASSERT_TRUE(path.has_value());

    CEmailMsg stored;
    LoadMessageText(*path, stored);
    stored.Process();
    EXPECT_EQ(Escaped(stored.m_Body), Escaped(ReadBytes(folder / (name + ".body"))));
    EXPECT_EQ(AttachmentSummary(stored.m_Attachments), ReadBytes(folder / (name + ".attachments")));
}

INSTANTIATE_TEST_SUITE_P(Samples, MimeGoldenTest,
                         ::testing::Values("plain", "html", "multipart_attachments", "folded_header",
                                           "unquoted_boundary"));

// ---- Single-part messages ----

TEST(ProcessSinglePartTest, EmptyMessageIsLeftAlone) {
    CEmailMsg message;
    message.m_Attachments.emplace_back();
    message.Process();
    EXPECT_TRUE(message.m_Body.empty());
    EXPECT_EQ(message.m_Attachments.size(), 1u);
}

TEST(ProcessSinglePartTest, BodyStartsAfterTheSecondLineFeedFromContentType) {
    // "Multipart/Mixed" is not the lower-case spelling, so the message counts as one part.
    EXPECT_EQ(
        Processed("To: a@b\r\nContent-Type: Multipart/Mixed; boundary=\"x\"\r\nX: y\r\n\r\nbody\r\n--x\r\n").m_Body,
        "\r\nbody\r\n--x\r\n");
    // Without any Content-Type the count starts at the top of the text.
    EXPECT_EQ(Processed("Subject: s\nFrom: f\n\nline one\n").m_Body, "\nline one\n");
    // Fewer than two line feeds: nothing is left.
    EXPECT_EQ(Processed("Subject: s\r\nContent-Type: text/plain\r\n").m_Body, "");
    EXPECT_EQ(Processed("no line breaks at all").m_Body, "");
}

TEST(ProcessSinglePartTest, HtmlBodyIsTheDocumentOnly) {
    const CEmailMsg message =
        Processed(Crlf({"Content-Type: text/html", "Content-Transfer-Encoding: quoted-printable", "", "preamble",
                        "<HTML><font color=3D\"#3D0000\">a=20b=09c=", "d</font></HTML>", "after"}));
    EXPECT_EQ(message.m_Body, "<HTML><font color=\"#0000\">abcd</font></HTML>");
    // Without a closing tag the document runs to two characters before the end of the text.
    EXPECT_EQ(Processed("Content-Type: text/html\r\n\r\n<html><p>cut short\r\n").m_Body, "<html><p>cut short");
}

// ---- Multipart messages ----

constexpr std::string_view kMixedHeader = "Content-Type: multipart/mixed; boundary=\"b1\"\r\n\r\n";

TEST(ProcessMultipartTest, TextPartOnlyKeepsTheWholeMessage) {
    // Without a closing delimiter there is no third occurrence; with one, the closing delimiter is
    // read as a part that has no data start. Either way nothing is taken apart.
    const std::string open = std::string(kMixedHeader) + Crlf({"--b1", "Content-Type: text/plain", "", "hello"});
    for (const std::string& text : {open, open + "--b1--\r\n"}) {
        const CEmailMsg message = Processed(text);
        EXPECT_EQ(message.m_Body, text);
        EXPECT_TRUE(message.m_Attachments.empty());
    }
}

TEST(ProcessMultipartTest, NoDelimiterLinesGiveAnEmptyBodyAndOneDatalessRecord) {
    // The boundary occurs only as the parameter: that occurrence is read as a part whose data has
    // no end.
    const CEmailMsg message =
        Processed(std::string(kMixedHeader) + Crlf({"one", "two", "three", "four", "five", "six"}));
    EXPECT_EQ(message.m_Body, "");
    ASSERT_EQ(message.m_Attachments.size(), 1u);
    EXPECT_TRUE(message.m_Attachments[0].m_Data.empty());
    EXPECT_EQ(message.m_Attachments[0].m_Boundary, "b1");
}

TEST(ProcessMultipartTest, HtmlAnywhereBecomesTheBody) {
    const CEmailMsg message =
        Processed(std::string(kMixedHeader) +
                  Crlf({"--b1", "Content-Type: text/html", "", "<html>x=3D1</html>", "--b1", "Content-Type: image/png",
                        "Content-Transfer-Encoding: base64", "Content-Disposition: inline", "Content-ID: <i1>", "",
                        "iVBORw0KGgo=", "--b1--"}));
    EXPECT_EQ(message.m_Body, "<html>x=1</html>");
    ASSERT_EQ(message.m_Attachments.size(), 1u);
    EXPECT_EQ(message.m_Attachments[0].m_ContentType, " image/png");
    EXPECT_EQ(DataText(message.m_Attachments[0]), "iVBORw0KGgo=\r\n-");
}

TEST(ProcessMultipartTest, PartWithoutDataStartKeepsTheWholeMessage) {
    // The second attachment is cut off after three lines: the first one stays listed.
    const std::string text =
        std::string(kMixedHeader) + Crlf({"--b1", "Content-Type: text/plain", "", "hi", "--b1",
                                          "Content-Type: text/plain", "Content-Disposition: attachment", "X: 1", "X: 2",
                                          "", "first", "--b1", "Content-Type: text/plain", "X: 3", "--b1"});
    const CEmailMsg message = Processed(text);
    EXPECT_EQ(message.m_Body, text);
    ASSERT_EQ(message.m_Attachments.size(), 1u);
    EXPECT_EQ(DataText(message.m_Attachments[0]), "first\r\n-");
}

TEST(ProcessMultipartTest, LastPartWithoutClosingDelimiterHasNoData) {
    const CEmailMsg message =
        Processed(std::string(kMixedHeader) + Crlf({"--b1", "Content-Type: text/plain", "", "hi", "--b1",
                                                    "Content-Type: a/b", "X: 1", "X: 2", "X: 3", "", "never ends"}));
    EXPECT_EQ(message.m_Body, "\nhi");
    ASSERT_EQ(message.m_Attachments.size(), 1u);
    EXPECT_EQ(message.m_Attachments[0].m_ContentType, " a/b");
    EXPECT_TRUE(message.m_Attachments[0].m_Data.empty());
}

TEST(ProcessMultipartTest, BoundaryRightAtTheDataStartGivesEmptyData) {
    // The unquoted "x--cutx" leaves "--cut", which starts the delimiter line itself.
    const CEmailMsg message = Processed(Crlf({"Content-Type: multipart/mixed; boundary=x--cutx",
                                              "",
                                              "--cut",
                                              "Content-Type: text/plain",
                                              "",
                                              "hi",
                                              "--cut",
                                              "Content-Type: a/b",
                                              "X: 1",
                                              "X: 2",
                                              "X: 3",
                                              "",
                                              "--cut",
                                              "Content-Type: c/d",
                                              "X: 1",
                                              "X: 2",
                                              "X: 3",
                                              "",
                                              "data",
                                              "--cut--"}));
    ASSERT_EQ(message.m_Attachments.size(), 2u);
    EXPECT_TRUE(message.m_Attachments[0].m_Data.empty());
    EXPECT_EQ(message.m_Attachments[1].m_ContentType, " c/d");
    EXPECT_EQ(DataText(message.m_Attachments[1]), "data\r");
}

TEST(ProcessMultipartTest, MissingOrEmptyBoundaryReadsOnePart) {
    for (const std::string_view parameter : {"", "; boundary=\"\"", "; BOUNDARY=q"}) {
        SCOPED_TRACE(parameter);
        const CEmailMsg message =
            Processed("Content-Type: multipart/mixed" + std::string(parameter) + "\r\nX: 1\r\n\r\nbody\r\n");
        EXPECT_EQ(message.m_Body, "\r\nbody\r\n");
        EXPECT_TRUE(message.m_Attachments.empty());
    }
}

// ---- GetContentStr ----

TEST(GetContentStrTest, ValueKeepsItsBlankAndStopsAtTheFirstCr) {
    CEmailMsg message;
    message.m_Body = "--b\r\nContent-Type: text/plain;\r\n\tname=\"a.txt\"\r\n";
    EXPECT_EQ(message.GetContentStr(0, "Content-Type:", false, true), " text/plain;");
    EXPECT_EQ(message.GetContentStr(0, "content-type:", false, true), "");
    EXPECT_EQ(message.GetContentStr(0, "content-type:", false, false), " text/plain;");
    EXPECT_EQ(message.GetContentStr(0, "Content-ID:", false, true), "");
    // A bare LF does not end a value; the end of the text does.
    message.m_Body = "X-Name: one\ntwo";
    EXPECT_EQ(message.GetContentStr(0, "X-Name:", true, true), " one\ntwo");
    EXPECT_EQ(message.GetContentStr(message.m_Body.size() + 5, "X-Name:", true, true), "");
}

TEST(GetContentStrTest, ValueIsCutAt255Characters) {
    CEmailMsg message;
    const std::string longValue(1000, 'v');
    message.m_Body = "Content-Type:" + longValue + "\r\n";
    EXPECT_EQ(message.GetContentStr(0, "Content-Type:", true, true), longValue.substr(0, 255));
    message.m_Body = "Content-Type:" + longValue;
    EXPECT_EQ(message.GetContentStr(0, "Content-Type:", false, true), longValue.substr(0, 255));
    message.m_Body = "Content-Type:" + longValue.substr(0, 255) + "\r\n";
    EXPECT_EQ(message.GetContentStr(0, "Content-Type:", false, true), longValue.substr(0, 255));
}

TEST(GetContentStrTest, NameMustStartWithinFiveLineBreaks) {
    CEmailMsg message;
    const std::string lines = Crlf({"--b", "A: 1", "B: 2", "C: 3", "D: 4"});
    message.m_Body = lines + "X-Field: fifth\r\n";
    EXPECT_EQ(message.GetContentStr(0, "X-Field:", false, true), " fifth");
    message.m_Body = lines + "E: 5\r\nX-Field: sixth\r\n";
    EXPECT_EQ(message.GetContentStr(0, "X-Field:", false, true), "");
    EXPECT_EQ(message.GetContentStr(0, "X-Field:", true, true), " sixth");
    // A line break right after another is skipped, so a blank line widens the window.
    message.m_Body = Crlf({"--b", "A: 1", "", "B: 2", "C: 3", "D: 4"}) + "X-Field: after blank\r\n";
    EXPECT_EQ(message.GetContentStr(0, "X-Field:", false, true), " after blank");
    // With no line break at all only a name right at the start counts.
    message.m_Body = "X-Field: here X-Other: there";
    EXPECT_EQ(message.GetContentStr(0, "X-Field:", false, true), " here X-Other: there");
    EXPECT_EQ(message.GetContentStr(0, "X-Other:", false, true), "");
}

// ---- Trace lines ----

// Switches the activity log on for one test, in a data folder of its own.
class ProcessTraceTest : public ::testing::Test {
protected:
    void SetUp() override { SetActivityLogEnabled(true); }
    void TearDown() override { SetActivityLogEnabled(false); }

    // The log's lines without their time stamps.
    std::vector<std::string> LogLines() const {
        const std::string log = ReadBytes(m_Folder.File("spam.log"));
        return Lines(std::regex_replace(log, std::regex("(^|\n)[0-9]{2}:[0-9]{2}:[0-9]{2} - "), "$1"));
    }

    static std::vector<std::string> Lines(const std::string& text) {
        std::vector<std::string> lines;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);) {
            lines.push_back(line);
        }
        return lines;
    }

    // One stamped entry, which may span several lines.
    static void Add(std::vector<std::string>& trace, const std::string& entry) {
        for (std::string& line : Lines(entry + "\n")) {
            trace.push_back(std::move(line));
        }
    }

    // What GetContentStr writes for a value found; lineBreaks < 0 for a whole-message search.
    static void AddFieldTrace(std::vector<std::string>& trace, const std::string& value, int lineBreaks,
                              std::size_t length) {
        trace.push_back("CEmailMsg::GetContentStr - ScanWholeMsg");
        if (lineBreaks >= 0) {
            trace.push_back("CEmailMsg::GetContentStr - entering while");
            for (int i = 0; i < 5; ++i) {
                trace.push_back("CEmailMsg::GetContentStr - calling memsearch");
                if (i == lineBreaks) {
                    break;
                }
                trace.push_back("CEmailMsg::GetContentStr - found LastLineBreak");
            }
            trace.push_back("CEmailMsg::GetContentStr - done with while");
        }
        trace.push_back("CEmailMsg::GetContentStr - if Start is past last line break");
        trace.push_back("CEmailMsg::GetContentStr - if Start is NULL");
        if (length == std::string::npos) {
            return;
        }
        trace.push_back("CEmailMsg::GetContentStr - copying buffer");
        trace.push_back("CEmailMsg::GetContentStr - End found");
        trace.push_back("CEmailMsg::GetContentStr - End-Start=" + std::to_string(length));
        trace.push_back("CEmailMsg::GetContentStr - leaving  Buf=" + value);
    }

    test::CScopedDataFolder m_Folder;
};

TEST_F(ProcessTraceTest, MultipartMessage) {
    const std::string text =
        std::string(kMixedHeader) +
        Crlf({"--b1", "Content-Type: text/plain", "", "Hi", "--b1", "Content-Type: text/plain",
              "Content-Transfer-Encoding: 7bit", "Content-Disposition: attachment", "X: 1", "", "data", "--b1--"});
    Processed(text);

    std::vector<std::string> expected = {"CEmailMsg::Process - Entered", "CEmailMsg::Process - getting content type"};
    AddFieldTrace(expected, " multipart/mixed; boundary=\"b1\"", -1, 31);
    Add(expected, "CEmailMsg::Process - Content-Type: multipart/mixed; boundary=\"b1\"");
    Add(expected, "CEmailMsg::Process - is = multipart/mixed");
    AddFieldTrace(expected, "\"b1\"", -1, 4);
    Add(expected, "CEmailMsg::Process - BoundaryId = b1");
    Add(expected, "CEmailMsg::Process - COMPLETE MESSAGE :" + text);
    Add(expected, "CEmailMsg::Process - finding the start and end of the body");
    Add(expected, "CEmailMsg::Process - found the start and end of the body");
    Add(expected, "CEmailMsg::Process - extracting attachment data");
    AddFieldTrace(expected, " text/plain", 5, 11);
    Add(expected, "CEmailMsg::Process - Attachment Content Type: text/plain");
    AddFieldTrace(expected, "", 5, std::string::npos);  // no Content-Description
    Add(expected, "CEmailMsg::Process - Attachment Content Desc:");
    AddFieldTrace(expected, " attachment", 5, 11);
    Add(expected, "CEmailMsg::Process - Attachment Content Disposition: attachment");
    AddFieldTrace(expected, " 7bit", 5, 5);
    Add(expected, "CEmailMsg::Process - Attachment Content Transfer: 7bit");
    for (const char* line :
         {"CEmailMsg::Process - skipping past 6 lines to the start of the data",
          "CEmailMsg::Process - now looking for the end of the data", "CEmailMsg::Process - end boundary found",
          "CEmailMsg::Process - calculating the location of the attachment data",
          "CEmailMsg::Process - look for another attachment", "CEmailMsg::Process - no more attachments",
          "ParseBody - entered", "ParseBody - leaving - text only msg",
          "CEmailMsg::Process - extracting the message body", "CEmailMsg::Process - end of - is = multipart/mixed"}) {
        Add(expected, line);
    }
    EXPECT_EQ(LogLines(), expected);
}

TEST_F(ProcessTraceTest, NameBeyondTheWindowStopsBeforeTheNullTest) {
    CEmailMsg message;
    message.m_Body = Crlf({"a", "b", "c", "d", "e", "f", "X-Field: far"});
    EXPECT_EQ(message.GetContentStr(0, "X-Field:", false, true), "");
    const std::vector<std::string> lines = LogLines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "CEmailMsg::GetContentStr - done with while");
    EXPECT_EQ(lines.back(), "CEmailMsg::GetContentStr - if Start is past last line break");
}

TEST_F(ProcessTraceTest, SinglePartAndEarlyExits) {
    Processed("Content-Type: text/html\r\n\r\n<html>x</html>");
    Processed("");
    Processed(std::string(kMixedHeader) + Crlf({"--b1", "", "only text"}));
    Processed(std::string(kMixedHeader) + Crlf({"--b1", "", "hi", "--b1", "Content-Type: a/b"}));

    const std::vector<std::string> lines = LogLines();
    std::vector<std::string> events;
    for (const std::string& line : lines) {
        if (line.starts_with("CEmailMsg::Process - ") || line.starts_with("ParseBody - ")) {
            events.push_back(line);
        }
    }
    const std::vector<std::string> expected = {
        // Single-part HTML message.
        "CEmailMsg::Process - Entered", "CEmailMsg::Process - getting content type",
        "CEmailMsg::Process - Content-Type: text/html", "CEmailMsg::Process - != multipart/mixed",
        "ParseBody - entered", "ParseBody - HTML message", "ParseBody - Found end of HTML message",
        "ParseBody - leaving", "CEmailMsg::Process - done with != multipart/mixed",
        // Empty message.
        "CEmailMsg::Process - Entered", "CEmailMsg::Process - m_Body is NULL.  Leaving Process()",
        // Text part only.
        "CEmailMsg::Process - Entered", "CEmailMsg::Process - getting content type",
        "CEmailMsg::Process - Content-Type: multipart/mixed; boundary=\"b1\"",
        "CEmailMsg::Process - is = multipart/mixed", "CEmailMsg::Process - BoundaryId = b1",
        "CEmailMsg::Process - COMPLETE MESSAGE :Content-Type: multipart/mixed; "
        "boundary=\"b1\"\r",
        "CEmailMsg::Process - could not find any attachments.  leaving Process()",
        // An attachment cut off in its header.
        "CEmailMsg::Process - Entered", "CEmailMsg::Process - getting content type",
        "CEmailMsg::Process - Content-Type: multipart/mixed; boundary=\"b1\"",
        "CEmailMsg::Process - is = multipart/mixed", "CEmailMsg::Process - BoundaryId = b1",
        "CEmailMsg::Process - COMPLETE MESSAGE :Content-Type: multipart/mixed; "
        "boundary=\"b1\"\r",
        "CEmailMsg::Process - finding the start and end of the body",
        "CEmailMsg::Process - found the start and end of the body", "CEmailMsg::Process - extracting attachment data",
        "CEmailMsg::Process - Attachment Content Type: a/b", "CEmailMsg::Process - Attachment Content Desc:",
        "CEmailMsg::Process - Attachment Content Disposition:", "CEmailMsg::Process - Attachment Content Transfer:",
        "CEmailMsg::Process - skipping past 6 lines to the start of the data",
        "CEmailMsg::Process - No body was detected.  leaving"};
    EXPECT_EQ(events, expected);
}

TEST(ProcessTraceOffTest, NothingIsWrittenWhileTheLogIsOff) {
    test::CScopedDataFolder folder;
    SetActivityLogEnabled(false);
    Processed(ReadBytes(fs::path(__FILE__).parent_path() / "golden" / "multipart_attachments.eml"));
    EXPECT_FALSE(fs::exists(folder.File("spam.log")));
}

// ---- Hostile messages: right results, and nothing that grows with parts times size ----

// The header line always ends in CR LF, so that the boundary value ends there.
std::string PartBomb(std::size_t parts, std::string_view lineEnd) {
    std::string text = "Content-Type: multipart/mixed; boundary=\"bomb\"\r\n";
    text += lineEnd;
    const auto line = [&](std::string_view content) {
        text += content;
        text += lineEnd;
    };
    line("--bomb");
    line("Content-Type: text/plain");
    line("");
    line("text part");
    for (std::size_t i = 0; i < parts; ++i) {
        line("--bomb");
        line("Content-Type: application/x-part" + std::to_string(i));
        line("Content-Transfer-Encoding: base64");
        line("Content-Disposition: attachment");
        line("X-Filler: 1");
        line("");
        line("QUJD" + std::to_string(i));
    }
    line("--bomb--");
    return text;
}

TEST(ProcessHostileTest, ThreeThousandParts) {
    const CEmailMsg message = Processed(PartBomb(3000, "\r\n"));
    EXPECT_EQ(message.m_Body, "\ntext part");
    ASSERT_EQ(message.m_Attachments.size(), 3000u);
    for (std::size_t i = 0; i < message.m_Attachments.size(); i += 999) {
        const EmailAttachment& attachment = message.m_Attachments[i];
        EXPECT_EQ(attachment.m_ContentType, " application/x-part" + std::to_string(i));
        EXPECT_EQ(attachment.m_TransferEncoding, " base64");
        EXPECT_EQ(attachment.m_Disposition, " attachment");
        EXPECT_EQ(attachment.m_Description, "");
        EXPECT_EQ(DataText(attachment), "QUJD" + std::to_string(i) + "\r\n-");
    }
}

TEST(ProcessHostileTest, BareLineFeedPartsAndTheAttachmentLimit) {
    // No CR after the header: no field window, so no values, and no CR LF to start the body at.
    const CEmailMsg message = Processed(PartBomb(12000, "\n"));
    ASSERT_EQ(message.m_Attachments.size(), 10000u);
    const EmailAttachment& last = message.m_Attachments.back();
    EXPECT_EQ(last.m_ContentType, "");
    EXPECT_EQ(DataText(last), "QUJD9999\n-");
    EXPECT_EQ(message.m_Body, "");
}

TEST(ProcessHostileTest, HugeHeaderLines) {
    const std::string huge(200 * 1024, 'h');
    const CEmailMsg message =
        Processed(Crlf({"Subject: " + huge, "Content-Type: multipart/mixed; boundary=\"big\"", "", "--big",
                        "Content-Type: text/plain", "", "text", "--big", "Content-Type: application/x-" + huge,
                        "Content-Description: " + huge, "X: 1", "X: 2", "", "data", "--big--"}));
    EXPECT_EQ(message.m_Body, "\ntext");
    ASSERT_EQ(message.m_Attachments.size(), 1u);
    EXPECT_EQ(message.m_Attachments[0].m_ContentType, (" application/x-" + huge).substr(0, 255));
    EXPECT_EQ(message.m_Attachments[0].m_Description, (" " + huge).substr(0, 255));
    EXPECT_EQ(DataText(message.m_Attachments[0]), "data\r\n-");

    // A boundary parameter longer than a value can hold is cut, and its first 253 characters
    // still find the delimiters.
    const std::string longBoundary = "a" + std::string(999, 'q');
    const CEmailMsg cut = Processed(
        Crlf({"Content-Type: multipart/mixed; boundary=\"" + longBoundary + "\"", "", "--" + longBoundary, "", "",
              "text", "--" + longBoundary, "A: 1", "B: 2", "C: 3", "D: 4", "", "data", "--" + longBoundary + "--"}));
    ASSERT_EQ(cut.m_Attachments.size(), 1u);
    EXPECT_EQ(cut.m_Attachments[0].m_Boundary, longBoundary.substr(0, 253));
}

TEST(ProcessHostileTest, NoLineBreaksAtAll) {
    std::string text = "Content-Type: multipart/mixed; boundary=\"n\" ";
    for (int i = 0; i < 100000; ++i) {
        text += "--n Content-Type: x ";
    }
    const CEmailMsg message = Processed(text);
    EXPECT_EQ(message.m_Body, text);  // the first part has no data start
    EXPECT_TRUE(message.m_Attachments.empty());
}

TEST(ProcessHostileTest, NulBytesAreData) {
    using namespace std::string_literals;
    const std::string data = "a\0b\0\0c"s;
    const CEmailMsg message =
        Processed("Content-Type: multipart/mixed; boundary=\"z\0z\"\r\n\r\n"s +
                  Crlf({"--z\0z"s, "Content-Type: text/plain"s, ""s, "t\0t"s, "--z\0z"s, "Content-Type: a/\0b"s,
                        "X: 1"s, "X: 2"s, "X: 3"s, ""s, data, "--z\0z--"s}));
    EXPECT_EQ(message.m_Body, "\nt\0t"s);
    ASSERT_EQ(message.m_Attachments.size(), 1u);
    EXPECT_EQ(message.m_Attachments[0].m_Boundary, "z\0z"s);
    EXPECT_EQ(message.m_Attachments[0].m_ContentType, " a/\0b"s);
    EXPECT_EQ(DataText(message.m_Attachments[0]), data + "\r\n-");
}

}  // namespace
}  // namespace sieveclaw
