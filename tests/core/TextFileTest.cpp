#include "core/TextFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <vector>

#include "tests/support/ScopedDataFolder.h"

namespace sieveclaw {
namespace {

namespace fs = std::filesystem;

TEST(TextFileTest, AtomicWriteReplacesOrKeepsAndLeavesNoTemporaryFile) {
    test::CScopedDataFolder folder;
    const std::string path = folder.File("data.txt");
    std::string bytes;
    EXPECT_FALSE(ReadFileBytes(path, bytes));

    ASSERT_TRUE(WriteFileAtomically(path, std::string("one\0two\r\n", 9)));
    ASSERT_TRUE(ReadFileBytes(path, bytes));
    EXPECT_EQ(bytes, std::string("one\0two\r\n", 9));
    EXPECT_EQ(fs::status(path).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);

    ASSERT_TRUE(WriteFileAtomically(path, "new", 0644));
    ASSERT_TRUE(ReadFileBytes(path, bytes));
    EXPECT_EQ(bytes, "new");

    errno = 0;
    EXPECT_FALSE(WriteFileAtomically(path, "other", 0600, EReplace::kKeepExisting));
    EXPECT_EQ(errno, EEXIST);
    ASSERT_TRUE(ReadFileBytes(path, bytes));
    EXPECT_EQ(bytes, "new");
    EXPECT_TRUE(WriteFileAtomically(folder.File("fresh.txt"), "", 0600, EReplace::kKeepExisting));

    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder.Path())) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"data.txt", "fresh.txt"}));

    EXPECT_FALSE(WriteFileAtomically(folder.File("missing/x.txt"), "x"));
}

TEST(TextFileTest, LinesSplitAtLineFeedsAndTrimTrailingWhiteSpace) {
    CLineReader reader("a \t\r\n\r\nlast  ");
    std::string_view line;
    ASSERT_TRUE(reader.Next(line));
    EXPECT_EQ(line, "a \t\r");
    EXPECT_EQ(TrimTrailingWhiteSpace(line), "a");
    EXPECT_EQ(reader.NextTrimmed(), "");
    EXPECT_FALSE(reader.AtEnd());
    EXPECT_EQ(reader.NextTrimmed(), "last");
    EXPECT_TRUE(reader.AtEnd());
    EXPECT_FALSE(reader.Next(line));
    EXPECT_EQ(reader.NextTrimmed(), "");

    EXPECT_EQ(TrimTrailingWhiteSpace(" \t\r\n\v\f"), "");
    EXPECT_EQ(TrimTrailingWhiteSpace("  lead"), "  lead");
    // Bytes above 0x7F are never white space, whatever the locale.
    EXPECT_EQ(TrimTrailingWhiteSpace("x\xA0"), "x\xA0");
    CLineReader empty("");
    EXPECT_FALSE(empty.Next(line));
}

TEST(TextFileTest, AppendWithCrLfEndsEveryLineAlike) {
    std::string out = "x";
    AppendWithCrLf(out, "\na\r\nb\nc\r\r\n\nend");
    EXPECT_EQ(out, "x\r\na\r\nb\r\nc\r\r\n\r\nend");
}

}  // namespace
}  // namespace sieveclaw
