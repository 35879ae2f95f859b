#include "net/SmtpReplies.h"

#include <string>
#include <string_view>

#include <gtest/gtest.h>

namespace sieveclaw {
namespace {

constexpr std::size_t kIncomplete = std::string_view::npos;

TEST(SmtpRepliesTest, AReplyEndsWithItsFirstLineWithoutAHyphen) {
    EXPECT_EQ(SmtpReplyLength("250 OK\r\n"), 8u);
    EXPECT_EQ(SmtpReplyLength("221\r\n"), 5u);
    EXPECT_EQ(SmtpReplyLength("250-host\r\n250-SIZE 10\r\n250 HELP\r\n"), 33u);
    // Bytes after the reply belong to the next one.
    EXPECT_EQ(SmtpReplyLength("250 OK\r\n354 go on\r\n"), 8u);
    // Servers that end lines with a bare LF are understood too.
    EXPECT_EQ(SmtpReplyLength("250-a\n250 b\n"), 12u);

    EXPECT_EQ(SmtpReplyLength(""), kIncomplete);
    EXPECT_EQ(SmtpReplyLength("250 OK"), kIncomplete);
    EXPECT_EQ(SmtpReplyLength("250-host\r\n250-SIZE"), kIncomplete);
    EXPECT_EQ(SmtpReplyLength("250-host\r\n250-SIZE 10\r\n"), kIncomplete);
}

TEST(SmtpRepliesTest, AReplyArrivingByteByByteIsFoundAtItsLastByte) {
    const std::string reply = "250-sieveclaw\r\n250-STARTTLS\r\n250-AUTH LOGIN\r\n250 HELP\r\n";
    const std::string wire = reply + "221 Bye\r\n";
    // As the reader calls it: each time a byte more, telling how far it looked before.
    std::size_t scanned = 0;
    std::size_t have = 1;
    for (; have <= wire.size(); ++have) {
        if (SmtpReplyLength(std::string_view(wire.data(), have), scanned) != kIncomplete) {
            break;
        }
        scanned = have;
    }
    EXPECT_EQ(have, reply.size());
    EXPECT_EQ(SmtpReplyLength(wire, scanned), reply.size());
}

TEST(SmtpRepliesTest, CodesAndExtensionsAreReadWhereTheProtocolPutsThem) {
    EXPECT_TRUE(ReplyCodeIs("250 OK\r\n", "250"));
    EXPECT_TRUE(ReplyCodeIs("250-first\r\n250 last\r\n", "250"));
    EXPECT_FALSE(ReplyCodeIs("25", "250"));
    EXPECT_FALSE(ReplyCodeIs("", "250"));
    EXPECT_FALSE(ReplyCodeIs("550 250 OK\r\n", "250"));

    const std::string_view ehlo =
        "250-mail.example STARTTLS ready\r\n250-SIZE 1000\r\n250-starttls\r\n250 AUTH LOGIN\r\n";
    EXPECT_TRUE(EhloOffers(ehlo, "STARTTLS"));  // any case
    EXPECT_TRUE(EhloOffers(ehlo, "AUTH"));
    EXPECT_TRUE(EhloOffers(ehlo, "size"));
    EXPECT_FALSE(EhloOffers(ehlo, "LOGIN"));  // a parameter, not a keyword
    // The first line names the server; a word there is no extension.
    EXPECT_FALSE(EhloOffers("250 mail.example STARTTLS\r\n", "STARTTLS"));
    EXPECT_FALSE(EhloOffers("250-host\r\n250 STARTTLSX\r\n", "STARTTLS"));
    EXPECT_FALSE(EhloOffers("", "STARTTLS"));
}

TEST(SmtpRepliesTest, TheHelloNameIsTheComputerNameCutTo15Characters) {
    EXPECT_EQ(HelloNameFor("workstation"), "workstation");
    EXPECT_EQ(HelloNameFor("build-machine-0042.example.org"), "build-machine-0");
    EXPECT_EQ(HelloNameFor(""), "localhost");
    EXPECT_EQ(HelloNameFor("bad name"), "localhost");
    EXPECT_EQ(HelloNameFor("evil\r\nMAIL FROM:<x>"), "localhost");
    // Only the part that is sent counts.
    EXPECT_EQ(HelloNameFor("fifteen-chars-x and more"), "fifteen-chars-x");
}

TEST(SmtpRepliesTest, DataLinesStartingWithADotAreDoubledAndLineEndsBecomeCrLf) {
    CDataTransparency wire;
    EXPECT_EQ(wire.Encode(".starts\r\nplain\r\n.\r\n..two\r\n"), "..starts\r\nplain\r\n..\r\n...two\r\n");

    CDataTransparency bare;
    // A bare LF or CR ends a line for some servers, so it becomes CR LF and the dot after it
    // is doubled: nothing can end the data early.
    EXPECT_EQ(bare.Encode("a\n.\nb\r.\rc"), "a\r\n..\r\nb\r\n..\r\nc");

    // The first piece starts a line; a dot in the middle of a line stays single.
    CDataTransparency pieces;
    EXPECT_EQ(pieces.Encode(".x"), "..x");
    EXPECT_EQ(pieces.Encode("a.b."), "a.b.");
    // A CR at the end of one piece and its LF at the start of the next are one line break.
    EXPECT_EQ(pieces.Encode("line\r"), "line\r\n");
    EXPECT_EQ(pieces.Encode("\n.next"), "..next");
}

}  // namespace
}  // namespace sieveclaw
