#include "core/InstalledFiles.h"

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "core/DataFolder.h"
#include "tests/support/ScopedDataFolder.h"

namespace sieveclaw {
namespace {

// The build puts the sounds in its share/ folder, where a program of the build finds them as an
// installed one finds its own.
TEST(InstalledFilesTest, ADefaultSoundOfTheDataFolderIsCopiedInOnFirstUseAndNoOtherFile) {
    test::CScopedDataFolder folder;
    ASSERT_FALSE(FindInstalledFolder("sieveclaw/sounds").empty()) << "the build has no share/sieveclaw/sounds";
    const std::string spam = GetProgramFolder() + std::string(kSpamSoundName);
    EXPECT_TRUE(EnsureDefaultSoundFile(spam));
    EXPECT_GT(std::filesystem::file_size(spam), 44U) << "more than a wave header";
    // A sound the user chose is never made up, nor a default name outside the data folder.
    EXPECT_FALSE(EnsureDefaultSoundFile(GetProgramFolder() + "chosen.wav"));
    EXPECT_FALSE(EnsureDefaultSoundFile(folder.File("elsewhere/") + std::string(kNewMailSoundName)));
    EXPECT_FALSE(std::filesystem::exists(folder.File("elsewhere")));
}

}  // namespace
}  // namespace sieveclaw
