#include "filter/SpamDecision.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tests/filter/ReferenceDecision.h"

namespace sieveclaw {
namespace {

using test::CRecordingSink;
using Posts = std::vector<std::pair<int, std::int64_t>>;

CEmailMsg Message(std::string from, std::string subject, std::string body) {
    CEmailMsg message;
    message.m_To = "reader@example.org";
    message.m_From = std::move(from);
    message.m_Subject = std::move(subject);
    message.m_Date = "Tue, 8 Dec 2026 09:00:00 +0000";
    message.m_Body = std::move(body);
    return message;
}

struct Verdict {
    bool m_Spam = false;
    std::string m_Reason;
    Posts m_Posts;
};

// Runs IsSpam, and the reference beside it, which must agree on every output.
Verdict Judge(const CEmailMsg& message, const CFilterLists& lists, bool autoDelFileExts = false) {
    Verdict verdict{false, "untouched", {}};
    CRecordingSink sink;
    verdict.m_Spam = IsSpam(message, verdict.m_Reason, lists, autoDelFileExts, &sink);
    verdict.m_Posts = sink.m_Posts;

    std::string reason = "untouched";
    CRecordingSink referenceSink;
    EXPECT_EQ(test::ReferenceIsSpam(message, reason, lists, autoDelFileExts, &referenceSink), verdict.m_Spam);
    EXPECT_EQ(reason, verdict.m_Reason);
    EXPECT_EQ(referenceSink.m_Posts, verdict.m_Posts);
    return verdict;
}

TEST(SpamDecisionTest, WordBoundariesAreEverythingButAsciiLetters) {
    for (int byte = 0; byte < 256; ++byte) {
        const bool letter = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z');
        EXPECT_EQ(IsWordBoundaryChar(static_cast<char>(byte)), !letter) << byte;
    }
}

TEST(SpamDecisionTest, BodyEntryCountsOnlyAsAWholeWordAtItsFirstOccurrence) {
    CFilterLists lists;
    lists.m_BodyList.Add("free");
    const auto judge = [&lists](std::string subject) { return Judge(Message("a@b.example", subject, "hello"), lists); };

    EXPECT_EQ(judge("Free offer").m_Reason, "The subject contains 'free'");
    EXPECT_EQ(judge("Get free stuff").m_Reason, "The subject contains 'free'");
    EXPECT_EQ(judge("Get FREE").m_Reason, "The subject contains 'free'");
    EXPECT_EQ(judge("free2you").m_Reason, "The subject contains 'free'");
    EXPECT_EQ(judge("(free)").m_Reason, "The subject contains 'free'");
    EXPECT_EQ(judge(std::string("\xC3\xA9") + "free" + "\xC3\xA9").m_Reason, "The subject contains 'free'");
    for (const char* good : {"freedom", "carefree", "freedom is free", "Get fr ee", ""}) {
        const Verdict verdict = judge(good);
        EXPECT_FALSE(verdict.m_Spam) << good;
        EXPECT_EQ(verdict.m_Reason, "untouched") << good;
    }
}

TEST(SpamDecisionTest, SubjectReasonWinsAndTheListOrderDecides) {
    CFilterLists lists;
    lists.m_BodyList.Add("casino");
    lists.m_BodyList.Add("Free");
    EXPECT_EQ(Judge(Message("a@b.example", "free", "free casino"), lists).m_Reason, "The email contains 'casino'");
    EXPECT_EQ(Judge(Message("a@b.example", "casino night", "casino"), lists).m_Reason, "The subject contains 'casino'");
    EXPECT_EQ(Judge(Message("a@b.example", "free", "totally free"), lists).m_Reason, "The subject contains 'Free'");
    // Only the body at its very end, and at its very start.
    EXPECT_EQ(Judge(Message("a@b.example", "hi", "totally free"), lists).m_Reason, "The email contains 'Free'");
    EXPECT_EQ(Judge(Message("a@b.example", "hi", "free!"), lists).m_Reason, "The email contains 'Free'");
}

TEST(SpamDecisionTest, FromListFoldsCaseAndShowsTheEntryAsTyped) {
    CFilterLists lists;
    lists.m_FromList.Add("CheapMeds");
    lists.m_FromList.Add("pills.example");
    lists.m_BodyList.Add("hello");
    EXPECT_EQ(Judge(Message("sales@CHEAPMEDS.example", "hello", "hello"), lists).m_Reason, "From contains 'CheapMeds'");
    // No whole-word rule in From.
    EXPECT_EQ(Judge(Message("x@bestpills.example.net", "hi", "hi"), lists).m_Reason, "From contains 'pills.example'");
}

TEST(SpamDecisionTest, FriendsAreComparedAsStoredAndDomainsAsAPrefixOfTheHost) {
    CFilterLists lists;
    lists.m_Friends.Append("example.com");
    lists.m_Friends.Append("Boss@Work.example");
    lists.m_BodyList.Add("casino");
    const auto spam = [&lists](const std::string& from) { return Judge(Message(from, "casino", ""), lists).m_Spam; };

    EXPECT_FALSE(spam("anyone@example.com"));
    EXPECT_FALSE(spam("anyone@example.com.au"));
    EXPECT_TRUE(spam("anyone@EXAMPLE.COM"));
    EXPECT_TRUE(spam("example.com@elsewhere.example"));  // the host is what follows the first '@'
    EXPECT_TRUE(spam("anyone@mail.example.com"));
    EXPECT_FALSE(spam("the.Boss@Work.example"));
    EXPECT_TRUE(spam("boss@work.example"));
    // Our own domains count as friends without an entry.
    EXPECT_FALSE(spam("news@sieveclaw.com"));
    EXPECT_FALSE(spam("support@sieveclaw.org"));
    EXPECT_TRUE(spam("news@SIEVECLAW.COM"));
}

TEST(SpamDecisionTest, AttachmentTestRunsForFriendsToo) {
    CFilterLists lists;
    lists.m_Friends.Append("friend@example.com");
    lists.m_Exts.Append(".bat");
    lists.m_Exts.Append(".pif");
    CEmailMsg message = Message("friend@example.com", "photos", "see attached");
    EmailAttachment attachment;
    attachment.m_ContentType = "application/octet-stream";
    attachment.m_Disposition = "attachment; filename=\"holiday.pif\"";
    message.m_Attachments.push_back(attachment);

    const Verdict verdict = Judge(message, lists, true);
    EXPECT_TRUE(verdict.m_Spam);
    EXPECT_EQ(verdict.m_Reason, "This email contains a file attachment of type '.pif'.");
    EXPECT_EQ(verdict.m_Posts, (Posts{{kStatusProgress, 0}}));
    EXPECT_FALSE(Judge(message, lists, false).m_Spam);

    // Case-sensitive, and each of the three fields counts.
    message.m_Attachments[0].m_Disposition = "attachment; filename=\"HOLIDAY.PIF\"";
    EXPECT_FALSE(Judge(message, lists, true).m_Spam);
    message.m_Attachments[0].m_Description = "run.bat";
    EXPECT_EQ(Judge(message, lists, true).m_Reason, "This email contains a file attachment of type '.bat'.");
}

TEST(SpamDecisionTest, BlankMessageIsSpamAndEndsTheDecision) {
    CFilterLists lists;
    lists.m_Exts.Append(".pif");
    CEmailMsg message;
    message.m_Body = "anything";
    EmailAttachment attachment;
    attachment.m_Disposition = "a.pif";
    message.m_Attachments.push_back(attachment);
    const Verdict verdict = Judge(message, lists, true);
    EXPECT_TRUE(verdict.m_Spam);
    EXPECT_EQ(verdict.m_Reason, "This message has a blank To, From, Subject and Date.");
    EXPECT_EQ(verdict.m_Posts, (Posts{{kStatusProgress, 0}}));

    message.m_Date = "today";
    EXPECT_EQ(Judge(message, lists, true).m_Reason, "This email contains a file attachment of type '.pif'.");
}

TEST(SpamDecisionTest, SalvagedMessageIsGoodAtOnceWithoutProgress) {
    CFilterLists lists;
    lists.m_FromList.Add("spammer");
    const CEmailMsg message = Message("spammer@example.net", "Win", "x");
    MessageEntry salvaged{message.m_To, message.m_From, message.m_Subject, "another date", "/some/path"};
    lists.m_Salvaged.Append(salvaged);

    std::string reason = "untouched";
    CRecordingSink sink;
    EXPECT_FALSE(IsSpam(message, reason, lists, true, &sink));
    EXPECT_EQ(reason, "untouched");
    EXPECT_TRUE(sink.m_Posts.empty());

    // To, From and Subject must all match, byte for byte.
    CEmailMsg other = message;
    other.m_Subject = "win";
    EXPECT_EQ(Judge(other, lists).m_Reason, "From contains 'spammer'");
}

TEST(SpamDecisionTest, ProgressCountsEntriesWalkedAndEndsWithZero) {
    CFilterLists lists;
    EXPECT_EQ(Judge(Message("a@b.example", "s", "b"), lists).m_Posts, (Posts{{kStatusProgress, 0}}));

    // 3 From entries and 4 Body entries: T = 7; a hit at the 2nd Body entry has walked 5.
    for (const char* entry : {"f1", "f2", "f3"}) {
        lists.m_FromList.Add(entry);
    }
    for (const char* entry : {"b1", "hit", "b3", "b4"}) {
        lists.m_BodyList.Add(entry);
    }
    const Verdict verdict = Judge(Message("a@b.example", "s", "a hit"), lists);
    EXPECT_EQ(verdict.m_Posts, (Posts{{kStatusProgress, 14},
                                      {kStatusProgress, 28},
                                      {kStatusProgress, 42},
                                      {kStatusProgress, 57},
                                      {kStatusProgress, 71},
                                      {kStatusProgress, 0}}));
    EXPECT_EQ(Judge(Message("a@b.example", "s", "nothing"), lists).m_Posts.size(), 8U);

    // With more entries than percent, a percentage is posted once.
    for (int n = 0; n < 250; ++n) {
        lists.m_BodyList.Add("word" + std::to_string(n));
    }
    const Posts posts = Judge(Message("a@b.example", "s", "nothing"), lists).m_Posts;
    ASSERT_EQ(posts.size(), 101U);
    for (std::size_t n = 0; n < 100; ++n) {
        EXPECT_EQ(posts[n].second, static_cast<std::int64_t>(n + 1));
    }

    // Friends skip the walk.
    lists.m_Friends.Append("b.example");
    EXPECT_EQ(Judge(Message("a@b.example", "s", "hit"), lists).m_Posts, (Posts{{kStatusProgress, 0}}));
    // Without a sink nothing is posted, and the verdict is the same.
    std::string reason;
    EXPECT_TRUE(IsSpam(Message("a@c.example", "s", "hit"), reason, lists, false, nullptr));
    EXPECT_EQ(reason, "The email contains 'hit'");
}

TEST(SpamDecisionTest, EmptyEntriesBehaveLikeASubstringSearch) {
    // Loading never stores one, but the lists accept it; it occurs at the start of every text.
    CFilterLists lists;
    lists.m_BodyList.Add("");
    EXPECT_FALSE(Judge(Message("a@b.example", "Subject", "Body"), lists).m_Spam);
    EXPECT_EQ(Judge(Message("a@b.example", "Subject", " body"), lists).m_Reason, "The email contains ''");
    EXPECT_EQ(Judge(Message("a@b.example", "", "Body"), lists).m_Reason, "The subject contains ''");
    lists.m_FromList.Add("");
    EXPECT_EQ(Judge(Message("a@b.example", "Subject", "Body"), lists).m_Reason, "From contains ''");
}

TEST(SpamDecisionTest, ListsMayChangeWhileTwoThreadsDecide) {
    CFilterLists lists;
    lists.m_BodyList.Add("casino");
    lists.m_FromList.Add("spammer");
    const CEmailMsg bodyHit = Message("a@b.example", "hello", "the casino is open");
    const CEmailMsg fromHit = Message("spammer@b.example", "hello", "hi");
    std::atomic<bool> stop{false};
    std::atomic<int> wrong{0};
    const auto decide = [&] {
        while (!stop) {
            std::string reason;
            if (!IsSpam(bodyHit, reason, lists, false, nullptr) || reason != "The email contains 'casino'") {
                ++wrong;
            }
            if (!IsSpam(fromHit, reason, lists, false, nullptr) || reason != "From contains 'spammer'") {
                ++wrong;
            }
        }
    };
    std::thread worker(decide);
    std::thread window(decide);
    for (int n = 0; n < 300; ++n) {
        lists.m_BodyList.Add("word" + std::to_string(n));
        lists.m_FromList.Add("sender" + std::to_string(n));
        if (n % 3 == 0) {
            lists.m_BodyList.Remove("word" + std::to_string(n / 2));
        }
    }
    stop = true;
    worker.join();
    window.join();
    EXPECT_EQ(wrong, 0);
}

}  // namespace
}  // namespace sieveclaw
