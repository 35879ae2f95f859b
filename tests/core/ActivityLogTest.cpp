#include "core/ActivityLog.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/CommandLine.h"
#include "core/DataFolder.h"

namespace sieveclaw {
namespace {

namespace fs = std::filesystem;

// Each test gets its own data folder through SIEVECLAW_HOME; the variable and the command line
// are put back afterwards.
class ActivityLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* value = std::getenv("SIEVECLAW_HOME")) {
            m_SavedHome = value;
        }
        char pattern[] = "/tmp/sieveclaw-log-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        m_Temp = pattern;
        ::setenv("SIEVECLAW_HOME", m_Temp.c_str(), 1);
        ASSERT_EQ(GetProgramFolder(), m_Temp.string() + "/");
    }

    void TearDown() override {
        SetCommandLine(std::vector<std::string>{});
        if (m_SavedHome) {
            ::setenv("SIEVECLAW_HOME", m_SavedHome->c_str(), 1);
        } else {
            ::unsetenv("SIEVECLAW_HOME");
        }
        std::error_code error;
        fs::remove_all(m_Temp, error);
    }

    fs::path LogPath() const { return m_Temp / "spam.log"; }

    std::string ReadLog() const {
        std::ifstream in(LogPath(), std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

    std::optional<std::string> m_SavedHome;
    fs::path m_Temp;
};

// The text of a line "HH:MM:SS - text", or nothing when the line is not stamped so. The regex
// sees only the stamp: long texts would make the regex engine recurse deeply.
std::optional<std::string> StampedText(const std::string& line) {
    static const std::regex stamp("[0-2][0-9]:[0-5][0-9]:[0-6][0-9] - ");
    constexpr std::size_t kStampSize = 11;
    if (line.size() < kStampSize || !std::regex_match(line.substr(0, kStampSize), stamp)) {
        return std::nullopt;
    }
    return line.substr(kStampSize);
}

TEST_F(ActivityLogTest, WritesNothingWithoutSlashLFirst) {
    const std::vector<std::vector<std::string>> commandLines{{}, {"/m"}, {"/L"}, {"/m", "/l"}, {"/l "}, {"-l"}};
    for (const auto& arguments : commandLines) {
        SetCommandLine(arguments);
        EXPECT_FALSE(IsActivityLogEnabled());
        WriteActivityLog("CPOP3Client::Logon - Connecting");
        WriteActivityLog("piece", false);
        WriteActivityLog2("CEmailMsg::Process - COMPLETE MESSAGE :", "body");
    }
    EXPECT_FALSE(fs::exists(LogPath()));

    const char* argv[] = {"sieveclaw", "/m", "/l"};
    SetCommandLine(3, argv);
    WriteActivityLog("still off");
    EXPECT_FALSE(fs::exists(LogPath()));
}

TEST_F(ActivityLogTest, StampedLinesAreAppended) {
    std::ofstream(LogPath()) << "earlier run\n";
    const char* argv[] = {"sieveclaw", "/l", "/m"};
    SetCommandLine(3, argv);
    ASSERT_TRUE(IsActivityLogEnabled());

    WriteActivityLog("CPOP3Client::Logon - Connecting");
    WriteActivityLog2("CPOP3Client::GetMessage - ", "entered");
    const std::string log = ReadLog();
    ASSERT_TRUE(log.starts_with("earlier run\n")) << log;

    std::istringstream lines(log.substr(12));
    std::vector<std::string> texts;
    for (std::string line; std::getline(lines, line);) {
        const std::optional<std::string> text = StampedText(line);
        ASSERT_TRUE(text) << line;
        texts.push_back(*text);
    }
    EXPECT_EQ(texts, (std::vector<std::string>{"CPOP3Client::Logon - Connecting", "CPOP3Client::GetMessage - entered"}));
    EXPECT_TRUE(log.ends_with("entered\n"));
}

TEST_F(ActivityLogTest, TextIsWrittenVerbatim) {
    SetCommandLine(std::vector<std::string>{"/l"});
    WriteActivityLog("MAIL FROM:<a@b>\r\n", false);
    WriteActivityLog("100% %s %d %n", false);
    WriteActivityLog(std::string("nul\0byte", 8), false);
    EXPECT_EQ(ReadLog(), std::string("MAIL FROM:<a@b>\r\n100% %s %d %n") + std::string("nul\0byte", 8));

    fs::remove(LogPath());
    WriteActivityLog("rate %s %d %n 50%");
    std::string log = ReadLog();
    ASSERT_TRUE(log.ends_with("\n"));
    log.pop_back();
    EXPECT_EQ(StampedText(log), "rate %s %d %n 50%") << log;
}

TEST_F(ActivityLogTest, UnwritableFolderIsIgnoredQuietly) {
    SetCommandLine(std::vector<std::string>{"/l"});
    // A regular file stands where the folder should be, which stops even root.
    const fs::path file = m_Temp / "not-a-folder";
    std::ofstream(file) << "keep";
    ::setenv("SIEVECLAW_HOME", (file / "sub").c_str(), 1);
    WriteActivityLog("lost line");
    WriteActivityLog("lost piece", false);
    ::setenv("SIEVECLAW_HOME", m_Temp.c_str(), 1);
    EXPECT_TRUE(fs::is_regular_file(file));
    EXPECT_EQ(fs::file_size(file), 4U);
    EXPECT_FALSE(fs::exists(LogPath()));
}

// Lines from the worker and the UI thread may interleave, but only as whole lines.
TEST_F(ActivityLogTest, LinesOfTwoThreadsStayWhole) {
    SetCommandLine(std::vector<std::string>{"/l"});
    constexpr int kLines = 200;
    const auto writer = [](char mark) {
        const std::string text(5000, mark);
        for (int i = 0; i < kLines; ++i) {
            WriteActivityLog(text);
        }
    };
    std::thread other(writer, 'u');
    writer('w');
    other.join();

    std::istringstream lines(ReadLog());
    int count = 0;
    for (std::string line; std::getline(lines, line); ++count) {
        const std::optional<std::string> text = StampedText(line);
        ASSERT_TRUE(text) << "line " << count;
        EXPECT_TRUE(*text == std::string(5000, 'u') || *text == std::string(5000, 'w')) << "line " << count;
    }
    EXPECT_EQ(count, 2 * kLines);
}

}  // namespace
}  // namespace sieveclaw
