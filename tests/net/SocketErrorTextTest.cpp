#include "net/SocketErrorText.h"

#include <cerrno>
#include <string>

#include <gtest/gtest.h>

namespace sieveclaw {
namespace {

TEST(SocketErrorTextTest, TableTextsKeepTheirBlankAndCode) {
    // Texts ending in a blank show two blanks before the code; users and the log have always
    // seen them that way.
    EXPECT_EQ(SocketErrorText(10056), "The socket is already connected.  (10056)");
    EXPECT_EQ(SocketErrorText(10022), "The socket has not been bound with bind.  (10022)");
    EXPECT_EQ(SocketErrorText(10014), "The lpWSAData is not a valid pointer. (10014)");
    EXPECT_EQ(SocketErrorText(10054),
              "The virtual circuit was reset by the remote side. i.e. The client connection probably shutdown. (10054)");
    EXPECT_EQ(SocketErrorText(11004), "Valid name, no data record of requested type.  (11004)");
}

TEST(SocketErrorTextTest, UnknownCodeGetsTheGenericText) {
    EXPECT_EQ(SocketErrorText(12345), "Unknown Socket error occured. (12345)");
    EXPECT_EQ(SocketErrorText(10061), "Unknown Socket error occured. (10061)");
}

TEST(SocketErrorTextTest, ZeroMeansThisThreadsLastError) {
    SetLastSocketError(10035);
    EXPECT_EQ(SocketErrorText(0), "The socket is marked as nonblocking.  The operation would block.  (10035)");
    SetLastSocketError(0);
}

TEST(SocketErrorTextTest, ErrnoMapsToWindowsSocketsNumbers) {
    EXPECT_EQ(WsaErrorFromErrno(EWOULDBLOCK), 10035);
    EXPECT_EQ(WsaErrorFromErrno(EAGAIN), 10035);
    EXPECT_EQ(WsaErrorFromErrno(ECONNRESET), 10054);
    EXPECT_EQ(WsaErrorFromErrno(EISCONN), 10056);
    EXPECT_EQ(WsaErrorFromErrno(ECONNREFUSED), 10061);
    EXPECT_EQ(WsaErrorFromErrno(EINVAL), 10022);
}

TEST(SocketErrorTextTest, SystemErrorTextHasTheSystemsWording) {
    EXPECT_FALSE(SystemErrorText(ENOENT).empty());
    EXPECT_NE(SystemErrorText(ENOENT), SystemErrorText(EACCES));
    const std::string expected = SystemErrorText(ENOENT);
    errno = ENOENT;
    const std::string last = SystemErrorText(-1);
    EXPECT_EQ(last, expected);
}

}  // namespace
}  // namespace sieveclaw
