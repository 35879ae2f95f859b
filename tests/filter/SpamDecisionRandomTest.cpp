// IsSpam against the plain per-entry method on thousands of random messages and lists, built to
// hit the hard cases: entries inside, at the end of and equal (up to case) to other entries,
// entries at the very start or end of the text, letters and non-letters around them, bytes of
// 128 and above, empty subjects, entries in both lists, long lists for the progress posts.

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "filter/SpamDecision.h"
#include "tests/filter/ReferenceDecision.h"

namespace sieveclaw {
namespace {

using test::CRecordingSink;

class CRandomMail {
public:
    explicit CRandomMail(std::uint32_t sample) : m_Random(sample) {}

    std::size_t Below(std::size_t bound) { return bound == 0 ? 0 : m_Random() % bound; }
    bool OneIn(std::size_t n) { return Below(n) == 0; }

    // Short pieces over few letters overlap and contain one another all the time.
    std::string Word() {
        static const std::string kPieces[] = {"a", "b", "A", "B", "ab",       "free", "FREE", "Fre", "1", "2",
                                              " ", ".", "-", "@", "\xC3\xA9", "\x80", "\xFF", "z",   "Z", "x.com"};
        std::string word;
        for (std::size_t n = 1 + Below(3); n > 0; --n) {
            word += kPieces[Below(std::size(kPieces))];
        }
        return word;
    }

    std::string Text(std::size_t maxWords) {
        std::string text;
        for (std::size_t n = Below(maxWords + 1); n > 0; --n) {
            text += Word();
        }
        return text;
    }

    // An entry taken from the text (its start, its end or anywhere), or a fresh word, in any case.
    std::string Entry(const std::string& text) {
        std::string entry;
        if (!text.empty() && !OneIn(3)) {
            const std::size_t length = 1 + Below(6);
            switch (Below(3)) {
                case 0:
                    entry = text.substr(0, length);
                    break;
                case 1:
                    entry = text.substr(text.size() - std::min(length, text.size()));
                    break;
                default:
                    entry = text.substr(Below(text.size()), length);
                    break;
            }
        } else {
            entry = Word();
        }
        if (OneIn(3)) {
            for (char& c : entry) {
                if (c >= 'a' && c <= 'z') {
                    c = static_cast<char>(c - 'a' + 'A');
                } else if (c >= 'A' && c <= 'Z' && OneIn(2)) {
                    c = static_cast<char>(c - 'A' + 'a');
                }
            }
        }
        return entry;
    }

private:
    std::mt19937 m_Random;
};

struct Outcome {
    bool m_Spam = false;
    std::string m_Reason = "untouched";
    std::vector<std::pair<int, std::int64_t>> m_Posts;
};

TEST(SpamDecisionRandomTest, AgreesWithThePerEntryMethod) {
    CRandomMail random(424242);
    int spamCount = 0;
    int fromHits = 0;
    int subjectHits = 0;
    for (int round = 0; round < 4000; ++round) {
        CEmailMsg message;
        message.m_To = random.OneIn(20) ? "" : "me@home.example";
        message.m_From = random.OneIn(20) ? "" : random.Word() + "@" + random.Word();
        message.m_Subject = random.OneIn(4) ? "" : random.Text(6);
        message.m_Date = random.OneIn(20) ? "" : "Mon, 1 Jan 2026";
        message.m_Body = random.Text(round % 100 == 0 ? 5000 : round % 50 == 0 ? 400 : 30);

        CFilterLists lists;
        const std::string everything = message.m_Body + message.m_Subject;
        const std::size_t bodyEntries = round % 40 == 0 ? 300 : random.Below(12);
        for (std::size_t n = 0; n < bodyEntries; ++n) {
            lists.m_BodyList.Add(random.Entry(random.OneIn(2) ? message.m_Body : message.m_Subject));
        }
        const std::size_t fromEntries = random.Below(5);
        for (std::size_t n = 0; n < fromEntries; ++n) {
            // Mostly near misses, so the body list gets its turn.
            std::string entry = random.Entry(message.m_From);
            if (!random.OneIn(4)) {
                entry += "#";
            }
            lists.m_FromList.Add(entry);
            if (random.OneIn(4)) {
                lists.m_BodyList.Add(entry);  // the same entry in both lists
            }
        }
        if (random.OneIn(8)) {
            lists.m_Friends.Append(random.Entry(message.m_From));
        }
        if (random.OneIn(10)) {
            lists.m_Salvaged.Append(
                MessageEntry{message.m_To, message.m_From, random.OneIn(2) ? message.m_Subject : "other", "", ""});
        }
        const bool autoDel = random.OneIn(2);
        if (random.OneIn(3)) {
            lists.m_Exts.Append(".pif");
            EmailAttachment attachment;
            attachment.m_ContentType = random.OneIn(2) ? "application/x.pif" : "text/plain";
            message.m_Attachments.push_back(attachment);
        }
        if (random.OneIn(30)) {
            lists.m_BodyList.Add("");
        }

        for (const bool withSink : {true, false}) {
            Outcome fast;
            Outcome reference;
            CRecordingSink fastSink;
            CRecordingSink referenceSink;
            fast.m_Spam = IsSpam(message, fast.m_Reason, lists, autoDel, withSink ? &fastSink : nullptr);
            reference.m_Spam =
                test::ReferenceIsSpam(message, reference.m_Reason, lists, autoDel, withSink ? &referenceSink : nullptr);
            ASSERT_EQ(fast.m_Spam, reference.m_Spam) << "round " << round;
            ASSERT_EQ(fast.m_Reason, reference.m_Reason) << "round " << round;
            ASSERT_EQ(fastSink.m_Posts, referenceSink.m_Posts) << "round " << round;
            spamCount += fast.m_Spam ? 1 : 0;
            fromHits += fast.m_Reason.starts_with("From") ? 1 : 0;
            subjectHits += fast.m_Reason.starts_with("The subject") ? 1 : 0;
        }
    }
    // The mix must exercise both verdicts and every list, or it proves little.
    EXPECT_GT(spamCount, 1000);
    EXPECT_LT(spamCount, 7000);
    EXPECT_GT(fromHits, 100);
    EXPECT_GT(subjectHits, 100);
}

}  // namespace
}  // namespace sieveclaw
