#include "filter/WordMatcher.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "core/GuardedStringSet.h"
#include "tests/filter/ReferenceDecision.h"

namespace sieveclaw {
namespace {

using test::ReferenceUpper;

// index -> start, from the matcher.
std::map<std::size_t, std::size_t> FirstOccurrences(const CWordMatcher& matcher, std::string_view text) {
    std::vector<WordMatch> matches;
    matcher.FindFirst(text, matches);
    std::map<std::size_t, std::size_t> found;
    for (const WordMatch& match : matches) {
        EXPECT_TRUE(found.emplace(match.m_Index, match.m_Start).second) << "reported twice: " << match.m_Index;
    }
    return found;
}

// index -> start, by a substring search per pattern; equal folded patterns answer with the first.
std::map<std::size_t, std::size_t> NaiveFirstOccurrences(const std::vector<std::string>& patterns,
                                                         std::string_view text) {
    const std::string upperText = ReferenceUpper(std::string(text));
    std::map<std::string, std::size_t> firstOfText;
    std::map<std::size_t, std::size_t> found;
    for (std::size_t index = 0; index < patterns.size(); ++index) {
        const std::string upper = ReferenceUpper(patterns[index]);
        if (!firstOfText.emplace(upper, index).second) {
            continue;
        }
        const std::size_t at = upperText.find(upper);
        if (at != std::string::npos) {
            found.emplace(index, at);
        }
    }
    return found;
}

TEST(WordMatcherTest, FindsPatternsInsideAndAtTheEndOfOthers) {
    const std::vector<std::string> patterns{"he", "she", "his", "hers", "e", "her", "ushers"};
    const CWordMatcher matcher(patterns);
    const std::map<std::size_t, std::size_t> expected{{0, 2}, {1, 1}, {3, 2}, {4, 3}, {5, 2}, {6, 0}};
    EXPECT_EQ(FirstOccurrences(matcher, "ushers she his"),
              (std::map<std::size_t, std::size_t>{{0, 2}, {1, 1}, {2, 11}, {3, 2}, {4, 3}, {5, 2}, {6, 0}}));
    EXPECT_EQ(FirstOccurrences(matcher, "ushers"), expected);
    // Only the first occurrence of each, even when a later one would end earlier in a scan.
    EXPECT_EQ(FirstOccurrences(matcher, "sheep he"), (std::map<std::size_t, std::size_t>{{0, 1}, {1, 0}, {4, 2}}));
}

TEST(WordMatcherTest, FoldsAsciiCaseOnlyAndAnswersDuplicatesWithTheFirst) {
    const std::vector<std::string> patterns{"free", "FREE", "Free2", "\xC3\xA9t\xC3\xA9", "caf\xC3\xA9"};
    const CWordMatcher matcher(patterns);
    EXPECT_EQ(matcher.DistinctCount(), 4U);
    EXPECT_EQ(FirstOccurrences(matcher, "xFrEe fREE2 \xC3\xA9T\xC3\xA9 CAF\xC3\xA9"),
              (std::map<std::size_t, std::size_t>{{0, 1}, {2, 6}, {3, 12}, {4, 18}}));
    // Bytes above 127 are not folded: a different byte is a different letter.
    EXPECT_TRUE(FirstOccurrences(matcher, "\xC3\x89t\xC3\x89").empty());
}

TEST(WordMatcherTest, EmptyPatternOccursAtTheStartOfEveryText) {
    const CWordMatcher matcher(std::vector<std::string>{"abc", "", "ABC", ""});
    EXPECT_EQ(matcher.DistinctCount(), 2U);
    EXPECT_EQ(FirstOccurrences(matcher, ""), (std::map<std::size_t, std::size_t>{{1, 0}}));
    EXPECT_EQ(FirstOccurrences(matcher, "xabc"), (std::map<std::size_t, std::size_t>{{0, 1}, {1, 0}}));

    const CWordMatcher none(std::vector<std::string>{});
    EXPECT_TRUE(FirstOccurrences(none, "anything").empty());
}

TEST(WordMatcherTest, NulAndEveryOtherByteArePlainBytes) {
    const std::vector<std::string> patterns{std::string("a\0b", 3), std::string("\0", 1), "\xFF\xFE"};
    const CWordMatcher matcher(patterns);
    EXPECT_EQ(FirstOccurrences(matcher, std::string("xA\0B\xFF\xFE", 6)),
              (std::map<std::size_t, std::size_t>{{0, 1}, {1, 2}, {2, 4}}));
}

// Random lists over alphabets of a few letters (deep overlaps) up to nearly every byte (the widest
// node bitmaps), checked against one substring search per pattern; with no full rows but the
// root's, with some, and with the default, and with texts long enough to be scanned in stretches.
TEST(WordMatcherTest, AgreesWithASubstringSearchOnRandomInput) {
    std::mt19937 random(20240611);
    std::string everyByte;
    for (int byte = 0; byte < 256; ++byte) {
        everyByte.push_back(static_cast<char>(byte));
    }
    const std::vector<std::string> alphabets{"aAb", "abcAB .1", everyByte.substr(32, 60), everyByte.substr(0, 140),
                                             everyByte};
    const std::size_t budgets[] = {0, 2048, CWordMatcher::kRowBudgetBytes};
    for (const std::string& alphabet : alphabets) {
        for (int round = 0; round < 300; ++round) {
            const auto pick = [&](std::size_t maxLength) {
                std::string text(random() % (maxLength + 1), '\0');
                for (char& c : text) {
                    c = alphabet[random() % alphabet.size()];
                }
                return text;
            };
            const std::size_t longest = round % 10 == 0 ? 40000 : round % 10 == 1 ? 9000 : 200;
            const std::string text = pick(longest);
            std::vector<std::string> patterns;
            const std::size_t count = random() % 60;
            for (std::size_t n = 0; n < count; ++n) {
                if (!text.empty() && random() % 3 == 0) {
                    // A piece of the text, so that matches are common, sometimes with case changed.
                    const std::size_t from = random() % text.size();
                    std::string piece = text.substr(from, 1 + random() % (round % 7 == 0 ? 40 : 6));
                    if (random() % 2 == 0) {
                        piece = ReferenceUpper(piece);
                    }
                    patterns.push_back(piece);
                } else {
                    patterns.push_back(pick(round % 5 == 0 ? 12 : 5));
                }
            }
            const CWordMatcher matcher(patterns, budgets[round % 3]);
            ASSERT_EQ(FirstOccurrences(matcher, text), NaiveFirstOccurrences(patterns, text))
                << "alphabet of " << alphabet.size() << ", round " << round;
        }
    }
}

// The stretches of a long scan: a pattern that straddles a stretch boundary, one that occurs only
// late, and one that occurs early in every stretch but counts only from the first.
TEST(WordMatcherTest, LongTextsGiveTheSameFirstOccurrences) {
    std::string text(64 * 1024, 'x');
    const std::size_t quarter = text.size() / CWordMatcher::kStreams;
    text.replace(quarter - 3, 7, "borders");
    text.replace(10, 4, "late");
    text.replace(3 * quarter + 5, 4, "tail");
    text.replace(text.size() - 3, 3, "end");
    for (std::size_t stream = 0; stream < CWordMatcher::kStreams; ++stream) {
        text.replace(stream * quarter + 100, 5, "every");
    }
    const std::vector<std::string> patterns{"BORDERS", "tail", "every", "end", "xxxb", "late", "xyz"};
    const CWordMatcher matcher(patterns);
    EXPECT_EQ(FirstOccurrences(matcher, text), NaiveFirstOccurrences(patterns, text));
    EXPECT_EQ(FirstOccurrences(matcher, text).at(0), quarter - 3);
    EXPECT_EQ(FirstOccurrences(matcher, text).at(2), 100U);
    EXPECT_EQ(FirstOccurrences(matcher, text).at(3), text.size() - 3);
}

TEST(WordMatcherTest, StaysCompactForLargeLists) {
    std::mt19937 random(7);
    std::vector<std::string> patterns;
    for (int n = 0; n < 100000; ++n) {
        std::string word(4 + random() % 9, 'a');
        for (char& c : word) {
            c = static_cast<char>('a' + random() % 26);
        }
        patterns.push_back(word);
    }
    patterns.push_back("www.example-shop.com");
    patterns.push_back("buy now!");
    const CWordMatcher matcher(patterns);
    // Beside the bounded rows, a node costs its bitmap word, two links and an output: far from
    // the 256-wide row of a full table, which would take a gigabyte here.
    EXPECT_GT(matcher.NodeCount(), 400000U);
    EXPECT_LT(matcher.MemoryBytes(),
              matcher.NodeCount() * 21 + patterns.size() * 12 + CWordMatcher::kRowBudgetBytes + 4096);
    EXPECT_EQ(FirstOccurrences(matcher, "Visit WWW.Example-Shop.com and BUY NOW!").count(patterns.size() - 2), 1U);
}

TEST(WordMatcherTest, CacheRebuildsOnlyAfterTheListChanged) {
    GuardedStringSet list;
    list.Add("viagra");
    CListMatcherCache cache(list, CWordMatcher::kRowBudgetBytes);
    const std::shared_ptr<const CListMatcher> first = cache.Get();
    EXPECT_EQ(first->m_Entries, (std::vector<std::string>{"viagra"}));
    EXPECT_EQ(cache.Get(), first);

    list.Add("casino");
    const std::shared_ptr<const CListMatcher> second = cache.Get();
    EXPECT_NE(second, first);
    EXPECT_EQ(second->m_Entries, (std::vector<std::string>{"viagra", "casino"}));
    EXPECT_EQ(second->m_Generation, list.Generation());
    EXPECT_EQ(FirstOccurrences(second->m_Matcher, "CASINO").count(1), 1U);
    // A holder of the old matcher keeps a working one.
    EXPECT_TRUE(FirstOccurrences(first->m_Matcher, "CASINO").empty());

    list.Add("casino");  // already there: no change, no rebuild
    EXPECT_EQ(cache.Get(), second);
    list.Remove("casino");
    EXPECT_EQ(cache.Get()->m_Entries, (std::vector<std::string>{"viagra"}));
}

}  // namespace
}  // namespace sieveclaw
