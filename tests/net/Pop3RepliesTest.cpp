#include "net/Pop3Replies.h"

#include <string_view>

#include <gtest/gtest.h>

namespace sieveclaw {
namespace {

TEST(Pop3RepliesTest, StatReplyGivesCountAndSize) {
    struct Case {
        std::string_view m_Reply;
        long long m_Count;
        long long m_Size;
    };
    const Case cases[] = {
        {"+OK 12 20480\r\n", 12, 20480},
        {"+OK 12 20480", 12, 20480},
        {"+OK 0 0\r\n", 0, 0},
        // Mailboxes beyond 2 GiB and counts beyond 32 bits must not wrap.
        {"+OK 4294967296 99999999999\r\n", 4294967296LL, 99999999999LL},
        {"-ERR mailbox locked\r\n", 0, 0},
        // Not judged: after the four dropped characters the first blank comes at once, so the
        // count is read from nothing; still never a count for a refused STAT.
        {"-ERR 5 7\r\n", 0, 5},
        {"+OK\r\n", 0, 0},
        {"+OK no numbers here\r\n", 0, 0},
        {"", 0, 0},
        {"+O", 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.m_Reply);
        const Pop3Stats stats = ParseStatReply(c.m_Reply);
        EXPECT_EQ(stats.m_Count, c.m_Count);
        EXPECT_EQ(stats.m_Size, c.m_Size);
    }
}

TEST(Pop3RepliesTest, ListReplyGivesTheNumberAfterTheSecondBlank) {
    struct Case {
        std::string_view m_Reply;
        long long m_Size;
    };
    const Case cases[] = {
        {"+OK 3 2048\r\n", 2048},
        {"+OK 3 2048", 2048},
        {"+OK 3 2048 extra words\r\n", 2048},
        {"+OK 3 5000000000\r\n", 5000000000LL},
        {" ", 0},
        {"", 0},
        {"+OK\r\n", 0},
        {"+OK 3\r\n", 0},
        {"+OK 3 \r\n", 0},
        {"-ERR no such message\r\n", 0},
        {"+OK 3 junk\r\n", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.m_Reply);
        EXPECT_EQ(ParseListReply(c.m_Reply), c.m_Size);
    }
}

TEST(Pop3RepliesTest, EndMarkerIsCrLfDotCrLfAtTheVeryEnd) {
    EXPECT_TRUE(EndsWithEndMarker("\r\n.\r\n"));
    EXPECT_TRUE(EndsWithEndMarker("Subject: x\r\n\r\nbody\r\n.\r\n"));
    EXPECT_FALSE(EndsWithEndMarker(""));
    EXPECT_FALSE(EndsWithEndMarker(".\r\n"));
    EXPECT_FALSE(EndsWithEndMarker("body\r\n..\r\n"));  // a stuffed dot line is not the end
    EXPECT_FALSE(EndsWithEndMarker("body\r\n.\r\nmore"));
    EXPECT_FALSE(EndsWithEndMarker("body\n.\n"));
    EXPECT_FALSE(EndsWithEndMarker("body\r\n. \r\n"));
}

TEST(Pop3RepliesTest, OkAndErrAreExactCaseSensitivePrefixes) {
    EXPECT_TRUE(IsOkReply("+OK"));
    EXPECT_TRUE(IsOkReply("+OK welcome\r\n"));
    EXPECT_TRUE(IsOkReply("+OKAY"));
    EXPECT_FALSE(IsOkReply("+ok\r\n"));
    EXPECT_FALSE(IsOkReply(" +OK\r\n"));
    EXPECT_FALSE(IsOkReply("+O"));
    EXPECT_FALSE(IsOkReply(""));
    EXPECT_FALSE(IsOkReply("-ERR\r\n"));

    EXPECT_TRUE(IsErrReply("-ERR"));
    EXPECT_TRUE(IsErrReply("-ERR bad\r\n"));
    EXPECT_FALSE(IsErrReply("-Err bad\r\n"));
    EXPECT_FALSE(IsErrReply("-ER"));
    EXPECT_FALSE(IsErrReply(""));
    EXPECT_FALSE(IsErrReply("+OK\r\n"));
}

TEST(Pop3RepliesTest, StlsMustBeACapabilityOfItsOwn) {
    EXPECT_TRUE(CapaListsStls("TOP\r\nSTLS\r\nUSER\r\n"));
    EXPECT_TRUE(CapaListsStls("STLS\r\n"));
    EXPECT_TRUE(CapaListsStls("TOP\r\nstls\r\n"));  // capability names ignore case
    EXPECT_TRUE(CapaListsStls("TOP\nSTLS\n"));
    EXPECT_TRUE(CapaListsStls("UIDL\r\nSTLS"));
    EXPECT_FALSE(CapaListsStls(""));
    EXPECT_FALSE(CapaListsStls("TOP\r\nUSER\r\nUIDL\r\n"));
    EXPECT_FALSE(CapaListsStls("XSTLS\r\n"));
    EXPECT_FALSE(CapaListsStls("STLSX\r\n"));
    EXPECT_FALSE(CapaListsStls("SASL PLAIN STLS\r\n"));
    EXPECT_FALSE(CapaListsStls("IMPLEMENTATION no STLS here\r\n"));
}

}  // namespace
}  // namespace sieveclaw
