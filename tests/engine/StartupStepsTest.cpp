#include "engine/StartupSteps.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/AccountsFile.h"
#include "engine/AccountRows.h"
#include "tests/support/ScopedDataFolder.h"

namespace sieveclaw {
namespace {

TEST(StartupStepsTest, SwitchesCountOnlyAsWholeArgumentsInTheirLetterCase) {
    const struct {
        std::vector<std::string> m_Arguments;
        bool m_Minimised;
        bool m_Administrator;
    } cases[] = {
        {{"/m"}, true, false},
        {{"/l", "/a", "/m"}, true, true},
        {{"/M", "/m2", "-m", " /m"}, false, false},
        {{"/A", "/ab"}, false, false},
        {{}, false, false},
    };
    for (const auto& c : cases) {
        const StartupSwitches switches = ReadStartupSwitches(c.m_Arguments);
        EXPECT_EQ(switches.m_Minimised, c.m_Minimised) << testing::PrintToString(c.m_Arguments);
        EXPECT_EQ(switches.m_Administrator, c.m_Administrator) << testing::PrintToString(c.m_Arguments);
    }
}

TEST(StartupStepsTest, TheWelcomeTakesItsPluralEndingsFromTheIntervalAndTheAccounts) {
    const std::string one = NowWorkingText(1, 1);
    EXPECT_EQ(one.substr(0, 120),
              "Sieveclaw is now working to make your life easier!  Every 1 minute Sieveclaw will check your email "
              "account for spam.  Yo");
    const std::string both = NowWorkingText(5, 2);
    EXPECT_NE(both.find("Every 5 minutes Sieveclaw will check your email accounts for spam."), std::string::npos);
    EXPECT_NE(NowWorkingText(2, 1).find("Every 2 minutes Sieveclaw will check your email account for"),
              std::string::npos);
    EXPECT_NE(both.find("You will hear a \"bweep\" sound when you have good email"), std::string::npos);
}

TEST(StartupStepsTest, AnAddressNeedsAnAtAfterItsStartAndADotAmongItsLastFourCharacters) {
    for (const char* good : {"a@b.com", "x@y.de", "x@y.c."}) {
        EXPECT_TRUE(IsAcceptableEmailAddress(good)) << good;
    }
    for (const char* bad : {"", "@b.com", "ab.com", "a@b.comx", "a@bcom", "a@b.info"}) {
        EXPECT_FALSE(IsAcceptableEmailAddress(bad)) << bad;
    }
}

TEST(StartupStepsTest, AddressesAreAskedForInListOrderAndAGivenOneIsSaved) {
    test::CScopedDataFolder folder;
    CAccountList accounts;
    for (const char* name : {"first", "second", "third"}) {
        EmailAccountInfo account;
        account.m_AccountName = name;
        account.m_EmailAddress = std::string(name) == "second" ? "s@x.org" : "";
        AddAccount(accounts, account);
    }
    const std::vector<ListPos> missing = AccountsWithoutAddress(accounts);
    ASSERT_EQ(missing.size(), 2U);
    EXPECT_EQ(accounts.GetAt(missing[0])->m_AccountName, "first");
    EXPECT_EQ(accounts.GetAt(missing[1])->m_AccountName, "third");
    ASSERT_TRUE(StoreEmailAddressAndSave(accounts, missing[1], "t@x.org"));

    CAccountList loaded;
    ASSERT_TRUE(LoadAccounts(loaded, AccountsFilePath()));
    EXPECT_EQ(AccountsWithoutAddress(loaded).size(), 1U);
}

TEST(AccountRowsTest, ColumnClicksFlipTheDirectionAndCountsSortAsNumbers) {
    ListSortState sort{1, -1};
    sort = AccountSortAfterClick(sort, kInboxCountColumn);
    EXPECT_EQ(sort.m_SortOrder, 1);
    sort = AccountSortAfterClick(sort, kInboxCountColumn);
    EXPECT_EQ(sort.m_SortOrder, 2);
    sort = AccountSortAfterClick(sort, kInboxCountColumn);
    EXPECT_EQ(sort.m_SortOrder, 1);
    EXPECT_EQ(AccountSortAfterClick(sort, kAccountNameColumn).m_SortOrder, 1);

    // Direction 1 puts larger counts first, direction 2 smaller; "10" is more than "9".
    EXPECT_TRUE(AccountRowBefore(kInboxCountColumn, 1, "10", "9"));
    EXPECT_FALSE(AccountRowBefore(kInboxCountColumn, 2, "10", "9"));
    EXPECT_TRUE(AccountRowBefore(kTrashCountColumn, 2, "0", "3"));
    // Names ignore letter case.
    EXPECT_TRUE(AccountRowBefore(kAccountNameColumn, 1, "alpha", "Beta"));
    EXPECT_TRUE(AccountRowBefore(kAccountNameColumn, 2, "Beta", "alpha"));
    EXPECT_FALSE(AccountRowBefore(kAccountNameColumn, 1, "ALPHA", "alpha"));
}

}  // namespace
}  // namespace sieveclaw
