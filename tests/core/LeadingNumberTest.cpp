#include "core/LeadingNumber.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace sieveclaw {
namespace {

TEST(LeadingNumberTest, ReadsLikeAtoiWithoutOverflowing) {
    long long value = -1;
    EXPECT_TRUE(ReadLeadingNumber(" \t+42abc", value));
    EXPECT_EQ(value, 42);
    EXPECT_TRUE(ReadLeadingNumber("-7 8", value));
    EXPECT_EQ(value, -7);
    EXPECT_FALSE(ReadLeadingNumber("abc", value));
    EXPECT_EQ(value, 0);
    EXPECT_FALSE(ReadLeadingNumber("- 5", value));
    EXPECT_FALSE(ReadLeadingNumber("", value));
    EXPECT_TRUE(ReadLeadingNumber("-9223372036854775808", value));
    EXPECT_EQ(value, std::numeric_limits<long long>::min());
    EXPECT_TRUE(ReadLeadingNumber("99999999999999999999999", value));
    EXPECT_EQ(value, std::numeric_limits<long long>::max());
    EXPECT_TRUE(ReadLeadingNumber("-99999999999999999999999", value));
    EXPECT_EQ(value, std::numeric_limits<long long>::min());
}

TEST(LeadingNumberTest, HeldWithinTheTargetType) {
    EXPECT_EQ(LeadingNumber<std::int32_t>("2147483648"), 2147483647);
    EXPECT_EQ(LeadingNumber<std::int32_t>("-2147483649"), -2147483647 - 1);
    EXPECT_EQ(LeadingNumber<std::int32_t>("letters"), 0);
    EXPECT_EQ(LeadingNumber<std::size_t>("-3"), 0u);
    EXPECT_EQ(LeadingNumber<std::size_t>("18446744073709551615"),
              static_cast<std::size_t>(std::numeric_limits<long long>::max()));
    EXPECT_EQ(LeadingNumber<long long>("12\r\n"), 12);
}

}  // namespace
}  // namespace sieveclaw
