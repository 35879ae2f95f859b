#include "core/Settings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/ProfileStore.h"
#include "core/ScrambleText.h"
#include "core/TextFile.h"
#include "tests/support/ScopedDataFolder.h"

namespace sieveclaw {
namespace {

namespace fs = std::filesystem;

std::time_t LocalTime(int year, int month, int day, int hour, int minute, int second) {
    std::tm parts{};
    parts.tm_year = year - 1900;
    parts.tm_mon = month - 1;
    parts.tm_mday = day;
    parts.tm_hour = hour;
    parts.tm_min = minute;
    parts.tm_sec = second;
    parts.tm_isdst = -1;
    return std::mktime(&parts);
}

// The names of the values in the order the text holds them.
std::vector<std::string> NamesInOrder(const std::string& text) {
    std::vector<std::string> names;
    CLineReader reader(text);
    std::string_view line;
    while (reader.Next(line)) {
        if (const std::size_t equals = line.find('='); equals != std::string_view::npos) {
            names.emplace_back(line.substr(0, equals));
        }
    }
    return names;
}

SettingsValues LoadedFrom(const std::string& text) {
    CProfileStore store;
    store.Parse(text);
    CSettings settings;
    settings.LoadSettings(store);
    return settings.Snapshot();
}

std::string Stored(const CProfileStore& store, const std::string& name) {
    return store.GetProfileString(kSettingsSection, name, "<missing>");
}

TEST(SettingsTest, FreshStoreYieldsEveryDefault) {
    CSettings settings;
    EXPECT_EQ(settings.GetEmailDelay(), 0);  // no checks before the settings are loaded
    EXPECT_EQ(settings.GetTimeout(), 2);

    CProfileStore empty;
    settings.LoadSettings(empty);
    const SettingsValues values = settings.Snapshot();
    EXPECT_EQ(values.m_EmailDelay, 1);
    EXPECT_EQ(settings.GetEmailDelay(), 1);
    EXPECT_TRUE(values.m_PlaySounds);
    EXPECT_EQ(values.m_Timeout, 2);
    EXPECT_EQ(values.m_MaxMsgSize, 1048576u);
    EXPECT_EQ(values.m_DeleteAfterDaysOld, 7);
    EXPECT_TRUE(values.m_AutoDelete);
    EXPECT_FALSE(values.m_AutoDelFileExts);
    EXPECT_FALSE(values.m_AcceptOnlyFriends);
    EXPECT_EQ(values.m_Exts, (std::vector<std::string>{".pif", ".bat"}));
    for (const WindowRect& rect : {values.m_InboxRect, values.m_TrashRect, values.m_ViewEmailRect}) {
        EXPECT_EQ(rect, (WindowRect{-1, -1, -1, -1}));
    }
    for (const int width : values.m_InboxColWidths) {
        EXPECT_EQ(width, 0);
    }
    for (const int width : values.m_TrashColWidths) {
        EXPECT_EQ(width, 0);
    }
    for (const ListSortState& sort : {values.m_AccountsSort, values.m_InboxSort, values.m_TrashSort}) {
        EXPECT_EQ(sort, (ListSortState{3, -1}));
    }
    EXPECT_EQ(values.m_HotKey, 0u);
    EXPECT_EQ(values.m_FilterPassword, "");
    EXPECT_EQ(values.m_SoundFilePath, "");
    EXPECT_EQ(values.m_MailProgram, "");
    EXPECT_EQ(values.m_LastDataUpdateDate, LocalTime(2000, 1, 1, 1, 1, 1));
    EXPECT_EQ(values.m_LastAutoDeleteTime, LocalTime(2000, 1, 1, 1, 1, 1));
    EXPECT_EQ(values.m_ImplicitTlsPorts, (std::vector<int>{995, 465}));
}

// The table of stored names is what the command line lists; it must be what SaveSettings writes.
TEST(SettingsTest, SaveWritesEveryValueInTableOrder) {
    CProfileStore store;
    CSettings settings;
    settings.LoadSettings(store);
    ASSERT_TRUE(settings.SaveSettings(store));
    std::vector<std::string> expected;
    for (const SettingsValueInfo& info : SettingsValueTable()) {
        expected.push_back(info.m_Name);
    }
    EXPECT_EQ(NamesInOrder(store.Serialize()), expected);
    ASSERT_GE(expected.size(), 3u);
    EXPECT_EQ(expected.front(), "EmailDelay");
    EXPECT_EQ(expected[expected.size() - 2], "TrashColWidth5");
    EXPECT_EQ(expected.back(), "ImplicitTlsPorts");

    // What a fresh load saves reads back as the table's defaults.
    for (const SettingsValueInfo& info : SettingsValueTable()) {
        if (info.m_IsInteger) {
            EXPECT_EQ(store.GetProfileInt(kSettingsSection, info.m_Name, -12345), info.m_DefaultInt) << info.m_Name;
        } else if (info.m_Name != "Exts") {
            EXPECT_EQ(Stored(store, info.m_Name), info.m_DefaultText) << info.m_Name;
        }
    }
}

TEST(SettingsTest, ExtensionListKeepsOnlyEntriesFollowedBySemicolon) {
    EXPECT_EQ(LoadedFrom("[Settings]\nExts=.exe;.com\n").m_Exts, (std::vector<std::string>{".exe"}));
    EXPECT_EQ(LoadedFrom("[Settings]\nExts=;\n").m_Exts, (std::vector<std::string>{""}));
    EXPECT_EQ(LoadedFrom("[Settings]\nExts=.a;;.a;\n").m_Exts, (std::vector<std::string>{".a", "", ".a"}));
    EXPECT_EQ(LoadedFrom("[Settings]\nExts=.exe\n").m_Exts, (std::vector<std::string>{".pif", ".bat"}));
    EXPECT_EQ(LoadedFrom("[Settings]\nExts=\n").m_Exts, (std::vector<std::string>{".pif", ".bat"}));

    CProfileStore store;
    CSettings settings;
    settings.SetExts({".exe", ".com"});
    ASSERT_TRUE(settings.SaveSettings(store));
    EXPECT_EQ(Stored(store, "Exts"), ".exe;.com;");
    settings.SetExts({});
    ASSERT_TRUE(settings.SaveSettings(store));
    EXPECT_EQ(Stored(store, "Exts"), "");
}

TEST(SettingsTest, TimeStampsAreSixLocalTimeIntegers) {
    CProfileStore store;
    CSettings settings;
    settings.LoadSettings(store);
    ASSERT_TRUE(settings.SaveSettings(store));
    for (const std::string prefix : {"LastDataUpdateDate", "LastAutoDeleteTime"}) {
        EXPECT_EQ(Stored(store, prefix + "Year"), "2000");
        for (const std::string suffix : {"Month", "Day", "Hour", "Minute", "Second"}) {
            EXPECT_EQ(Stored(store, prefix + suffix), "1") << prefix + suffix;
        }
    }

    const std::time_t when = LocalTime(2003, 7, 15, 13, 45, 59);
    settings.SetLastAutoDeleteTime(when);
    settings.SetLastDataUpdateDate(LocalTime(2024, 12, 31, 0, 0, 0));
    ASSERT_TRUE(settings.SaveSettings(store));
    EXPECT_EQ(Stored(store, "LastAutoDeleteTimeMonth"), "7");
    EXPECT_EQ(Stored(store, "LastAutoDeleteTimeDay"), "15");
    EXPECT_EQ(Stored(store, "LastAutoDeleteTimeYear"), "2003");
    EXPECT_EQ(Stored(store, "LastAutoDeleteTimeHour"), "13");
    EXPECT_EQ(Stored(store, "LastAutoDeleteTimeMinute"), "45");
    EXPECT_EQ(Stored(store, "LastAutoDeleteTimeSecond"), "59");
    CSettings reloaded;
    reloaded.LoadSettings(store);
    EXPECT_EQ(reloaded.GetLastAutoDeleteTime(), when);
    EXPECT_EQ(reloaded.GetLastDataUpdateDate(), LocalTime(2024, 12, 31, 0, 0, 0));

    // Only some parts stored: the others take their defaults. Absurd parts do not crash.
    EXPECT_EQ(LoadedFrom("[Settings]\nLastAutoDeleteTimeYear=2010\nLastAutoDeleteTimeHour=0\n").m_LastAutoDeleteTime,
              LocalTime(2010, 1, 1, 0, 1, 1));
    LoadedFrom("[Settings]\nLastAutoDeleteTimeYear=-2147483648\nLastAutoDeleteTimeMonth=-2147483648\n");
}

TEST(SettingsTest, HiLoNumbersSplitAtSixteenBits) {
    CProfileStore store;
    CSettings settings;
    settings.LoadSettings(store);
    ASSERT_TRUE(settings.SaveSettings(store));
    EXPECT_EQ(Stored(store, "MaxMsgSizeHI"), "16");
    EXPECT_EQ(Stored(store, "MaxMsgSizeLO"), "0");
    EXPECT_EQ(Stored(store, "HotKeyHI"), "0");
    EXPECT_EQ(Stored(store, "HotKeyLO"), "0");

    settings.SetMaxMsgSize(65535);
    settings.Update([](SettingsValues& values) { values.m_HotKey = 0x0006'0041; });
    ASSERT_TRUE(settings.SaveSettings(store));
    EXPECT_EQ(Stored(store, "MaxMsgSizeHI"), "0");
    EXPECT_EQ(Stored(store, "MaxMsgSizeLO"), "65535");
    EXPECT_EQ(Stored(store, "HotKeyHI"), "6");
    EXPECT_EQ(Stored(store, "HotKeyLO"), "65");
    CSettings reloaded;
    reloaded.LoadSettings(store);
    EXPECT_EQ(reloaded.GetMaxMsgSize(), 65535u);
    EXPECT_EQ(reloaded.Snapshot().m_HotKey, 0x0006'0041u);

    // A missing half takes the default's half; LO gives only its low 16 bits.
    EXPECT_EQ(LoadedFrom("[Settings]\nMaxMsgSizeLO=5\n").m_MaxMsgSize, (16u << 16) | 5u);
    EXPECT_EQ(LoadedFrom("[Settings]\nMaxMsgSizeHI=1\nMaxMsgSizeLO=70000\n").m_MaxMsgSize,
              (1u << 16) | (70000u & 0xFFFFu));
}

TEST(SettingsTest, EveryValueSurvivesSaveAndLoadThroughTheFile) {
    test::CScopedDataFolder folder;
    const std::string path = GetProfileStorePath();
    const std::string password = " \r\nx=y\\z[Settings]\t ";
    CSettings saved;
    saved.SetEmailDelay(17);
    saved.SetPlaySounds(false);
    saved.SetTimeout(9);
    saved.SetAcceptOnlyFriends(true);
    saved.SetDeleteAfterDaysOld(30);
    saved.SetAutoDelete(false);
    saved.SetAutoDelFileExts(true);
    saved.SetImplicitTlsPorts({995, 4995});
    saved.SetExts({".exe", "", ".scr"});
    saved.Update([&](SettingsValues& values) {
        values.m_FilterPassword = password;
        values.m_InboxRect = {10, 20, 300, 400};
        values.m_ViewEmailRect = {-5, 0, 1, 2};
        values.m_InboxSort = {1, 2};
        values.m_TrashColWidths[5] = 120;
        values.m_SoundFilePath = "/home/u/sounds/";
        values.m_MailProgram = "Mail Program 7";
    });
    {
        CProfileStore store(path);
        ASSERT_TRUE(saved.SaveSettings(store));
        EXPECT_EQ(Stored(store, "FilterPassword"), ScrambleText(password));
    }
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    CProfileStore store(path);
    ASSERT_TRUE(store.Load());
    CSettings loaded;
    loaded.LoadSettings(store);
    EXPECT_EQ(loaded.Snapshot().m_FilterPassword, password);
    EXPECT_TRUE(loaded.Snapshot() == saved.Snapshot());
}

TEST(SettingsTest, SaveKeepsOtherSectionsAndUnknownValues) {
    test::CScopedDataFolder folder;
    const std::string path = GetProfileStorePath();
    ASSERT_TRUE(WriteFileAtomically(path,
                                    "[Window]\nstate=zoomed\n"
                                    "[Settings]\nFutureOption=on\nEmailDelay=12\nNowWorking=0\n"));
    CProfileStore store(path);
    ASSERT_TRUE(store.Load());
    CSettings settings;
    settings.LoadSettings(store);
    EXPECT_EQ(settings.GetEmailDelay(), 12);
    ASSERT_TRUE(settings.SaveSettings(store));
    // Replaced in place: no temporary file left beside it.
    std::vector<std::string> entries;
    for (const auto& entry : fs::directory_iterator(folder.Path())) {
        entries.push_back(entry.path().filename().string());
    }
    EXPECT_EQ(entries, std::vector<std::string>{"sieveclaw.ini"});

    CProfileStore reread(path);
    ASSERT_TRUE(reread.Load());
    EXPECT_EQ(reread.GetProfileString("Window", "state", ""), "zoomed");
    EXPECT_EQ(Stored(reread, "FutureOption"), "on");
    EXPECT_EQ(Stored(reread, "EmailDelay"), "12");
    EXPECT_FALSE(IsMessageShown(reread, kMsgNowWorking));
}

TEST(SettingsTest, PortListKeepsOnlyPorts) {
    EXPECT_EQ(SplitPortList("995;465;"), (std::vector<int>{995, 465}));
    EXPECT_EQ(SplitPortList("995;abc;0;65536;-1;;99999999999;465;993"), (std::vector<int>{995, 465, 993}));
    EXPECT_EQ(SplitPortList(""), std::vector<int>{});
    EXPECT_EQ(LoadedFrom("[Settings]\nImplicitTlsPorts=\n").m_ImplicitTlsPorts, std::vector<int>{});
    EXPECT_EQ(JoinPortList({995, 465}), "995;465;");
}

TEST(SettingsTest, MessageSwitchesAreWrittenOneAtATime) {
    test::CScopedDataFolder folder;
    CProfileStore store(GetProfileStorePath());
    ASSERT_TRUE(store.Load());
    for (const std::string_view box : kMessageSwitches) {
        EXPECT_TRUE(IsMessageShown(store, box)) << box;
    }
    ASSERT_TRUE(SetMessageShown(store, kMsgTrashCanWarning, false));

    CProfileStore reread(GetProfileStorePath());
    ASSERT_TRUE(reread.Load());
    EXPECT_FALSE(IsMessageShown(reread, kMsgTrashCanWarning));
    EXPECT_EQ(Stored(reread, "TrashCanWarning"), "0");
    EXPECT_TRUE(IsMessageShown(reread, kMsgFilterCheck));
    ASSERT_TRUE(SetMessageShown(store, kMsgTrashCanWarning, true));
    ASSERT_TRUE(reread.Load());
    EXPECT_TRUE(IsMessageShown(reread, kMsgTrashCanWarning));
}

}  // namespace
}  // namespace sieveclaw
