#include "filter/ListEdits.h"

#include <string>

#include <gtest/gtest.h>

namespace sieveclaw {
namespace {

// Each check: what is typed, and the text taken or the message shown.
struct CheckCase {
    std::string m_Typed;
    std::string m_Taken;  // empty: refused
    std::string_view m_Error;
};

template <class Check>
void ExpectChecks(const std::vector<CheckCase>& cases, Check check) {
    for (const CheckCase& test : cases) {
        std::string error;
        const std::optional<std::string> taken = check(test.m_Typed, error);
        EXPECT_EQ(taken.value_or(""), test.m_Taken) << test.m_Typed;
        EXPECT_EQ(error, test.m_Error) << test.m_Typed;
    }
}

TEST(ListEditsTest, FriendsFilterEntriesAndExtensionsAreCheckedAsTheirBoxesDo) {
    ExpectChecks({{"  Casino  ", "Casino", ""}, {" \t ", "", kBlankFilterEntryMessage}}, CheckFilterEntry);
    ExpectChecks(
        {
            {"Anna.Berger@Example.COM", "Anna.Berger@Example.COM", ""},  // an address keeps its case
            {" a@b.com ", "a@b.com", ""},
            {"@b.com", "", kInvalidFriendAddressMessage},
            {"a@b.museum", "", kInvalidFriendAddressMessage},
        },
        [](const std::string& typed, std::string& error) {
            return CheckFriendEntry(typed, EFriendType::kIndividual, error);
        });
    ExpectChecks(
        {
            {"Example-1.COM", "example-1.com", ""},                    // a domain is lowered
            {"example.anything goes!", "example.anything goes!", ""},  // only the first label counts
            {".com", ".com", ""},
            {"examplecom", "", kInvalidFriendDomainMessage},
            {"exa_mple.com", "", kInvalidFriendDomainMessage},
        },
        [](const std::string& typed, std::string& error) {
            return CheckFriendEntry(typed, EFriendType::kDomain, error);
        });
    ExpectChecks(
        {
            {"pif", ".pif", ""},
            {" .EXE ", ".EXE", ""},
            {"tar.gz", ".gz", ""},
            {"", "", kBlankFileExtensionMessage},
            {"x.y/z", "", kInvalidFileExtensionMessage},
        },
        CheckFileExtension);
    EXPECT_EQ(FriendTypeOf("a@b.com"), EFriendType::kIndividual);
    EXPECT_EQ(FriendTypeOf("b.com"), EFriendType::kDomain);
}

TEST(ListEditsTest, BlockedDomainsAreCorrectedOnceThenTakenOnceEach) {
    EXPECT_EQ(CheckBlockDomains(" \n\t ").m_Outcome, BlockDomainsCheck::EOutcome::kBlank);

    const BlockDomainsCheck corrected = CheckBlockDomains("spam mer.example\r\nuser@bad.example\nok.example");
    EXPECT_EQ(corrected.m_Outcome, BlockDomainsCheck::EOutcome::kCorrected);
    EXPECT_EQ(corrected.m_CorrectedText, "spammer.example\nuserbad.example\nok.example\n");
    EXPECT_TRUE(corrected.m_Domains.empty());

    const BlockDomainsCheck accepted = CheckBlockDomains(corrected.m_CorrectedText + "\nok.example\n");
    EXPECT_EQ(accepted.m_Outcome, BlockDomainsCheck::EOutcome::kAccepted);
    EXPECT_EQ(accepted.m_Domains, (std::vector<std::string>{"spammer.example", "userbad.example", "ok.example"}));

    const BlockDomainsCheck longLine = CheckBlockDomains(std::string(300, 'a'));
    ASSERT_EQ(longLine.m_Domains.size(), 1U);
    EXPECT_EQ(longLine.m_Domains[0].size(), 255U);
}

TEST(ListEditsTest, FriendCommandsCompareExactlyAndFilterDeletesLeaveTheirList) {
    CFilterLists lists;
    EXPECT_TRUE(AddFriend(lists, "a@b.com"));
    EXPECT_FALSE(AddFriend(lists, "a@b.com"));
    EXPECT_TRUE(AddFriend(lists, "A@b.com"));
    EXPECT_FALSE(ReplaceFriend(lists, "a@b.com", "A@b.com"));
    EXPECT_TRUE(ReplaceFriend(lists, "a@b.com", "c@d.com"));
    EXPECT_FALSE(ReplaceFriend(lists, "gone@b.com", "e@f.com"));
    EXPECT_TRUE(RemoveFriend(lists, "A@b.com"));
    EXPECT_FALSE(RemoveFriend(lists, "A@b.com"));
    EXPECT_EQ(lists.m_Friends.Snapshot(), std::vector<std::string>{"c@d.com"});

    lists.m_FromList.Add("casino");
    lists.m_BodyList.Add("casino");
    EXPECT_TRUE(RemoveFilterEntry(lists, EFilterList::kBody, "casino"));
    EXPECT_FALSE(RemoveFilterEntry(lists, EFilterList::kBody, "casino"));
    EXPECT_TRUE(lists.m_FromList.Contains("casino"));
}

}  // namespace
}  // namespace sieveclaw
