#include "core/GuardedList.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace sieveclaw {
namespace {

std::vector<std::string> Walk(const GuardedList<std::string>& list) {
    std::vector<std::string> seen;
    for (ListPos pos = list.First(); pos != kNoPos; pos = list.Next(pos)) {
        if (auto entry = list.GetAt(pos)) {
            seen.push_back(*entry);
        }
    }
    return seen;
}

TEST(GuardedListTest, KeepsAppendOrder) {
    GuardedList<std::string> list;
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(list.First(), kNoPos);
    for (const char* text : {"c", "a", "b", "a"}) {
        list.Append(text);
    }
    const std::vector<std::string> expected{"c", "a", "b", "a"};
    EXPECT_EQ(Walk(list), expected);
    EXPECT_EQ(list.Snapshot(), expected);
    EXPECT_EQ(list.Count(), 4U);
    EXPECT_EQ(list.Find("a"), list.Next(list.First()));
    EXPECT_EQ(list.Find("z"), kNoPos);
}

TEST(GuardedListTest, PositionsSurviveRemovalAndAreNeverReused) {
    GuardedList<std::string> list;
    const ListPos a = list.Append("a");
    const ListPos b = list.Append("b");
    const ListPos c = list.Append("c");

    EXPECT_TRUE(list.RemoveAt(b));
    EXPECT_FALSE(list.RemoveAt(b));
    EXPECT_EQ(list.GetAt(a), "a");
    EXPECT_EQ(list.GetAt(c), "c");
    EXPECT_EQ(list.GetAt(b), std::nullopt);
    EXPECT_FALSE(list.VisitAt(b, [](const std::string&) {}));
    EXPECT_FALSE(list.ModifyAt(b, [](std::string& entry) { entry = "x"; }));
    // A walk that stood on the removed entry steps on to the one after it.
    EXPECT_EQ(list.Next(a), c);
    EXPECT_EQ(list.Next(b), c);
    EXPECT_EQ(list.Next(c), kNoPos);

    EXPECT_TRUE(list.ModifyAt(c, [](std::string& entry) { entry += "!"; }));
    EXPECT_EQ(list.GetAt(c), "c!");

    EXPECT_TRUE(list.RemoveAt(a));
    EXPECT_EQ(list.First(), c);

    list.Clear();
    EXPECT_TRUE(list.IsEmpty());
    const ListPos d = list.Append("d");
    EXPECT_NE(d, a);
    EXPECT_NE(d, b);
    EXPECT_NE(d, c);
    EXPECT_EQ(list.GetAt(c), std::nullopt);
    EXPECT_EQ(list.Next(b), d);
}

// One thread appends and removes while another walks: every walk sees entries in list order,
// only entries that were appended, and never trips over a removed one.
TEST(GuardedListTest, ConcurrentAppendsRemovesAndWalks) {
    GuardedList<int> list;
    constexpr int kCount = 4000;
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int i = 0; i < kCount; ++i) {
            const ListPos pos = list.Append(i);
            if (i % 2 == 0) {
                list.RemoveAt(pos);
            }
            if (i % 100 == 99) {
                // Remove an older odd entry from the middle of the list, then put it back.
                const ListPos middle = list.Find(i / 2 | 1);
                list.RemoveAt(middle);
                list.Append(-1);
            }
        }
        done = true;
    });
    int disorder = 0;
    int walks = 0;
    while (!done || walks < 10) {
        int last = -2;
        for (ListPos pos = list.First(); pos != kNoPos; pos = list.Next(pos)) {
            list.VisitAt(pos, [&](const int& value) {
                if (value != -1) {
                    disorder += value <= last ? 1 : 0;
                    last = value;
                }
            });
        }
        ++walks;
    }
    writer.join();
    EXPECT_EQ(disorder, 0) << "over " << walks << " walks";

    // The odd values remain, less those taken from the middle, each replaced by a marker.
    const std::vector<int> remaining = list.Snapshot();
    EXPECT_EQ(remaining.size(), static_cast<std::size_t>(kCount / 2));
    int odd = 0;
    int markers = 0;
    for (const int value : remaining) {
        if (value == -1) {
            ++markers;
        } else {
            EXPECT_EQ(value % 2, 1);
            ++odd;
        }
    }
    EXPECT_EQ(markers, kCount / 100);
    EXPECT_EQ(odd, kCount / 2 - kCount / 100);
}

}  // namespace
}  // namespace sieveclaw
