#include "core/RegistryView.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "tests/support/ScopedDataFolder.h"

namespace sieveclaw {
namespace {

CRegistryKey OpenIn(const std::string& text, std::string_view path) {
    CRegistryView view;
    view.SetRoot(ERegistryRoot::kCurrentUser, text);
    return view.Open(ERegistryRoot::kCurrentUser, path);
}

std::vector<std::string> SubKeys(const CRegistryKey& key) {
    std::vector<std::string> names;
    std::string name;
    for (std::size_t i = 0; key.EnumSubKey(i, name); ++i) {
        names.push_back(name);
    }
    return names;
}

TEST(RegistryViewTest, ReadsWineFilesWithTheirEscapes) {
    const std::string text =
        "WINE REGISTRY Version 2\n"
        ";; All keys relative to \\\\User\\\\S-1-5-21-0-0-0-1000\n"
        "\n#arch=win32\n\n"
        "[Software\\\\Odd\\]Name\\\\Inner] 1700000000\n"
        "#time=1d9f0c0a1b2c3d4\n"
        "\"Path\"=\"C:\\\\Mail\\\\\\\"quoted\\\"\"\n"
        "\"Umlaut\"=\"M\\xfcller \\x20ac\\t\\n\"\n"
        "\"Expand\"=str(2):\"%USERPROFILE%\\\\x\"\n"
        "\"Port\"=dword:0000006e\n"
        "@=\"default\"\n"
        "\"Wide\"=hex(2):41,00,42,00,\\\n"
        "  43,00,00,00\n"
        "\"Deleted\"=\"x\"\n"
        "\"Deleted\"=-\n";
    const CRegistryKey key = OpenIn(text, "software\\ODD]NAME\\inner");
    ASSERT_TRUE(key.IsOpen());
    EXPECT_EQ(key.ReadText("path"), "C:\\Mail\\\"quoted\"");
    EXPECT_EQ(key.ReadText("Umlaut"), "M\xC3\xBCller \xE2\x82\xAC\t\n");
    EXPECT_EQ(key.ReadText("Expand"), "%USERPROFILE%\\x");
    EXPECT_EQ(key.ReadNumberText("PORT"), "110");
    EXPECT_EQ(key.ReadText(""), "default");
    EXPECT_EQ(key.ReadText("Wide"), "ABC");
    EXPECT_EQ(key.ReadText("Deleted"), "");
    // The parents exist though the file has no header for them.
    EXPECT_EQ(SubKeys(OpenIn(text, "Software")), std::vector<std::string>{"Odd]Name"});
}

TEST(RegistryViewTest, ReadsRegeditExportsWithRootNamesAndNarrowHex) {
    const std::string text =
        "REGEDIT4\r\n\r\n"
        "[HKEY_CURRENT_USER\\Software\\Qualcomm\\Eudora\\CommandLine]\r\n"
        "\"current\"=\"C:\\\\Eudora\\\\Eudora.exe C:\\\\Data\\\\x.ini\"\r\n"
        "\"Narrow\"=hex(2):41,42,00\r\n"
        "\"Bytes\"=hex:01,02,03,04,05\r\n"
        "\"Small\"=hex:ff,ff,ff,ff\r\n"
        "\"Bad\"=hex:1,zz\r\n"
        "\"Lone\"=\"back\\slash\"\r\n";
    const CRegistryKey key = OpenIn(text, "Software\\Qualcomm\\Eudora\\CommandLine");
    ASSERT_TRUE(key.IsOpen());
    EXPECT_EQ(key.ReadText("current"), "C:\\Eudora\\Eudora.exe C:\\Data\\x.ini");
    EXPECT_EQ(key.ReadText("Narrow"), "AB");
    EXPECT_EQ(key.ReadNumber("Bytes"), 0) << "five bytes do not fit in a number";
    EXPECT_EQ(key.ReadNumberText("Small"), "-1");
    RegistryValue value;
    EXPECT_FALSE(key.Query("Bad", value));
    EXPECT_EQ(key.ReadText("Lone"), "back\\slash");
}

TEST(RegistryViewTest, TextsAndNumbersFollowTheBufferRules) {
    const std::string longText(255, 'a');
    const std::string text = "REGEDIT4\n[K]\n\"Fits\"=\"" + longText + "\"\n\"TooLong\"=\"" + longText +
                             "b\"\n\"Three\"=\"110\"\n\"Four\"=\"1100\"\n\"Num\"=dword:ffffff85\n";
    const CRegistryKey key = OpenIn(text, "K");
    EXPECT_EQ(key.ReadText("Fits"), longText);
    EXPECT_EQ(key.ReadText("TooLong"), "");
    EXPECT_EQ(key.ReadText("Missing"), "");
    EXPECT_EQ(key.ReadNumber("Missing"), 0);
    EXPECT_EQ(key.ReadNumberText("Num"), "-123");
    // A text read as a number gives its bytes with the terminating zero, when they fit.
    EXPECT_EQ(key.ReadNumber("Three"), 0x303131);
    EXPECT_EQ(key.ReadNumber("Four"), 0);
    EXPECT_FALSE(key.Open("Missing").IsOpen());
    EXPECT_FALSE(CRegistryKey().Open("K").IsOpen());
}

TEST(RegistryViewTest, EnumeratesSubKeysInRegistryOrderAndStopsAtTheEnd) {
    const std::string text = "REGEDIT4\n[A\\b2]\n[A\\B1]\n[A\\_x]\n[a\\00000002]\n[A\\00000001\\Deeper]\n[-A\\Gone]\n";
    const CRegistryKey key = OpenIn(text, "A");
    EXPECT_EQ(SubKeys(key), (std::vector<std::string>{"00000001", "00000002", "B1", "b2", "_x"}));
    std::string name = "unchanged";
    EXPECT_FALSE(key.EnumSubKey(5, name));
    EXPECT_EQ(name, "unchanged");
    const std::string longName(256, 'n');
    EXPECT_FALSE(OpenIn("REGEDIT4\n[L\\" + longName + "]\n", "L").EnumSubKey(0, name));
}

TEST(RegistryViewTest, WinePrefixComesFromTheEnvironmentAndMissingFilesGiveNothing) {
    test::CScopedDataFolder folder;
    std::ofstream(folder.File("system.reg")) << "WINE REGISTRY Version 2\n[Software\\\\Incredimail] 1\n\"X\"=\"y\"\n";
    const CRegistryView view = CRegistryView::FromWinePrefix(folder.Path().string());
    EXPECT_EQ(view.Open(ERegistryRoot::kLocalMachine, "Software\\IncrediMail").ReadText("x"), "y");
    EXPECT_FALSE(view.Open(ERegistryRoot::kCurrentUser, "").IsOpen());
    EXPECT_FALSE(CRegistryView().Open(ERegistryRoot::kLocalMachine, "").IsOpen());
}

}  // namespace
}  // namespace sieveclaw
