#include "core/ScrambleText.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>

namespace sieveclaw {
namespace {

TEST(ScrambleTextTest, IsItsOwnInverseForEveryByte) {
    std::string all;
    for (int value = 0; value < 256; ++value) {
        all.push_back(static_cast<char>(value));
    }
    const std::string scrambled = ScrambleText(all);
    ASSERT_EQ(scrambled.size(), all.size());
    EXPECT_NE(scrambled, all);
    EXPECT_EQ(ScrambleText(scrambled), all);
    // One fixed key: the same byte scrambles the same wherever it stands.
    EXPECT_EQ(ScrambleText("aaaa"), std::string(4, scrambled[static_cast<unsigned char>('a')]));
    EXPECT_EQ(ScrambleText(""), "");
}

// Scrambled entries are stored one a line and read back with trailing white space trimmed, so
// no printable character may turn into white space, a control character (C0 or C1) or a line end.
TEST(ScrambleTextTest, PrintableTextNeverBecomesWhiteSpaceOrControl) {
    for (int value = 0x20; value <= 0x7E; ++value) {
        const std::string scrambled = ScrambleText(std::string(1, static_cast<char>(value)));
        const int out = static_cast<unsigned char>(scrambled[0]);
        SCOPED_TRACE(value);
        EXPECT_FALSE(std::isspace(out));
        EXPECT_FALSE(std::iscntrl(out));
        EXPECT_GE(out, 0xA0);  // past the C1 controls, NEL (0x85) among them
    }
}

}  // namespace
}  // namespace sieveclaw
