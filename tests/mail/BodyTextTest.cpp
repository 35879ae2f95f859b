#include "mail/BodyText.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <string_view>

#include "core/ActivityLog.h"
#include "tests/support/ScopedDataFolder.h"

namespace sieveclaw {
namespace {

using namespace std::string_literals;
constexpr std::size_t kNone = std::string_view::npos;

TEST(FindTextTest, CaseSensitiveSearch) {
    EXPECT_EQ(FindText("boundary=\"x\"", "boundary=", true), 0u);
    EXPECT_EQ(FindText("a Boundary= b boundary=", "boundary=", true), 14u);
    EXPECT_EQ(FindText("abcabc", "abc", true, 1), 3u);
    EXPECT_EQ(FindText("abcabc", "abc", true, 4), kNone);
    EXPECT_EQ(FindText("ab", "abc", true), kNone);
    EXPECT_EQ(FindText("a\0b\0c"s, "b\0c"s, true), 2u);
}

TEST(FindTextTest, IgnoringCaseComparesAsciiLetters) {
    EXPECT_EQ(FindText("x; BOUNDARY=q", "boundary=", false), 3u);
    EXPECT_EQ(FindText("x; boundary=q", "BoUnDaRy=", false), 3u);
    EXPECT_EQ(FindText("aAaAb", "AAB", false), 2u);
    EXPECT_EQ(FindText("aAaAb", "AAB", false, 3), kNone);
    // Other bytes only match themselves: '@' and '`' sit next to 'A' and 'a', and bytes above
    // 0x7f are not letters here.
    EXPECT_EQ(FindText("@[`{", "`{", false), 2u);
    EXPECT_EQ(FindText("\xc4\xe4", "\xe4", false), 1u);
    EXPECT_EQ(FindText("\xc4", "\xe4", false), kNone);
}

TEST(FindTextTest, EmptyPatternAndStartPastTheEnd) {
    EXPECT_EQ(FindText("abc", "", true, 1), 1u);
    EXPECT_EQ(FindText("abc", "", false, 3), 3u);
    EXPECT_EQ(FindText("abc", "", true, 4), kNone);
    EXPECT_EQ(FindText("abc", "c", true, 10), kNone);
    EXPECT_EQ(FindText("", "", true), 0u);
}

TEST(FindTextTest, TextWhereEveryPositionLooksLikeAMatch) {
    // First and last bytes match everywhere and the difference sits in the middle: the text that
    // makes a search compare most of the pattern at every position.
    const std::string text(300000, 'a');
    const std::string pattern = std::string(125, 'a') + "b" + std::string(125, 'a');
    EXPECT_EQ(FindText(text, pattern, true), kNone);
    EXPECT_EQ(FindText(text + "b" + std::string(125, 'a'), pattern, true), text.size() - 125);
    EXPECT_EQ(FindText(text + pattern, pattern, true, 1000), text.size());
}

TEST(ParseBodyTest, TextWithoutHtmlIsUnchanged) {
    EXPECT_EQ(ParseBody("plain =3D text =20 with 3D\r\n"), "plain =3D text =20 with 3D\r\n");
    EXPECT_EQ(ParseBody("<Html> mixed case is not a tag"), "<Html> mixed case is not a tag");
    EXPECT_FALSE(ExtractHtmlBody("").has_value());
}

TEST(ParseBodyTest, DocumentRunsFromOpeningThroughClosingTag) {
    EXPECT_EQ(ParseBody("before<html><b>x</b></html>after"), "<html><b>x</b></html>");
    EXPECT_EQ(ParseBody("before<HTML>x</HTML>after"), "<HTML>x</HTML>");
    // The lower-case tags win over upper-case ones wherever they stand.
    EXPECT_EQ(ParseBody("<HTML>a</HTML><html>b</html>"), "<html>b</html>");
    EXPECT_EQ(ParseBody("<html>a</HTML>b"), "<html>a</HTML>");
    // A closing tag before the opening one does not count.
    EXPECT_EQ(ParseBody("</html><html>abc"), "<html>a");
    EXPECT_EQ(ParseBody("<html>"), "<htm");
}

TEST(ParseBodyTest, QuotedPrintableLeftoversAreDeleted) {
    EXPECT_EQ(ParseBody("<html><a href=3D\"x\">a=20b=09c=\r\nd</a></html>"), "<html><a href=\"x\">abcd</a></html>");
    // "3D" goes from ordinary text too.
    EXPECT_EQ(ParseBody("<html>#3D3D3D 3Dfx</html>"), "<html># fx</html>");
    // The deletions run one after the other, each over the result of the one before.
    EXPECT_EQ(ParseBody("<html>=3D20|=3D09|=3D\r\n|=2=\r\n0</html>"), "<html>|||=20</html>");
    // Within one deletion, what it brings together is not looked at again.
    EXPECT_EQ(ParseBody("<html>33DD</html>"), "<html>3D</html>");
}

TEST(ParseBodyTest, TraceLines) {
    test::CScopedDataFolder folder;
    SetActivityLogEnabled(true);
    ParseBody("text");
    ParseBody("<html></html>");
    SetActivityLogEnabled(false);

    std::string log;
    {
        std::FILE* file = std::fopen(folder.File("spam.log").c_str(), "rb");
        ASSERT_NE(file, nullptr);
        char buffer[4096];
        for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;) {
            log.append(buffer, got);
        }
        std::fclose(file);
    }
    std::string expected;
    for (const char* line :
         {"ParseBody - entered", "ParseBody - leaving - text only msg", "ParseBody - entered",
          "ParseBody - HTML message", "ParseBody - Found end of HTML message", "ParseBody - leaving"}) {
        expected += std::string("HH:MM:SS - ") + line + "\n";
    }
    // Time stamps are the only part that varies.
    for (std::size_t at = 0; (at = log.find(" - ", at)) != std::string::npos; at = log.find('\n', at)) {
        ASSERT_GE(at, 8u);
        log.replace(at - 8, 8, "HH:MM:SS");
    }
    EXPECT_EQ(log, expected);
}

}  // namespace
}  // namespace sieveclaw
