#include "engine/Countdown.h"

#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "engine/MailCheck.h"
#include "engine/SharedState.h"

// The countdown line's arithmetic, the two signals' at-most-one-pending rule and the port text.

namespace sieveclaw {
namespace {

using namespace std::chrono_literals;

TEST(CountdownTest, HoursMinutesAndSecondsAsTheLineShowsThem) {
    EXPECT_EQ(FormatCountdown(120 * 60), "2 hours, 0 minutes, 0 seconds");  // EmailDelay 120, nothing elapsed
    EXPECT_EQ(FormatCountdown(59 * 60 + 30), "59 minutes, 30 seconds");
    EXPECT_EQ(FormatCountdown(3600), "1 hours, 0 minutes, 0 seconds");
    EXPECT_EQ(FormatCountdown(3599), "59 minutes, 59 seconds");
    EXPECT_EQ(FormatCountdown(60), "1 minutes, 0 seconds");
    EXPECT_EQ(FormatCountdown(59), "59 seconds");
    EXPECT_EQ(FormatCountdown(0), "0 seconds");
}

TEST(CountdownTest, ADueOrOverdueCheckReadsZeroSeconds) {
    EXPECT_EQ(FormatCountdown(-1), "0 seconds");
    EXPECT_EQ(FormatCountdown(-59), "0 seconds");
    // Past a minute overdue the minutes are negative too, so the line still reads 0 seconds.
    EXPECT_EQ(FormatCountdown(-3 * 60 - 5), "0 seconds");
    EXPECT_EQ(FormatCountdown(-2 * 3600), "0 seconds");
}

TEST(CountdownTest, HoursAreCountedWithinADay) {
    // A whole day drops out of the hours; with no hour left the minutes take over.
    EXPECT_EQ(FormatCountdown(86400 + 2 * 3600 + 61), "2 hours, 1 minutes, 1 seconds");
    EXPECT_EQ(FormatCountdown(86400 + 90), "1 minutes, 30 seconds");
}

TEST(BinarySignalTest, ReleasesBeyondOneAreOneRequest) {
    CBinarySignal signal;
    EXPECT_FALSE(signal.try_acquire());
    signal.release();
    signal.release();
    EXPECT_TRUE(signal.IsSet());
    EXPECT_TRUE(signal.try_acquire());
    EXPECT_FALSE(signal.try_acquire());
    EXPECT_FALSE(signal.IsSet());
}

TEST(BinarySignalTest, TimedTakeWaitsForAReleaseFromAnotherThread) {
    CBinarySignal signal;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(signal.try_acquire_for(50ms));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 45ms);

    std::thread releaser([&signal] {
        std::this_thread::sleep_for(20ms);
        signal.release();
    });
    EXPECT_TRUE(signal.try_acquire_for(5s));
    releaser.join();
    EXPECT_FALSE(signal.IsSet());
}

TEST(PortNumberTest, PlainDecimalConversion) {
    EXPECT_EQ(CMailCheck::PortNumber("110"), 110);
    EXPECT_EQ(CMailCheck::PortNumber(" 995"), 995);
    EXPECT_EQ(CMailCheck::PortNumber("110abc"), 110);
    EXPECT_EQ(CMailCheck::PortNumber("abc"), 0);
    EXPECT_EQ(CMailCheck::PortNumber(""), 0);
    EXPECT_EQ(CMailCheck::PortNumber("-5"), -5);
    EXPECT_EQ(CMailCheck::PortNumber("99999999999999999999"), 2147483647);
}

}  // namespace
}  // namespace sieveclaw
