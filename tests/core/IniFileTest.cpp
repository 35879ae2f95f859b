#include "core/IniFile.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace sieveclaw {
namespace {

TEST(IniFileTest, LooksUpLikeTheProfileFunctions) {
    CIniFile ini;
    ini.Parse(
        "\xEF\xBB\xBF"
        "orphan=before any section\r\n"
        "[Settings]\r\n"
        "  PopServer =  pop.example.com  \r\n"
        "; comment=x\r\n"
        "popserver=second wins nothing\r\n"
        "RealName=\"Quoted Name\"\r\n"
        "Half=\"open\r\n"
        "Single='it'\r\n"
        "NoEquals\r\n"
        "[settings]\r\n"
        "LoginName=in the second section\r\n"
        "[Other]\r\n"
        "Key=a=b\r\n");
    EXPECT_EQ(ini.GetString("SETTINGS", "popserver"), "pop.example.com");
    EXPECT_EQ(ini.GetString("Settings", "RealName"), "Quoted Name");
    EXPECT_EQ(ini.GetString("Settings", "Half"), "\"open");
    EXPECT_EQ(ini.GetString("Settings", "Single"), "it");
    EXPECT_EQ(ini.GetString("Settings", "; comment"), "");
    EXPECT_TRUE(ini.HasKey("Settings", "NoEquals"));
    EXPECT_EQ(ini.GetString("Settings", "NoEquals", "fallback"), "");
    // Only the first section of a name is searched.
    EXPECT_EQ(ini.GetString("Settings", "LoginName", "none  "), "none");
    EXPECT_EQ(ini.GetString("Other", "Key"), "a=b");
    EXPECT_EQ(ini.GetString("", "orphan"), "");
    EXPECT_EQ(ini.SectionNames(), (std::vector<std::string>{"Settings", "settings", "Other"}));
}

TEST(IniFileTest, ValuesAreCutToTheBuffer) {
    CIniFile ini;
    ini.Parse("[S]\nLong=" + std::string(2000, 'v') + "\n");
    EXPECT_EQ(ini.GetString("S", "Long"), std::string(1023, 'v'));
    EXPECT_EQ(ini.GetString("S", "Long", {}, 4), "vvv");
    EXPECT_EQ(ini.GetString("S", "Long", {}, 0), "");
    EXPECT_EQ(ini.GetString("S", "Missing", "fallback", 5), "fall");
}

TEST(IniFileTest, AMissingFileReadsEmpty) {
    CIniFile ini;
    ini.Parse("[S]\nK=v\n");
    EXPECT_FALSE(ini.Load("/nonexistent/folder/file.ini"));
    EXPECT_EQ(ini.GetString("S", "K"), "");
    EXPECT_TRUE(ini.SectionNames().empty());
}

}  // namespace
}  // namespace sieveclaw
