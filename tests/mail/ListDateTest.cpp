#include "mail/ListDate.h"

#include <ctime>
#include <string>
#include <vector>

#include <gtest/gtest.h>

// The date cells of the list windows as they sort: the forms senders write, and the forms that
// only look like dates.

namespace sieveclaw {
namespace {

std::int64_t Local(int year, int month, int day, int hour, int minute, int second) {
    std::tm when{};
    when.tm_year = year - 1900;
    when.tm_mon = month - 1;
    when.tm_mday = day;
    when.tm_hour = hour;
    when.tm_min = minute;
    when.tm_sec = second;
    when.tm_isdst = -1;
    return static_cast<std::int64_t>(std::mktime(&when));
}

TEST(ListDateTest, CellsReadAsTheirLocalDateAndTime) {
    // "Now" is 15 March 2026, 12:00:00 local time.
    const std::time_t now = static_cast<std::time_t>(Local(2026, 3, 15, 12, 0, 0));
    struct Case {
        const char* m_Cell;
        std::int64_t m_Expected;
    };
    const std::vector<Case> cases = {
        {"Mon, 3 Jun 2025 09:14:22 +0200", Local(2025, 6, 3, 9, 14, 22)},  // the zone is ignored
        {"3 jun 2025 9:05:07 (CEST)", Local(2025, 6, 3, 9, 5, 7)},         // " 9" is the hour
        {"Tue, 4 JUN 2025 10:00 GMT", Local(2025, 6, 4, 10, 0, 0)},        // no seconds
        {"06/03/24 09:14:22", Local(2024, 6, 3, 9, 14, 22)},               // two-digit year
        {"12/31/1999 23:59:59", Local(3999, 12, 31, 23, 59, 59)},          // below 2000: 2000 added
        {"1 Jan 1999 10:00:00", Local(2026, 1, 1, 10, 0, 0)},              // too old a year: this one
        {"1 Jun, 2025 10:00:00", Local(2025, 3, 1, 10, 0, 0)},             // "Jun," is no month
        {"Fri 8:30:00", Local(2026, 3, 15, 8, 30, 0)},                     // only a time: today
        {"", static_cast<std::int64_t>(now)},                              // empty: now
        {"no time at all 2024", 0},                                        // no colon: oldest
    };
    for (const Case& item : cases) {
        EXPECT_EQ(ParseListDate(item.m_Cell, now), item.m_Expected) << '"' << item.m_Cell << '"';
    }
}

}  // namespace
}  // namespace sieveclaw
