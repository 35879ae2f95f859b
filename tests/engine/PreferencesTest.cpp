#include "engine/Preferences.h"

#include <gtest/gtest.h>

#include "core/RunAtStartup.h"
#include "tests/support/ScopedDataFolder.h"

namespace sieveclaw {
namespace {

// The window's own test types the interval and the size; here, the separators of other locales and
// the size's range.
TEST(PreferencesTest, TheSizeIsReadWithoutAnySeparatorAndKeptInItsRange) {
    EXPECT_EQ(MaxMsgSizeFromText("2,097,152"), 2097152U);
    EXPECT_EQ(MaxMsgSizeFromText("2.097.152", "."), 2097152U);
    EXPECT_EQ(MaxMsgSizeFromText("2\u202f097\u202f152", "\u202f"), 2097152U);
    EXPECT_EQ(MaxMsgSizeFromText("500"), kMinMaxMsgSize);
    EXPECT_EQ(MaxMsgSizeFromText("99,999,999"), kMaxMaxMsgSize);
    EXPECT_FALSE(MaxMsgSizeFromText("lots"));

    EXPECT_EQ(NextSortOrder(1), 2);
    EXPECT_EQ(NextSortOrder(3), 2);
    EXPECT_EQ(NextSortOrder(2), 1);
}

TEST(PreferencesTest, StoringWritesTheSettingsTheLiveExtensionListAndTheAutostartEntry) {
    test::CScopedDataFolder folder;
    CSharedState state;
    PreferencesChoice choice;
    choice.m_EmailDelay = 15;
    choice.m_RunAtStartup = true;
    choice.m_HotKey = (2u << 16) | 0x53;
    choice.m_AcceptOnlyFriends = true;
    choice.m_AutoDelFileExts = true;
    choice.m_Exts = {".scr", ".pif"};
    choice.m_MaxMsgSize = 2097152;
    choice.m_MailProgram = "AMail";
    ASSERT_TRUE(StorePreferences(state, choice));
    EXPECT_EQ(state.m_Lists.m_Exts.Snapshot(), choice.m_Exts);
    EXPECT_TRUE(IsRunAtStartup());

    CProfileStore store(state.m_Store.Path());
    ASSERT_TRUE(store.Load());
    CSettings stored;
    stored.LoadSettings(store);
    const SettingsValues values = stored.Snapshot();
    EXPECT_EQ(values.m_EmailDelay, 15);
    EXPECT_EQ(values.m_HotKey, choice.m_HotKey);
    EXPECT_TRUE(values.m_AcceptOnlyFriends && values.m_AutoDelFileExts);
    EXPECT_EQ(values.m_Exts, choice.m_Exts);
    EXPECT_EQ(values.m_MaxMsgSize, 2097152U);
    EXPECT_EQ(values.m_MailProgram, "AMail");

    // Without a selected program or a readable size, those two stay as they were.
    choice.m_RunAtStartup = false;
    choice.m_MailProgram.reset();
    choice.m_MaxMsgSize.reset();
    ASSERT_TRUE(StorePreferences(state, choice));
    EXPECT_FALSE(IsRunAtStartup());
    EXPECT_EQ(state.m_Settings.Snapshot().m_MailProgram, "AMail");
    EXPECT_EQ(state.m_Settings.GetMaxMsgSize(), 2097152U);
}

}  // namespace
}  // namespace sieveclaw
