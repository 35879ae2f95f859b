#include "core/DataFolder.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

namespace sieveclaw {
namespace {

namespace fs = std::filesystem;

// Puts the folder variables back as they were, whatever a test did to them.
class DataFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (std::size_t i = 0; i < kNames.size(); ++i) {
            const char* value = std::getenv(kNames[i]);
            m_Saved[i] = value != nullptr ? std::optional<std::string>(value) : std::nullopt;
        }
        char pattern[] = "/tmp/sieveclaw-folder-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        m_Temp = pattern;
    }

    void TearDown() override {
        for (std::size_t i = 0; i < kNames.size(); ++i) {
            if (m_Saved[i]) {
                ::setenv(kNames[i], m_Saved[i]->c_str(), 1);
            } else {
                ::unsetenv(kNames[i]);
            }
        }
        std::error_code error;
        fs::remove_all(m_Temp, error);
    }

    static void Set(const char* name, const char* value) {
        if (value != nullptr) {
            ::setenv(name, value, 1);
        } else {
            ::unsetenv(name);
        }
    }

    static constexpr std::array<const char*, 3> kNames{"SIEVECLAW_HOME", "XDG_DATA_HOME", "HOME"};
    std::array<std::optional<std::string>, 3> m_Saved;
    fs::path m_Temp;
};

TEST_F(DataFolderTest, OwnVariableWinsAndEndsInSlash) {
    Set("XDG_DATA_HOME", "/xdg/data");
    Set("SIEVECLAW_HOME", "/srv/claw");
    EXPECT_EQ(GetProgramFolder(), "/srv/claw/");
    Set("SIEVECLAW_HOME", "/srv/claw/");
    EXPECT_EQ(GetProgramFolder(), "/srv/claw/");
}

TEST_F(DataFolderTest, XdgDataHomeThenHome) {
    Set("SIEVECLAW_HOME", nullptr);
    Set("HOME", "/home/ann");
    Set("XDG_DATA_HOME", "/xdg/data");
    EXPECT_EQ(GetProgramFolder(), "/xdg/data/sieveclaw/");
    Set("XDG_DATA_HOME", "/xdg/data/");
    EXPECT_EQ(GetProgramFolder(), "/xdg/data/sieveclaw/");
    // A relative or empty XDG_DATA_HOME is invalid and ignored.
    Set("XDG_DATA_HOME", "relative/data");
    EXPECT_EQ(GetProgramFolder(), "/home/ann/.local/share/sieveclaw/");
    Set("XDG_DATA_HOME", "");
    EXPECT_EQ(GetProgramFolder(), "/home/ann/.local/share/sieveclaw/");
    Set("XDG_DATA_HOME", nullptr);
    EXPECT_EQ(GetProgramFolder(), "/home/ann/.local/share/sieveclaw/");
}

TEST_F(DataFolderTest, EnsureCreatesAPrivateFolder) {
    const fs::path folder = m_Temp / "a" / "b";
    Set("SIEVECLAW_HOME", folder.c_str());
    EXPECT_TRUE(EnsureProgramFolder());
    ASSERT_TRUE(fs::is_directory(folder));
    struct stat info {};
    ASSERT_EQ(::stat(folder.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700U);
    EXPECT_TRUE(EnsureProgramFolder());

    // A regular file where a folder should be cannot become one.
    std::ofstream(m_Temp / "file") << "x";
    Set("SIEVECLAW_HOME", (m_Temp / "file" / "sub").c_str());
    EXPECT_FALSE(EnsureProgramFolder());
}

}  // namespace
}  // namespace sieveclaw
