#include "core/GuardedStringSet.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace sieveclaw {
namespace {

TEST(GuardedStringSetTest, KeepsInsertionOrderAndIgnoresExactDuplicates) {
    GuardedStringSet set;
    EXPECT_TRUE(set.Add("viagra"));
    EXPECT_TRUE(set.Add("casino"));
    EXPECT_TRUE(set.Add("Casino"));
    EXPECT_TRUE(set.Add("casino "));
    EXPECT_TRUE(set.Add(std::string("casino\0x", 8)));
    EXPECT_TRUE(set.Add("cas"));
    EXPECT_FALSE(set.Add("casino"));
    EXPECT_FALSE(set.Add(std::string("casino\0x", 8)));

    const std::vector<std::string> expected{"viagra", "casino", "Casino", "casino ", std::string("casino\0x", 8), "cas"};
    EXPECT_EQ(set.Entries(), expected);
    EXPECT_EQ(set.Count(), expected.size());
    EXPECT_TRUE(set.Contains("Casino"));
    EXPECT_FALSE(set.Contains("CASINO"));
    EXPECT_FALSE(set.Contains("casin"));
    EXPECT_FALSE(set.Contains(std::string("casino\0", 7)));
}

TEST(GuardedStringSetTest, RemoveKeepsTheOthersInOrder) {
    GuardedStringSet set;
    for (const char* text : {"a", "b", "c"}) {
        set.Add(text);
    }
    EXPECT_TRUE(set.Remove("b"));
    EXPECT_FALSE(set.Remove("b"));
    EXPECT_FALSE(set.Remove("B"));
    EXPECT_EQ(set.Entries(), (std::vector<std::string>{"a", "c"}));
    EXPECT_FALSE(set.Contains("b"));
    // Removed texts can come back, at the end.
    EXPECT_TRUE(set.Add("b"));
    EXPECT_EQ(set.Entries(), (std::vector<std::string>{"a", "c", "b"}));
    set.Clear();
    EXPECT_EQ(set.Count(), 0U);
    EXPECT_FALSE(set.Contains("a"));
}

TEST(GuardedStringSetTest, GenerationGrowsOnChangeOnly) {
    GuardedStringSet set;
    std::uint64_t generation = set.Generation();
    const auto changed = [&] {
        const std::uint64_t now = set.Generation();
        const bool grew = now > generation;
        generation = now;
        return grew;
    };
    set.Add("a");
    EXPECT_TRUE(changed());
    set.Add("a");
    EXPECT_FALSE(changed());
    set.Contains("a");
    set.Entries();
    EXPECT_FALSE(changed());
    set.Remove("missing");
    EXPECT_FALSE(changed());
    set.Remove("a");
    EXPECT_TRUE(changed());
    set.Add("b");
    EXPECT_TRUE(changed());
    set.Clear();
    EXPECT_TRUE(changed());
}

}  // namespace
}  // namespace sieveclaw
