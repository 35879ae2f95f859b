#include "core/ProfileStore.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <climits>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/DataFolder.h"
#include "core/TextFile.h"
#include "tests/support/ScopedDataFolder.h"

namespace sieveclaw {
namespace {

namespace fs = std::filesystem;

std::string FileText(const std::string& path) {
    std::string bytes;
    ReadFileBytes(path, bytes);
    return bytes;
}

std::vector<std::string> FolderEntries(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    return names;
}

TEST(ProfileStoreTest, ReadsHandWrittenFilesTolerantly) {
    CProfileStore store;
    store.Parse(
        "leading=outside any section\r\n"
        "; a comment=1\r\n"
        "\r\n"
        "[Settings]\r\n"
        "  # EmailDelay=9\r\n"
        "  EmailDelay  =  5  \r\n"
        "Exts=.pif;.bat;\r\n"
        "Timeout=3\n"
        "Timeout=4\n"
        "no equals sign\n"
        "=no name\n"
        "[ Other ] text after the bracket\n"
        "Timeout=8\n"
        "[Settings]\n"
        "Later=from a second [Settings]\n"
        "EmailDelay=6");
    EXPECT_EQ(store.GetProfileInt("Settings", "EmailDelay", 1), 5);
    EXPECT_EQ(store.GetProfileString("Settings", "EmailDelay", ""), "5");
    // ';' after a value is data, not a comment.
    EXPECT_EQ(store.GetProfileString("Settings", "Exts", ""), ".pif;.bat;");
    // The first of two wins, in the same section or in a repeated one.
    EXPECT_EQ(store.GetProfileInt("Settings", "Timeout", 2), 3);
    EXPECT_EQ(store.GetProfileString("Settings", "Later", ""), "from a second [Settings]");
    EXPECT_EQ(store.GetProfileInt("Other", "Timeout", 2), 8);
    EXPECT_EQ(store.GetProfileString("", "leading", ""), "outside any section");
    // Comments, broken lines and other cases of a name are no values.
    EXPECT_FALSE(store.HasProfileValue("Settings", "# EmailDelay"));
    EXPECT_EQ(store.GetProfileInt("Settings", "emaildelay", 77), 77);
    EXPECT_EQ(store.GetProfileString("Settings", "", "none"), "none");
    EXPECT_EQ(store.GetProfileString("Missing", "EmailDelay", "dflt"), "dflt");
}

TEST(ProfileStoreTest, IntegersTakeLeadingDigitsElseTheDefault) {
    CProfileStore store;
    store.Parse(
        "[S]\n"
        "plain=42\nneg=-7\nplus=+8\ntail=12abc\nhex=0x1F\n"
        "word=abc\nempty=\nsign=-\nbig=99999999999\nsmall=-99999999999\nspaced=- 3\n");
    EXPECT_EQ(store.GetProfileInt("S", "plain", 0), 42);
    EXPECT_EQ(store.GetProfileInt("S", "neg", 0), -7);
    EXPECT_EQ(store.GetProfileInt("S", "plus", 0), 8);
    EXPECT_EQ(store.GetProfileInt("S", "tail", 0), 12);
    EXPECT_EQ(store.GetProfileInt("S", "hex", 5), 0);
    EXPECT_EQ(store.GetProfileInt("S", "word", 5), 5);
    EXPECT_EQ(store.GetProfileInt("S", "empty", 5), 5);
    EXPECT_EQ(store.GetProfileInt("S", "sign", 5), 5);
    EXPECT_EQ(store.GetProfileInt("S", "spaced", 5), 5);
    EXPECT_EQ(store.GetProfileInt("S", "big", 0), INT_MAX);
    EXPECT_EQ(store.GetProfileInt("S", "small", 0), INT_MIN);

    ASSERT_TRUE(store.WriteProfileInt("S", "min", INT_MIN));
    EXPECT_EQ(store.GetProfileString("S", "min", ""), "-2147483648");
    EXPECT_EQ(store.GetProfileInt("S", "min", 0), INT_MIN);
}

TEST(ProfileStoreTest, EveryByteStringSurvivesARewrite) {
    std::string all;
    for (int value = 0; value < 256; ++value) {
        all.push_back(static_cast<char>(value));
    }
    const std::vector<std::string> values = {
        all,     "  blanks at both ends  ",    " ", "\\", "\\x41", "a=b", "[x]", "", "\r\n",
        "tab\t", "\xA0\xFF raw high bytes\x80"};
    CProfileStore store;
    for (std::size_t i = 0; i < values.size(); ++i) {
        ASSERT_TRUE(store.WriteProfileString("Settings", "Value" + std::to_string(i), values[i]));
    }
    const std::string text = store.Serialize();
    // One line per value, and nothing in any line a reader would trim or take as a line end.
    CLineReader reader(text);
    std::string_view line;
    std::size_t lines = 0;
    while (reader.Next(line)) {
        ++lines;
        EXPECT_EQ(TrimTrailingWhiteSpace(line), line);
        for (const char c : line) {
            EXPECT_FALSE(static_cast<unsigned char>(c) < 0x20 || c == 0x7F) << line;
        }
    }
    EXPECT_EQ(lines, values.size() + 1);
    EXPECT_EQ(EscapeProfileValue("  a b  "), "\\x20 a b \\x20");
    EXPECT_EQ(EscapeProfileValue("C:\\x\r\n"), "C:\\\\x\\x0D\\x0A");

    CProfileStore reread;
    reread.Parse(text);
    for (std::size_t i = 0; i < values.size(); ++i) {
        EXPECT_EQ(reread.GetProfileString("Settings", "Value" + std::to_string(i), "missing"), values[i]) << i;
    }
}

TEST(ProfileStoreTest, HandWrittenBackslashesReadLiterally) {
    CProfileStore store;
    store.Parse("[S]\npath=C:\\Mail\\\nshort=\\x4\nbad=\\xZZ\nlower=\\x0a\n");
    EXPECT_EQ(store.GetProfileString("S", "path", ""), "C:\\Mail\\");
    EXPECT_EQ(store.GetProfileString("S", "short", ""), "\\x4");
    EXPECT_EQ(store.GetProfileString("S", "bad", ""), "\\xZZ");
    EXPECT_EQ(store.GetProfileString("S", "lower", ""), "\n");
}

TEST(ProfileStoreTest, RewriteKeepsWhatItDoesNotOwn) {
    CProfileStore store;
    store.Parse(
        "; kept comment\r\n"
        "[Settings]\r\n"
        "Unknown = hand  written\r\n"
        "EmailDelay=5\r\n"
        "EmailDelay=9\r\n"
        "\r\n"
        "; closes the section\r\n"
        "[Other]\r\n"
        "x=1\r\n");
    ASSERT_TRUE(store.WriteProfileInt("Settings", "EmailDelay", 7));
    ASSERT_TRUE(store.WriteProfileString("Settings", "Added", "new"));
    ASSERT_TRUE(store.WriteProfileString("Third", "y", "2"));
    EXPECT_EQ(store.Serialize(),
              "; kept comment\n"
              "[Settings]\n"
              "Unknown = hand  written\n"
              "EmailDelay=7\n"
              "EmailDelay=9\n"
              "Added=new\n"
              "\n"
              "; closes the section\n"
              "[Other]\n"
              "x=1\n"
              "\n"
              "[Third]\n"
              "y=2\n");
}

TEST(ProfileStoreTest, RefusesNamesThatWouldNotReadBack) {
    CProfileStore store;
    for (const std::string& name :
         std::vector<std::string>{"", "a=b", "[a", ";a", "#a", " a", "a ", "a\nb", std::string("a\0b", 3)}) {
        EXPECT_FALSE(store.WriteProfileString("Settings", name, "v")) << name;
    }
    for (const std::string section : {"", "a]b", " a", "a\r"}) {
        EXPECT_FALSE(store.WriteProfileInt(section, "name", 1)) << section;
    }
    EXPECT_EQ(store.Serialize(), "");
    EXPECT_TRUE(store.WriteProfileString("Set tings[1", "a]b c", "v"));
    CProfileStore reread;
    reread.Parse(store.Serialize());
    EXPECT_EQ(reread.GetProfileString("Set tings[1", "a]b c", ""), "v");
}

TEST(ProfileStoreTest, PathFollowsTheEnvironment) {
    const std::optional<std::string> savedHome =
        std::getenv("HOME") ? std::optional<std::string>(std::getenv("HOME")) : std::nullopt;
    {
        test::CScopedDataFolder folder;
        EXPECT_EQ(GetProfileStorePath(), folder.File("sieveclaw.ini"));
        ::unsetenv("SIEVECLAW_HOME");
        ::setenv("XDG_CONFIG_HOME", "/xdg/conf/", 1);
        EXPECT_EQ(GetProfileStorePath(), "/xdg/conf/Tallowmere/sieveclaw.ini");
        ::setenv("HOME", "/home/someone", 1);
        ::setenv("XDG_CONFIG_HOME", "relative/conf", 1);
        EXPECT_EQ(GetProfileStorePath(), "/home/someone/.config/Tallowmere/sieveclaw.ini");
        ::setenv("XDG_CONFIG_HOME", "", 1);
        EXPECT_EQ(GetConfigHome(), "/home/someone/.config");
    }
    if (savedHome) {
        ::setenv("HOME", savedHome->c_str(), 1);
    } else {
        ::unsetenv("HOME");
    }
}

TEST(ProfileStoreTest, EachWriteReachesTheDiskAtomically) {
    test::CScopedDataFolder folder;
    const std::string path = folder.File("conf/Tallowmere/sieveclaw.ini");
    {
        CProfileStore store(path);
        ASSERT_TRUE(store.Load());  // no file yet: an empty store
        ASSERT_TRUE(store.WriteProfileInt("Settings", "NowWorking", 0));
        EXPECT_EQ(FileText(path), "[Settings]\nNowWorking=0\n");
        ASSERT_TRUE(store.WriteProfileString("Settings", "MailProgram", "mutt"));
    }
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(FolderEntries(fs::path(path).parent_path()), std::vector<std::string>{"sieveclaw.ini"});

    CProfileStore reread(path);
    ASSERT_TRUE(reread.Load());
    EXPECT_EQ(reread.GetProfileInt("Settings", "NowWorking", 1), 0);
    EXPECT_EQ(reread.GetProfileString("Settings", "MailProgram", ""), "mutt");
}

TEST(ProfileStoreTest, BatchWritesTheFileOnceAtItsEnd) {
    test::CScopedDataFolder folder;
    const std::string path = folder.File("sieveclaw.ini");
    CProfileStore store(path);
    {
        CProfileStore::CWriteBatch outer(store);
        {
            CProfileStore::CWriteBatch inner(store);
            EXPECT_TRUE(store.WriteProfileInt("Settings", "A", 1));
            EXPECT_TRUE(inner.Commit());
        }
        EXPECT_TRUE(store.WriteProfileInt("Settings", "B", 2));
        EXPECT_FALSE(fs::exists(path));
    }
    EXPECT_EQ(FileText(path), "[Settings]\nA=1\nB=2\n");

    CProfileStore::CWriteBatch batch(store);
    store.WriteProfileInt("Settings", "A", 3);
    EXPECT_EQ(FileText(path), "[Settings]\nA=1\nB=2\n");
    EXPECT_TRUE(batch.Commit());
    EXPECT_EQ(FileText(path), "[Settings]\nA=3\nB=2\n");
}

TEST(ProfileStoreTest, FailuresAreReportedAndTheValueKept) {
    test::CScopedDataFolder folder;
    // A file where the folder should be: nothing can be written below it.
    ASSERT_TRUE(WriteFileAtomically(folder.File("blocker"), "x"));
    CProfileStore store(folder.File("blocker/sieveclaw.ini"));
    EXPECT_TRUE(store.Load());
    EXPECT_FALSE(store.WriteProfileInt("Settings", "A", 1));
    EXPECT_NE(store.LastError().find("blocker/sieveclaw.ini"), std::string::npos);
    EXPECT_EQ(store.GetProfileInt("Settings", "A", 0), 1);
    EXPECT_FALSE(store.Flush());

    // A folder at the file's place exists but cannot be read as a file.
    fs::create_directory(folder.File("folder.ini"));
    CProfileStore unreadable(folder.File("folder.ini"));
    EXPECT_FALSE(unreadable.Load());
    EXPECT_FALSE(unreadable.LastError().empty());
}

TEST(ProfileStoreTest, ThreadsWriteWithoutLosingValues) {
    test::CScopedDataFolder folder;
    const std::string path = folder.File("sieveclaw.ini");
    CProfileStore store(path);
    constexpr int kWrites = 40;
    auto writer = [&store](const std::string& prefix) {
        for (int i = 0; i < kWrites; ++i) {
            store.WriteProfileInt("Settings", prefix + std::to_string(i), i);
        }
    };
    std::thread first(writer, "First");
    std::thread second(writer, "Second");
    first.join();
    second.join();
    CProfileStore reread(path);
    ASSERT_TRUE(reread.Load());
    for (int i = 0; i < kWrites; ++i) {
        EXPECT_EQ(reread.GetProfileInt("Settings", "First" + std::to_string(i), -1), i);
        EXPECT_EQ(reread.GetProfileInt("Settings", "Second" + std::to_string(i), -1), i);
    }
}

}  // namespace
}  // namespace sieveclaw
