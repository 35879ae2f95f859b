#include "filter/FilterFiles.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/CommandLine.h"
#include "core/ScrambleText.h"
#include "core/Settings.h"
#include "core/TextFile.h"
#include "tests/support/ScopedDataFolder.h"

namespace sieveclaw {
namespace {

namespace fs = std::filesystem;

using Entries = std::vector<std::string>;

std::string Contents(const std::string& path) {
    std::string bytes;
    EXPECT_TRUE(ReadFileBytes(path, bytes)) << path;
    return bytes;
}

void WriteFile(const std::string& path, std::string_view bytes) {
    ASSERT_TRUE(WriteFileAtomically(path, bytes));
}

// A word-list file as the program stores it: count line plain, entry lines scrambled.
std::string ScrambledWordList(std::string_view countLine, const Entries& lines) {
    std::string text = std::string(countLine) + "\r\n";
    for (const std::string& line : lines) {
        text += ScrambleText(line) + "\r\n";
    }
    return text;
}

class FilterFilesTest : public ::testing::Test {
protected:
    test::CScopedDataFolder m_Folder;
    std::mutex m_SettingsLock;
    CFilterLists m_Lists;
};

TEST_F(FilterFilesTest, WordListRoundTripKeepsBothListsInOrderScrambledWithCrLf) {
    for (const char* entry : {"viagra", "Casino", "shared", "cheap meds"}) {
        m_Lists.m_FromList.Add(entry);
    }
    for (const char* entry : {"shared", "click here", "free"}) {
        m_Lists.m_BodyList.Add(entry);
    }
    const std::string path = WordListPath();
    ASSERT_TRUE(SaveWordList(m_Lists, m_SettingsLock));
    EXPECT_EQ(path, m_Folder.File("wordlist.txt"));

    const std::string bytes = Contents(path);
    EXPECT_EQ(bytes.substr(0, 3), "4\r\n");
    EXPECT_EQ(bytes.substr(3, 8), ScrambleText("viagra") + "\r\n");
    EXPECT_EQ(bytes.find("viagra"), std::string::npos);
    EXPECT_EQ(bytes,
              ScrambledWordList("4", {"viagra", "Casino", "shared", "cheap meds", "shared", "click here", "free"}));

    CFilterLists reloaded;
    EXPECT_EQ(LoadFilterFile(reloaded, path, true, m_SettingsLock), 7U);
    EXPECT_EQ(reloaded.m_FromList.Entries(), m_Lists.m_FromList.Entries());
    EXPECT_EQ(reloaded.m_BodyList.Entries(), m_Lists.m_BodyList.Entries());
}

TEST_F(FilterFilesTest, CountLineDecidesTheBlocksAndEmptyLinesStillCount) {
    // Line 2 is empty but is one of the three From lines, so line 5 opens the Body block.
    EXPECT_EQ(ReadWordListText("3\r\n\r\nalpha\r\nbeta\r\ngamma\r\ndelta", false, m_Lists), 4U);
    EXPECT_EQ(m_Lists.m_FromList.Entries(), (Entries{"alpha", "beta"}));
    EXPECT_EQ(m_Lists.m_BodyList.Entries(), (Entries{"gamma", "delta"}));

    struct Case {
        std::string_view m_Text;
        Entries m_From;
        Entries m_Body;
    };
    const Case cases[] = {
        // Not a number, a negative one, a blank line: 0, everything is Body.
        {"many\na\nb\n", {}, {"a", "b"}},
        {"-2\na\nb\n", {}, {"a", "b"}},
        {"\na\nb\n", {}, {"a", "b"}},
        // Read like atoi: leading digits count.
        {"1x\na\nb\n", {"a"}, {"b"}},
        // A hostile count only means that every line is a From line.
        {"999999999999999999999999999999\na\nb\n", {"a", "b"}, {}},
        // LF ends, blanks at both ends of an entry, white-space-only lines.
        {"2\n  a b  \n \t \nc\n", {"a b"}, {"c"}},
        {"", {}, {}},
        {"5", {}, {}},
    };
    for (const Case& test : cases) {
        CFilterLists lists;
        ReadWordListText(test.m_Text, false, lists);
        EXPECT_EQ(lists.m_FromList.Entries(), test.m_From) << test.m_Text;
        EXPECT_EQ(lists.m_BodyList.Entries(), test.m_Body) << test.m_Text;
    }
}

TEST_F(FilterFilesTest, ScrambledLinesAreTrimmedBeforeAndAfterUnscrambling) {
    // Trailing blanks of the stored line go before unscrambling; blanks of the entry itself after.
    const std::string text = "1\r\n" + ScrambleText("  spaced  ") + " \t\r\n" + ScrambleText("body") + "\n";
    EXPECT_EQ(ReadWordListText(text, true, m_Lists), 2U);
    EXPECT_EQ(m_Lists.m_FromList.Entries(), (Entries{"spaced"}));
    EXPECT_EQ(m_Lists.m_BodyList.Entries(), (Entries{"body"}));
}

TEST_F(FilterFilesTest, MergingDropsExactDuplicatesButKeepsOtherCase) {
    m_Lists.m_FromList.Add("free");
    const std::string path = m_Folder.File("extra.txt");
    WriteFile(path, ScrambledWordList("3", {"free", "FREE", "Free", "free"}));
    // Every non-empty line counts as read, duplicates included.
    EXPECT_EQ(LoadFilterFile(m_Lists, path, true, m_SettingsLock), 4U);
    EXPECT_EQ(m_Lists.m_FromList.Entries(), (Entries{"free", "FREE", "Free"}));
    EXPECT_EQ(m_Lists.m_BodyList.Entries(), (Entries{"free"}));

    EXPECT_EQ(LoadFilterFile(m_Lists, m_Folder.File("missing.txt"), true, m_SettingsLock), 0U);
    EXPECT_EQ(m_Lists.m_FromList.Count(), 3U);
}

TEST_F(FilterFilesTest, EntryThatCannotBeStoredIsLeftOutWithoutShiftingTheOthers) {
    // U+0448 is D1 88; 0x88 scrambles to a line feed. U+00A2 ends in A2, which scrambles to a blank.
    const std::string lineFeed = "\xD1\x88uba";
    const std::string trailingBlank = "price\xC2\xA2";
    EXPECT_FALSE(IsStorableWordListEntry(lineFeed));
    EXPECT_FALSE(IsStorableWordListEntry(trailingBlank));
    EXPECT_TRUE(IsStorableWordListEntry("caf\xC3\xA9"));

    for (const std::string& entry : {std::string("first"), lineFeed, std::string("second")}) {
        m_Lists.m_FromList.Add(entry);
    }
    m_Lists.m_BodyList.Add(trailingBlank);
    m_Lists.m_BodyList.Add("body");
    Entries unstorable;
    ASSERT_TRUE(SaveWordList(m_Lists, m_SettingsLock, WordListPath(), &unstorable));
    EXPECT_EQ(unstorable, (Entries{lineFeed, trailingBlank}));

    CFilterLists reloaded;
    LoadFilterFile(reloaded, WordListPath(), true, m_SettingsLock);
    EXPECT_EQ(reloaded.m_FromList.Entries(), (Entries{"first", "second"}));
    EXPECT_EQ(reloaded.m_BodyList.Entries(), (Entries{"body"}));
}

TEST_F(FilterFilesTest, AddingByHandIsCaseSensitiveAndRescansOnlyForNewEntries) {
    m_Lists.m_FromList.Add("casino");
    int rescans = 0;
    const auto rescan = [&rescans] { ++rescans; };
    EXPECT_TRUE(AddFilterEntryByHand(m_Lists, EFilterList::kFrom, "CASINO", false, rescan));
    EXPECT_FALSE(AddFilterEntryByHand(m_Lists, EFilterList::kFrom, "casino", false, rescan));
    EXPECT_TRUE(AddFilterEntryByHand(m_Lists, EFilterList::kBody, "casino", false, rescan));
    EXPECT_EQ(rescans, 2);
    EXPECT_EQ(m_Lists.m_FromList.Entries(), (Entries{"casino", "CASINO"}));
    EXPECT_EQ(m_Lists.m_BodyList.Entries(), (Entries{"casino"}));
    // Without the administrator switch no administrator file appears.
    EXPECT_FALSE(fs::exists(AdminListPath(EFilterList::kFrom)));
    EXPECT_FALSE(fs::exists(AdminListPath(EFilterList::kBody)));
}

TEST_F(FilterFilesTest, AdministratorFilesAreAppendedPerList) {
    SetCommandLine({"/m", "/a"});
    EXPECT_TRUE(HasAdministratorSwitch());
    SetCommandLine(std::vector<std::string>{});
    EXPECT_FALSE(HasAdministratorSwitch());

    EXPECT_TRUE(AddFilterEntryByHand(m_Lists, EFilterList::kFrom, "spammer.com", true, {}));
    EXPECT_TRUE(AppendAdminList("second\nline", EFilterList::kFrom, true));
    EXPECT_TRUE(AddFilterEntryByHand(m_Lists, EFilterList::kBody, "pills", true, {}));
    EXPECT_FALSE(AddFilterEntryByHand(m_Lists, EFilterList::kBody, "pills", true, {}));
    EXPECT_TRUE(AppendAdminList("not written", EFilterList::kBody, false));

    EXPECT_EQ(Contents(m_Folder.File("adminfromlist.txt")), "spammer.com\r\nsecond line\r\n");
    EXPECT_EQ(Contents(m_Folder.File("adminbodylist.txt")), "pills\r\n");
}

TEST_F(FilterFilesTest, FriendsFileKeepsCaseAndDuplicatesAndSkipsBlankLines) {
    const Entries parsed =
        ParseFriendsText("  ann@example.org \r\n\r\n \t\nexample.net\nAnn@Example.org\nann@example.org");
    EXPECT_EQ(parsed, (Entries{"ann@example.org", "example.net", "Ann@Example.org", "ann@example.org"}));

    WriteFile(FriendsPath(), "  ann@example.org \r\n\r\nexample.net\n" + std::string(5000, 'x') + "@long.com\n");
    EXPECT_EQ(LoadFriends(m_Lists, m_SettingsLock), 3U);
    EXPECT_EQ(m_Lists.m_Friends.Snapshot().back().size(), 5009U);

    // A line feed inside an entry would come back as two friends; such an entry is not written.
    m_Lists.m_Friends.Append("two\nlines.com");
    m_Lists.m_Friends.Append("Bob@Example.org");
    ASSERT_TRUE(SaveFriends(m_Lists, m_SettingsLock));
    const std::string expected =
        "ann@example.org\r\nexample.net\r\n" + std::string(5000, 'x') + "@long.com\r\nBob@Example.org\r\n";
    EXPECT_EQ(Contents(FriendsPath()), expected);

    CFilterLists reloaded;
    EXPECT_EQ(LoadFriends(reloaded, m_SettingsLock), 4U);
    EXPECT_EQ(reloaded.m_Friends.Snapshot().back(), "Bob@Example.org");
}

TEST_F(FilterFilesTest, StartUpLoadsInOrderMergesNewFiltersAndDeletesThem) {
    const std::string folder = m_Folder.Path().string() + "/";
    WriteFile(folder + "wordlist.txt", ScrambledWordList("1", {"old from", "old body"}));
    WriteFile(folder + "newfilters.txt", ScrambledWordList("2", {"old from", "new from", "new body", "old body"}));
    WriteFile(folder + "friends.txt", "pal@example.org\r\n");
    CSettings settings;
    settings.SetExts({".exe", ".scr"});

    LoadFilterListsAtStartup(m_Lists, settings, m_SettingsLock, folder);
    EXPECT_EQ(m_Lists.m_Exts.Snapshot(), (Entries{".exe", ".scr"}));
    EXPECT_EQ(m_Lists.m_FromList.Entries(), (Entries{"old from", "new from"}));
    EXPECT_EQ(m_Lists.m_BodyList.Entries(), (Entries{"old body", "new body"}));
    EXPECT_EQ(m_Lists.m_Friends.Snapshot(), (Entries{"pal@example.org"}));
    EXPECT_FALSE(fs::exists(folder + "newfilters.txt"));

    // The merged entries are already in the word list: a start without the file still has them.
    CFilterLists next;
    LoadFilterListsAtStartup(next, settings, m_SettingsLock, folder);
    EXPECT_EQ(next.m_FromList.Entries(), (Entries{"old from", "new from"}));
    EXPECT_EQ(next.m_BodyList.Entries(), (Entries{"old body", "new body"}));
}

TEST_F(FilterFilesTest, StartUpKeepsNewFiltersWhenTheWordListCannotBeRead) {
    const std::string folder = m_Folder.Path().string() + "/";
    // A folder where the file should be: it exists but cannot be read as a file.
    fs::create_directory(folder + "wordlist.txt");
    WriteFile(folder + "newfilters.txt", ScrambledWordList("1", {"new from"}));
    CSettings settings;

    LoadFilterListsAtStartup(m_Lists, settings, m_SettingsLock, folder);
    EXPECT_EQ(m_Lists.m_FromList.Entries(), (Entries{"new from"}));
    EXPECT_EQ(m_Lists.m_Exts.Snapshot(), (Entries{".pif", ".bat"}));
    EXPECT_TRUE(fs::exists(folder + "newfilters.txt"));
    EXPECT_TRUE(fs::is_directory(folder + "wordlist.txt"));
}

TEST_F(FilterFilesTest, FilterUpdateFilesAreMergedUnscrambledSavedThenDeleted) {
    const std::string first = m_Folder.File("update1.txt");
    const std::string second = m_Folder.File("update2.txt");
    WriteFile(first, "1\r\nbad.example\r\nlottery\r\n");
    WriteFile(second, "0\r\nlottery\r\n");
    m_Lists.m_BodyList.Add("lottery");

    const FilterUpdateResult result = MergeFilterUpdateFiles(m_Lists, {first, second}, m_SettingsLock);
    EXPECT_EQ(result.m_EntriesRead, 3U);
    EXPECT_TRUE(result.m_ListsGrew);
    EXPECT_TRUE(result.m_Saved);
    EXPECT_EQ(result.m_FilesDeleted, 2U);
    EXPECT_FALSE(fs::exists(first));
    EXPECT_FALSE(fs::exists(second));
    EXPECT_EQ(Contents(WordListPath()), ScrambledWordList("1", {"bad.example", "lottery"}));

    // Nothing new: nothing to save, the file goes at once.
    WriteFile(first, "1\r\nbad.example\r\n");
    const FilterUpdateResult again = MergeFilterUpdateFiles(m_Lists, {first}, m_SettingsLock, m_Folder.File("x/w.txt"));
    EXPECT_FALSE(again.m_ListsGrew);
    EXPECT_FALSE(again.m_Saved);
    EXPECT_FALSE(fs::exists(first));

    // A save that fails keeps the file for the next update.
    WriteFile(first, "1\r\nnew.example\r\n");
    const FilterUpdateResult failed =
        MergeFilterUpdateFiles(m_Lists, {first}, m_SettingsLock, m_Folder.File("missing/wordlist.txt"));
    EXPECT_TRUE(failed.m_ListsGrew);
    EXPECT_FALSE(failed.m_Saved);
    EXPECT_EQ(failed.m_FilesDeleted, 0U);
    EXPECT_TRUE(fs::exists(first));
}

}  // namespace
}  // namespace sieveclaw
