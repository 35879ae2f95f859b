#include "net/Pop3Replies.h"

#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

namespace sieveclaw {
namespace {

struct ReadResult {
    CPop3ReplyReader::EState m_State;
    std::string m_Status;
    std::string m_Body;
    std::size_t m_Taken;
};

// Feeds the pieces in order, as the socket would hand them over.
ReadResult Read(bool multiLine, std::initializer_list<std::string_view> pieces, std::size_t maxBody = 1 << 20) {
    CPop3ReplyReader reader(multiLine, maxBody);
    std::size_t taken = 0;
    for (const std::string_view piece : pieces) {
        taken += reader.Take(piece);
    }
    return {reader.State(), reader.Status(), reader.Body(), taken};
}

TEST(Pop3ReplyReaderTest, ReadsWholeRepliesHoweverTheyAreSplit) {
    using EState = CPop3ReplyReader::EState;
    struct Case {
        const char* m_Name;
        bool m_MultiLine;
        std::string m_Wire;
        std::string m_Status;
        std::string m_Body;
    };
    const std::string greeting = "+OK " + std::string(507, 'g') + "\r\n";  // 512 octets, the most allowed
    const Case cases[] = {
        {"greeting of the longest length", false, greeting, greeting, ""},
        {"single line, bare LF", false, "+OK 2 320\n", "+OK 2 320\n", ""},
        {"refusal ends a multi-line command", true, "-ERR no such message\r\n", "-ERR no such message\r\n", ""},
        {"garbage ends after its line", true, "hello\r\n", "hello\r\n", ""},
        {"empty body", true, "+OK\r\n.\r\n", "+OK\r\n", ""},
        {"header block", true, "+OK\r\nSubject: x\r\n\r\n.\r\n", "+OK\r\n", "Subject: x\r\n\r\n"},
        // Stuffed lines lose their first dot; a lone dot in the text arrives as "..".
        {"unstuffing", true, "+OK\r\n..\r\n...dots\r\n.x\r\nplain\r\n.\r\n", "+OK\r\n", ".\r\n..dots\r\nx\r\nplain\r\n"},
        // A bare LF is data, so a dot after it is no end marker; CR alone neither.
        {"bare LF and CR are data", true, "+OK\r\nab\n.\r\ncd\r.\r\n.\r\n", "+OK\r\n", "ab\n.\r\ncd\r.\r\n"},
        {"NUL bytes", true, std::string("+OK\r\nA\0B\r\n.\r\n", 13), "+OK\r\n", std::string("A\0B\r\n", 5)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.m_Name);
        const std::string wire = c.m_Wire + "+OK next reply\r\n";
        const auto check = [&](const ReadResult& got, const std::string& how) {
            EXPECT_EQ(got.m_State, EState::kComplete) << how;
            EXPECT_EQ(got.m_Status, c.m_Status) << how;
            EXPECT_EQ(got.m_Body, c.m_Body) << how;
            EXPECT_EQ(got.m_Taken, c.m_Wire.size()) << how << ": took bytes of the next reply";
        };
        check(Read(c.m_MultiLine, {wire}), "whole");
        for (std::size_t split = 1; split < wire.size(); ++split) {
            const std::string_view view(wire);
            CPop3ReplyReader reader(c.m_MultiLine, 1 << 20);
            std::size_t taken = reader.Take(view.substr(0, split));
            if (taken == split) {
                taken += reader.Take(view.substr(split));
            }
            check({reader.State(), reader.Status(), reader.Body(), taken}, "split at " + std::to_string(split));
        }
        CPop3ReplyReader reader(c.m_MultiLine, 1 << 20);
        std::size_t taken = 0;
        for (std::size_t i = 0; i < wire.size() && !reader.IsComplete(); ++i) {
            taken += reader.Take(std::string_view(wire).substr(i, 1));
        }
        check({reader.State(), reader.Status(), reader.Body(), taken}, "a byte at a time");
    }
}

TEST(Pop3ReplyReaderTest, UnfinishedAndOversizedReplies) {
    using EState = CPop3ReplyReader::EState;
    // Cut anywhere before its end marker, a reply is never complete.
    const std::string wire = "+OK\r\nSubject: x\r\n\r\nbody\r\n.\r\n";
    for (std::size_t cut = 0; cut < wire.size(); ++cut) {
        EXPECT_EQ(Read(true, {std::string_view(wire).substr(0, cut)}).m_State, EState::kNeedMore) << cut;
    }
    EXPECT_EQ(Read(false, {"+OK"}).m_State, EState::kNeedMore);
    EXPECT_EQ(Read(false, {std::string(CPop3ReplyReader::kMaxStatusLine + 1, 'x')}).m_State, EState::kTooLong);
    // The bound counts the body as the server holds it, partial lines included.
    EXPECT_EQ(Read(true, {"+OK\r\n12345\r\n.\r\n"}, 7).m_State, EState::kComplete);
    EXPECT_EQ(Read(true, {"+OK\r\n123456\r\n.\r\n"}, 7).m_State, EState::kTooLong);
    EXPECT_EQ(Read(true, {"+OK\r\n", std::string(8, 'x')}, 7).m_State, EState::kTooLong);
    // Wherever the bytes are split: a line that ends in the next piece is counted once, and a
    // stuffing dot not at all.
    EXPECT_EQ(Read(true, {"+OK\r\n12345\r", "\n"}, 7).m_State, EState::kNeedMore);
    EXPECT_EQ(Read(true, {"+OK\r\n.12345\r", "\n.", "\r\n"}, 7).m_State, EState::kComplete);
}

TEST(Pop3RepliesTest, StatAndListRepliesAreReadStrictly) {
    struct Case {
        std::string_view m_Reply;
        bool m_Valid;
        long long m_First;
        long long m_Second;
    };
    const Case cases[] = {
        {"+OK 12 20480\r\n", true, 12, 20480},
        {"+OK 12 20480", true, 12, 20480},
        {"+OK 0 0\r\n", true, 0, 0},
        {"+OK 3 2048 octets\r\n", true, 3, 2048},
        // Mailboxes beyond 2 GiB and counts beyond 32 bits must not wrap.
        {"+OK 4294967296 99999999999\r\n", true, 4294967296LL, 99999999999LL},
        {"-ERR mailbox locked\r\n", false, 0, 0},
        {"-ERR 5 7\r\n", false, 0, 0},
        {"+OK\r\n", false, 0, 0},
        {"+OK 3\r\n", false, 0, 0},
        {"+OK 3 \r\n", false, 0, 0},
        {"+OK -3 20\r\n", false, 0, 0},
        {"+OK 3 -20\r\n", false, 0, 0},
        {"+OK 3x 20\r\n", false, 0, 0},
        {"+OK 3 20x\r\n", false, 0, 0},
        {"+OK  3 20\r\n", false, 0, 0},
        {"+OK 1000000000000000 1\r\n", false, 0, 0},
        {"+ok 3 20\r\n", false, 0, 0},
        {"", false, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.m_Reply);
        const std::optional<Pop3Stats> stats = ParseStatReply(c.m_Reply);
        const std::optional<Pop3Listing> listing = ParseListReply(c.m_Reply);
        ASSERT_EQ(stats.has_value(), c.m_Valid);
        ASSERT_EQ(listing.has_value(), c.m_Valid);
        if (c.m_Valid) {
            EXPECT_EQ(stats->m_Count, c.m_First);
            EXPECT_EQ(stats->m_Size, c.m_Second);
            EXPECT_EQ(listing->m_Number, c.m_First);
            EXPECT_EQ(listing->m_Size, c.m_Second);
        }
    }
}

// A message whose id or size cannot be told for sure gets none: it is then read as a server
// without the listing would have it read, never mistaken for another message.
TEST(Pop3RepliesTest, ListingsNameEachMessageOnceOrNotAtAll) {
    struct Case {
        std::string_view m_Name;
        std::string_view m_Uidl;
        std::vector<std::string> m_Ids;
        std::string_view m_List;
        std::vector<long long> m_Sizes;
    };
    const std::string longest(70, 'x');
    const std::string tooLong(71, 'x');
    const Case cases[] = {
        {"whole", "1 a1\r\n2 b2\r\n3 c3\r\n", {"a1", "b2", "c3"}, "1 10\r\n2 20\r\n3 30\r\n", {10, 20, 30}},
        {"line feeds only, out of order", "3 c3\n1 a1\n2 b2", {"a1", "b2", "c3"}, "2 20\n3 30\n1 10", {10, 20, 30}},
        {"missing and outside the count", "0 z\r\n2 b2\r\n4 d4\r\n-1 y\r\n", {"", "b2", ""},
         "0 5\r\n2 20\r\n4 40\r\n", {-1, 20, -1}},
        {"named twice alike, named twice apart", "1 a1\r\n1 a1\r\n2 b2\r\n2 bx\r\n2 b2\r\n", {"a1", "", ""},
         "1 10\r\n1 10\r\n2 20\r\n2 21\r\n2 20\r\n", {10, -1, -1}},
        {"one id for two messages", "1 same\r\n2 same\r\n3 c3\r\n", {"", "", "c3"}, "", {-1, -1, -1}},
        {"malformed lines", "1  a1\r\n2\tb2\r\n3 c 3\r\nx3 c3\r\n", {"", "", ""},
         "1  10\r\n2 20x\r\n3 -30\r\n", {-1, -1, -1}},
        {"size with a note", "", {"", "", ""}, "1 10 octets\r\n", {10, -1, -1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.m_Name);
        EXPECT_EQ(ParseUidlListing(c.m_Uidl, 3), c.m_Ids);
        EXPECT_EQ(ParseListListing(c.m_List, 3), c.m_Sizes);
    }
    EXPECT_EQ(ParseUidlListing("1 " + longest + "\r\n2 " + tooLong + "\r\n3 \x01\r\n", 3),
              (std::vector<std::string>{longest, "", ""}));
    EXPECT_TRUE(ParseUidlListing("1 a1\r\n", 0).empty());
    EXPECT_TRUE(ParseListListing("1 10\r\n", -1).empty());
}

TEST(Pop3RepliesTest, OkAndErrAreExactCaseSensitivePrefixes) {
    EXPECT_TRUE(IsOkReply("+OK welcome\r\n"));
    EXPECT_TRUE(IsOkReply("+OKAY"));
    EXPECT_FALSE(IsOkReply("+ok\r\n"));
    EXPECT_FALSE(IsOkReply(" +OK\r\n"));
    EXPECT_FALSE(IsOkReply("+O"));
    EXPECT_TRUE(IsErrReply("-ERR bad\r\n"));
    EXPECT_FALSE(IsErrReply("-Err bad\r\n"));
    EXPECT_FALSE(IsErrReply("-ER"));
    EXPECT_EQ(ReplyText("-ERR [AUTH] Authentication failed.\r\n"), "[AUTH] Authentication failed.");
    EXPECT_EQ(ReplyText("+OK\r\n"), "");
    EXPECT_EQ(ReplyText("garbage\n"), "garbage");
}

TEST(Pop3RepliesTest, StlsMustBeACapabilityOfItsOwn) {
    EXPECT_TRUE(CapaListsStls("TOP\r\nSTLS\r\nUSER\r\n"));
    EXPECT_TRUE(CapaListsStls("TOP\r\nstls\r\n"));  // capability names ignore case
    EXPECT_TRUE(CapaListsStls("UIDL\r\nSTLS"));
    EXPECT_FALSE(CapaListsStls(""));
    EXPECT_FALSE(CapaListsStls("TOP\r\nUSER\r\nUIDL\r\n"));
    EXPECT_FALSE(CapaListsStls("XSTLS\r\nSTLSX\r\n"));
    EXPECT_FALSE(CapaListsStls("SASL PLAIN STLS\r\n"));
}

}  // namespace
}  // namespace sieveclaw
