#include "net/SockRecv.h"

#include <chrono>
#include <cstring>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "net/CSocket.h"
#include "tests/support/FaultServer.h"

namespace sieveclaw {
namespace {

using namespace std::chrono_literals;
using test::CFaultServer;
using test::FinishesWithin;

constexpr auto kHangGuard = 60s;

// Replies that come at all come long before this; only the silent-server tests shorten it.
CTransportOptions Patient() {
    CTransportOptions options;
    options.m_TimeoutUnit = 1s;
    options.m_Timeout = [] { return 30; };
    return options;
}

CTransportOptions TimeoutOf(int units, std::chrono::milliseconds unit) {
    CTransportOptions options;
    options.m_TimeoutUnit = unit;
    options.m_Timeout = [units] { return units; };
    return options;
}

std::unique_ptr<CSocket> ConnectTo(const CFaultServer& server, CTransportOptions options = Patient()) {
    auto sock = std::make_unique<CSocket>(std::move(options));
    EXPECT_TRUE(sock->Create());
    EXPECT_TRUE(sock->Connect("127.0.0.1", server.Port()));
    return sock;
}

// Waits until the socket holds bytes the peer sent (or the limit passes), without taking them.
bool WaitForData(CSocket& sock) {
    const auto deadline = std::chrono::steady_clock::now() + kHangGuard;
    while (sock.Buffered().empty() && std::chrono::steady_clock::now() < deadline) {
        sock.WaitReadable(50ms);
        if (sock.FillNow() < 0 && sock.Buffered().empty()) {
            return false;
        }
    }
    return !sock.Buffered().empty();
}

TEST(SockRecvTest, ReturnsWhatArrivedOnceMoreWouldBlock) {
    CFaultServer server;
    server.Send("+OK first").Gate().Send(" second\r\n").Hold();
    server.Start();
    auto sock = ConnectTo(server);

    char buffer[512];
    EXPECT_EQ(SockRecv(*sock, buffer, sizeof buffer, true), 9);
    EXPECT_STREQ(buffer, "+OK first");

    server.OpenGate();
    EXPECT_EQ(SockRecv(*sock, buffer, sizeof buffer, true), 9);
    EXPECT_STREQ(buffer, " second\r\n");
}

TEST(SockRecvTest, NeverStoresMoreThanCapacityMinusOneAndKeepsTheRest) {
    std::string reply;
    for (int i = 0; i < 100; ++i) {
        reply += static_cast<char>('A' + i % 26);
    }
    CFaultServer server;
    server.Send(reply).Hold();
    server.Start();
    auto sock = ConnectTo(server);
    ASSERT_TRUE(WaitForData(*sock));

    constexpr int kCapacity = 16;
    std::string collected;
    while (collected.size() < reply.size()) {
        char buffer[40];
        std::memset(buffer, 'Z', sizeof buffer);
        const int count = SockRecv(*sock, buffer, kCapacity, true);
        ASSERT_GT(count, 0);
        ASSERT_LE(count, kCapacity - 1);
        EXPECT_EQ(buffer[count], '\0');
        for (std::size_t i = kCapacity; i < sizeof buffer; ++i) {
            ASSERT_EQ(buffer[i], 'Z') << "written past the capacity at " << i;
        }
        if (collected.empty()) {
            EXPECT_EQ(count, kCapacity - 1);  // all 100 bytes were waiting
        }
        collected.append(buffer, static_cast<std::size_t>(count));
    }
    EXPECT_EQ(collected, reply);
}

TEST(SockRecvTest, SilentServerGivesZeroAtTheTimeoutAndLaterDataStillArrives) {
    char buffer[512];
    int count = -2;
    {
        // A Timeout of 0 means a single look, whatever the unit.
        CFaultServer server;
        server.Hold();
        server.Start();
        auto sock = ConnectTo(server, TimeoutOf(0, std::chrono::minutes(1)));
        ASSERT_TRUE(FinishesWithin(server, kHangGuard, [&] { count = SockRecv(*sock, buffer, sizeof buffer, true); }));
        EXPECT_EQ(count, 0);
        EXPECT_STREQ(buffer, "");
        EXPECT_FALSE(IsSocketDead(*sock));
    }
    CFaultServer server;
    server.Gate().Send("+OK late\r\n").Hold();
    server.Start();
    auto sock = ConnectTo(server, TimeoutOf(1, 200ms));
    ASSERT_TRUE(FinishesWithin(server, kHangGuard, [&] { count = SockRecv(*sock, buffer, sizeof buffer, true); }));
    EXPECT_EQ(count, 0);
    EXPECT_STREQ(buffer, "");

    // The time-out is no error: the connection goes on and nothing the server sends is lost.
    server.OpenGate();
    ASSERT_TRUE(WaitForData(*sock));
    EXPECT_EQ(SockRecv(*sock, buffer, sizeof buffer, true), 10);
    EXPECT_STREQ(buffer, "+OK late\r\n");
}

TEST(SockRecvTest, PeerThatClosesGivesMinusOneAfterItsLastBytes) {
    {
        CFaultServer server;
        server.Close();
        server.Start();
        auto sock = ConnectTo(server);
        char buffer[512];
        std::memset(buffer, 'Z', sizeof buffer);
        int count = 0;
        ASSERT_TRUE(FinishesWithin(server, kHangGuard, [&] { count = SockRecv(*sock, buffer, sizeof buffer, true); }));
        EXPECT_EQ(count, -1);
        EXPECT_STREQ(buffer, "");
    }
    {
        // A last reply and an immediate close (as after QUIT): the reply is not lost, whether
        // it comes with a count or with the -1.
        CFaultServer server;
        server.Send("+OK bye\r\n").Close();
        server.Start();
        auto sock = ConnectTo(server);
        ASSERT_TRUE(server.WaitScriptPlayed(kHangGuard));
        std::string collected;
        int count = 0;
        for (int reads = 0; reads < 10 && count >= 0; ++reads) {
            char buffer[512];
            count = SockRecv(*sock, buffer, sizeof buffer, true);
            collected += buffer;
        }
        EXPECT_EQ(count, -1);
        EXPECT_EQ(collected, "+OK bye\r\n");
    }
}

TEST(SockRecvTest, PendingDataKeepsAConnectionAliveUntilItIsTaken) {
    CFaultServer server;
    server.Gate().Send("pending").Close();
    server.Start();
    auto sock = ConnectTo(server);
    EXPECT_FALSE(IsSocketDead(*sock));  // connected, nothing to read yet

    server.OpenGate();
    ASSERT_TRUE(server.WaitScriptPlayed(kHangGuard));
    ASSERT_TRUE(WaitForData(*sock));
    // The peer has closed, but its bytes are still to be read.
    EXPECT_FALSE(IsSocketDead(*sock));
    EXPECT_FALSE(IsSocketDead(*sock));  // looking does not consume

    char buffer[512];
    SockRecv(*sock, buffer, sizeof buffer, true);
    EXPECT_STREQ(buffer, "pending");
    EXPECT_TRUE(IsSocketDead(*sock));

    sock->Close();
    EXPECT_TRUE(IsSocketDead(*sock));
}

}  // namespace
}  // namespace sieveclaw
