#include "core/RunAtStartup.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

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

void WriteEntry(const std::string& text) {
    fs::create_directories(fs::path(GetAutostartEntryPath()).parent_path());
    ASSERT_TRUE(WriteFileAtomically(GetAutostartEntryPath(), text));
}

TEST(RunAtStartupTest, OnWritesTheEntryAndOffRemovesIt) {
    test::CScopedDataFolder folder;
    EXPECT_EQ(GetAutostartEntryPath(), folder.File("config/autostart/sieveclaw.desktop"));
    EXPECT_FALSE(IsRunAtStartup());

    ASSERT_TRUE(SetRunAtStartup(true, "/opt/sieve claw/bin/sieveclaw"));
    EXPECT_TRUE(IsRunAtStartup());
    EXPECT_EQ(FileText(GetAutostartEntryPath()),
              "[Desktop Entry]\n"
              "Type=Application\n"
              "Name=Sieveclaw\n"
              "Exec=\"/opt/sieve claw/bin/sieveclaw\" /m\n");
    // Written atomically: nothing else in the folder.
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.File("config/autostart")), fs::directory_iterator()), 1);

    ASSERT_TRUE(SetRunAtStartup(false));
    EXPECT_FALSE(fs::exists(GetAutostartEntryPath()));
    EXPECT_FALSE(IsRunAtStartup());
    EXPECT_TRUE(SetRunAtStartup(false));  // already off
}

TEST(RunAtStartupTest, DefaultsToTheRunningProgram) {
    test::CScopedDataFolder folder;
    const std::string program = GetCurrentProgramPath();
    ASSERT_FALSE(program.empty());
    EXPECT_TRUE(fs::equivalent(program, "/proc/self/exe"));
    ASSERT_TRUE(SetRunAtStartup(true));
    EXPECT_NE(FileText(GetAutostartEntryPath()).find("Exec=\"" + program + "\" /m\n"), std::string::npos);
}

TEST(RunAtStartupTest, EmptyHiddenOrExeclessEntriesCountAsOff) {
    test::CScopedDataFolder folder;
    WriteEntry("");
    EXPECT_FALSE(IsRunAtStartup());
    WriteEntry("[Desktop Entry]\nType=Application\nExec=\n");
    EXPECT_FALSE(IsRunAtStartup());
    WriteEntry("[Desktop Entry]\nType=Application\nExec= \"/bin/x\" /m\nHidden=true\n");
    EXPECT_FALSE(IsRunAtStartup());
    WriteEntry("[Desktop Entry]\nType=Application\n[Desktop Action x]\nExec=\"/bin/x\" /m\n");
    EXPECT_FALSE(IsRunAtStartup());
    WriteEntry("[Desktop Entry]\r\nHidden=false\r\nExec=\"/bin/x\" /m\r\n");
    EXPECT_TRUE(IsRunAtStartup());
}

TEST(RunAtStartupTest, OddPathsAreQuotedAsDesktopEntriesRequire) {
    // Inside the quotes '"', '`', '$' and '\' get a backslash, '%' doubles, and then the file's
    // string rule doubles every backslash again.
    EXPECT_EQ(BuildAutostartEntry("/a\"b`c$d\\e%f"),
              "[Desktop Entry]\nType=Application\nName=Sieveclaw\n"
              "Exec=\"/a\\\\\"b\\\\`c\\\\$d\\\\\\\\e%%f\" /m\n");
    EXPECT_NE(BuildAutostartEntry("/a\nb").find("Exec=\"/a\\nb\" /m\n"), std::string::npos);
}

}  // namespace
}  // namespace sieveclaw
