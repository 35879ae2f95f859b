#include "core/PrefsFile.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace sieveclaw {
namespace {

TEST(PrefsFileTest, KeepsTextPreferencesInFileOrder) {
    const PreferencePairs pairs = ParsePreferencePairs(
        "# Mozilla User Preferences\r\n"
        "user_pref(\"mail.account.account1.server\", \"server1\");  \r\n"
        "user_pref(\"mail.server.server1.port\", 995);\n"
        "user_pref(\"mail.server.server1.download_on_biff\", true);\n"
        "user_pref(\"mail.server.server1.name\", \"Jo \\\"Q\\\" <jo@example.com>\");\n"
        "user_pref(\"empty.value\", \"\");\n"
        "user_pref(\"mail.account.account1.server\", \"later\");\n"
        "user_pref(\"no.end\", \"value\"\n"
        "pref(\"not.user\", \"x\");\n"
        "user_pref(\"last\", \"no newline\");");
    ASSERT_EQ(pairs.size(), 4U);
    EXPECT_EQ(pairs[0], PreferencePair("mail.account.account1.server", "server1"));
    // Escapes stay as written; the value ends at the quote before ");".
    EXPECT_EQ(pairs[1].second, "Jo \\\"Q\\\" <jo@example.com>");
    EXPECT_EQ(pairs[2].second, "later");
    EXPECT_EQ(pairs[3], PreferencePair("last", "no newline"));
    EXPECT_EQ(FindPreference(pairs, "mail.account.account1.server"), "server1");
    EXPECT_EQ(FindPreference(pairs, "MAIL.account.account1.server"), "");
    EXPECT_EQ(FindPreference(pairs, "mail.server.server1.port"), "");
}

TEST(PrefsFileTest, TakesTheKeyFromItsFixedPosition) {
    // The key is taken from position 11 whatever comes before user_pref(".
    const PreferencePairs pairs = ParsePreferencePairs(
        "  user_pref(\"indented\", \"v\");\n"
        "user_pref(\"a\",\"tight\");\n"
        "user_pref(\"k\", \"has \\\");\\\" inside\");\n");
    ASSERT_EQ(pairs.size(), 3U);
    EXPECT_EQ(pairs[0], PreferencePair("(\"indented", "v"));
    EXPECT_EQ(pairs[1], PreferencePair("a", "tight"));
    EXPECT_EQ(pairs[2], PreferencePair("k", "has \\"));
}

TEST(PrefsFileTest, FullReaderKeepsNumbersBooleansAndUndoesEscapes) {
    CPreferences prefs;
    prefs.Parse(
        "// comment\n"
        "user_pref(\"a.text\", \"say \\\"hi\\\" \\\\ there\\n\");\n"
        "user_pref(\"a.port\", 995);\n"
        "user_pref(\"a.negative\",-3);\n"
        "user_pref(\"a.flag\", true);\n"
        "user_pref(\"a.bad\", 12x);\n"
        "user_pref(\"a.unclosed\", \"x\"\n"
        "user_pref(\"a.port\", 993);\n");
    EXPECT_EQ(prefs.Text("a.text"), "say \"hi\" \\ there\n");
    EXPECT_EQ(prefs.Number("a.port"), 993) << "a later definition wins";
    EXPECT_EQ(prefs.Number("a.negative"), -3);
    EXPECT_EQ(prefs.Number("a.flag"), std::nullopt);
    EXPECT_EQ(prefs.Text("a.port"), std::nullopt);
    EXPECT_EQ(prefs.Text("a.bad"), std::nullopt);
    EXPECT_EQ(prefs.Text("a.unclosed"), std::nullopt);
    EXPECT_EQ(prefs.Keys(), (std::vector<std::string>{"a.text", "a.port", "a.negative", "a.flag"}));
}

}  // namespace
}  // namespace sieveclaw
