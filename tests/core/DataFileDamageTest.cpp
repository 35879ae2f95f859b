#include "core/DataFileDamage.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>
#include <optional>
#include <string>

#include "core/AccountsFile.h"
#include "core/ProfileStore.h"
#include "core/ScrambleText.h"
#include "core/TextFile.h"
#include "tests/support/ScopedDataFolder.h"

namespace sieveclaw {
namespace {

using test::CScopedDataFolder;

const std::string kBom = "\xEF\xBB\xBF";

// A whole accounts file of one account (15 lines) and its later values.
std::string AccountsText(const std::string& count = "1", const std::string& onHold = "0") {
    std::string text = "Sieveclaw Datastream Version 1.1\r\n" + count + "\r\n1\r\nHome\r\nann\r\n" +
                       ScrambleText("pw") + "\r\npop.example\r\n110\r\nsmtp.example\r\n25\r\nann\r\n" +
                       ScrambleText("pw") + "\r\n1\r\n/s.wav\r\n/n.wav\r\nann@example.org\r\n" + onHold + "\r\n";
    return text + "Sieveclaw Account Values Version 1\r\n1 pop3-security=ssl-tls\r\n1 smtp-security=starttls\r\n";
}

struct DamageCase {
    const char* m_Name;
    std::function<std::optional<DataFileDamage>(std::string_view)> m_Find;
    std::string m_Text;
    std::size_t m_Line;  // 0: the text reads whole
};

TEST(DataFileDamageTest, EachFileKindNamesTheFirstLineThatDoesNotReadWhole) {
    const std::string whole = AccountsText();
    const std::size_t values = 18;  // the line of the later values' header
    const DamageCase cases[] = {
        {"accounts whole", FindAccountsTextDamage, whole, 0},
        {"accounts with a byte-order mark", FindAccountsTextDamage, kBom + whole, 0},
        {"accounts older layout", FindAccountsTextDamage, "0\r\n", 0},
        {"accounts blank", FindAccountsTextDamage, " \r\n\r\n", 0},
        {"accounts newer header", FindAccountsTextDamage, "Sieveclaw Datastream Version 1.2\r\n1\r\n", 1},
        {"accounts count not a number", FindAccountsTextDamage, "Sieveclaw Datastream Version 1.1\r\none\r\n", 2},
        {"accounts negative count", FindAccountsTextDamage, AccountsText("-1"), 2},
        {"accounts hold flag not a number", FindAccountsTextDamage, AccountsText("1", "yes"), 17},
        {"accounts cut short", FindAccountsTextDamage, whole.substr(0, whole.find("ann@")), 16},
        {"accounts count too small", FindAccountsTextDamage, AccountsText("0"), 3},
        {"accounts count too large", FindAccountsTextDamage, AccountsText("2"), values},
        {"accounts value of no account", FindAccountsTextDamage, whole + "2 pop3-security=ssl-tls\r\n", values + 3},
        {"accounts value no choice has", FindAccountsTextDamage, whole + "1 smtp-security=bogus\r\n", values + 3},
        {"accounts unknown key kept", FindAccountsTextDamage, whole + "\r\n1 archive-after=30\r\n", 0},
        {"settings whole", FindProfileTextDamage, kBom + "; comment\n[Settings]\nEmailDelay=5\n\n", 0},
        {"settings unclosed section", FindProfileTextDamage, "[Settings]\nEmailDelay=5\n[Sett\n", 3},
        {"settings value without name", FindProfileTextDamage, "[Settings]\n=5\n", 2},
        {"settings line of no kind", FindProfileTextDamage, "[Settings]\nEmailDelay=5\ngarbage\n", 3},
        {"settings NUL byte", FindProfileTextDamage, std::string("[Settings]\nA=1\n\0\0\0\n", 19), 3},
    };
    for (const DamageCase& test : cases) {
        SCOPED_TRACE(test.m_Name);
        const std::optional<DataFileDamage> damage = test.m_Find(test.m_Text);
        EXPECT_EQ(damage ? damage->m_Line : 0, test.m_Line) << (damage ? damage->m_What : "");
        EXPECT_TRUE(!damage || !damage->m_What.empty());
    }
}

TEST(DataFileDamageTest, DamagedFilesAreNeverWrittenOverEvenOnceRepaired) {
    CScopedDataFolder folder;
    const std::string accounts = folder.File("accounts.txt");
    const std::string damaged = AccountsText("1", "yes");
    ASSERT_TRUE(WriteFileAtomically(accounts, damaged));

    CAccountList list;
    std::optional<DataFileDamage> damage;
    EXPECT_FALSE(LoadAccounts(list, &damage));
    ASSERT_TRUE(damage.has_value());
    EXPECT_EQ(DamageText(*damage), accounts + ", line 17: the on hold of account 1 is not a number");
    EXPECT_EQ(AccountCount(list), 0U);  // half a list would only mislead

    AddAccount(list, EmailAccountInfo());
    const SaveResult refused = SaveAccounts(list);
    EXPECT_FALSE(refused);
    EXPECT_NE(refused.m_Error.find(accounts + ", line 17"), std::string::npos) << refused.m_Error;
    std::string bytes;
    ASSERT_TRUE(ReadFileBytes(accounts, bytes));
    EXPECT_EQ(bytes, damaged);

    // Repaired by hand: what this process loaded is still not what the file holds.
    ASSERT_TRUE(WriteFileAtomically(accounts, AccountsText()));
    EXPECT_FALSE(SaveAccounts(list));
    // Loaded again whole, it may be saved.
    CAccountList reloaded;
    ASSERT_TRUE(LoadAccounts(reloaded));
    EXPECT_TRUE(SaveAccounts(reloaded));

    // The settings file follows the same rule, and so does a file that cannot be read at all.
    const std::string ini = folder.File("sieveclaw.ini");
    ASSERT_TRUE(WriteFileAtomically(ini, kBom + "[Settings]\nEmailDelay=5\n"));
    CProfileStore store(ini);
    ASSERT_TRUE(store.Load()) << store.LastError();
    EXPECT_EQ(store.GetProfileInt("Settings", "EmailDelay", 1), 5);
    ASSERT_TRUE(WriteFileAtomically(ini, "[Settings]\nEmailDelay=5\n[Sett\n"));
    EXPECT_FALSE(store.WriteProfileInt("Settings", "EmailDelay", 6));
    EXPECT_NE(store.LastError().find(ini + ", line 3"), std::string::npos) << store.LastError();

    const std::string unreadable = folder.File("folder.txt");
    ASSERT_EQ(::mkdir(unreadable.c_str(), 0700), 0);
    EXPECT_FALSE(LoadAccounts(reloaded, unreadable, &damage));
    ASSERT_TRUE(damage.has_value());
    EXPECT_EQ(DamageText(*damage), unreadable + ": it cannot be read (Is a directory)");
    EXPECT_FALSE(SaveAccounts(reloaded, unreadable));
}

}  // namespace
}  // namespace sieveclaw
