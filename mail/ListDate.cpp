#include "mail/ListDate.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <optional>
#include <string>

#include "core/LeadingNumber.h"

namespace sieveclaw {

namespace {

constexpr std::size_t kNone = std::string_view::npos;
constexpr int kWordsRead = 4;
constexpr std::array<std::string_view, 12> kMonths{"jan", "feb", "mar", "apr", "may", "jun",
                                                   "jul", "aug", "sep", "oct", "nov", "dec"};

// Numbers far beyond any calendar are held here, so that mktime can still take them in.
constexpr long long kNumberBound = 1'000'000;

// The text as a decimal number, as atoi reads it.
int Number(std::string_view text) {
    return static_cast<int>(std::clamp(LeadingNumber<long long>(text), -kNumberBound, kNumberBound));
}

std::tm LocalTime(std::time_t when) {
    std::tm local{};
    localtime_r(&when, &local);
    return local;
}

std::string NowAsCell(std::time_t now) {
    const std::tm local = LocalTime(now);
    // Written as "%m/%d/%y %H:%M:%S" would write it.
    char text[64] = {};
    std::snprintf(text, sizeof text, "%02d/%02d/%02d %02d:%02d:%02d", local.tm_mon + 1, local.tm_mday,
                  local.tm_year % 100, local.tm_hour, local.tm_min, local.tm_sec);
    return text;
}

std::optional<int> MonthOf(std::string_view word) {
    if (word.size() != 3) {
        return std::nullopt;
    }
    std::string lowered(word);
    for (char& c : lowered) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    for (std::size_t month = 0; month < kMonths.size(); ++month) {
        if (lowered == kMonths[month]) {
            return static_cast<int>(month) + 1;
        }
    }
    return std::nullopt;
}

struct DateParts {
    std::optional<int> m_Day;
    std::optional<int> m_Month;
    std::optional<int> m_Year;
};

DateParts SlashedDate(std::string_view text) {
    DateParts parts;
    const std::size_t first = text.find('/');
    std::size_t monthStart = first;
    while (monthStart > 0 && std::isdigit(static_cast<unsigned char>(text[monthStart - 1])) != 0) {
        --monthStart;
    }
    parts.m_Month = Number(text.substr(monthStart, first - monthStart));
    parts.m_Day = Number(text.substr(first + 1));
    const std::size_t second = text.find('/', first + 1);
    if (second != kNone) {
        const int year = Number(text.substr(second + 1));
        parts.m_Year = year < 2000 ? year + 2000 : year;
    }
    return parts;
}

DateParts WordDate(std::string_view text, int thisYear) {
    DateParts parts;
    std::size_t at = 0;
    for (int words = 0; words < kWordsRead; ++words) {
        while (at < text.size() && text[at] == ' ') {
            ++at;
        }
        if (at >= text.size()) {
            break;
        }
        const std::size_t end = std::min(text.find(' ', at), text.size());
        const std::string_view word = text.substr(at, end - at);
        at = end;
        const unsigned char first = static_cast<unsigned char>(word.front());
        if (std::isalpha(first) != 0 && first < 0x80) {
            if (const std::optional<int> month = MonthOf(word)) {
                parts.m_Month = month;
            }
        } else if (word.size() == 4) {
            const int year = Number(word);
            parts.m_Year = year < thisYear - 1 ? thisYear : year;
        } else if (first != '+' && first != '-' && first != '(') {
            parts.m_Day = Number(word);
        }
    }
    return parts;
}

}  // namespace

std::int64_t ParseListDate(std::string_view cell, std::time_t now) {
    std::string text = cell.empty() ? NowAsCell(now) : std::string(cell);
    const std::size_t colon = text.find(':');
    if (colon == kNone) {
        return 0;
    }
    const std::size_t hoursStart = colon >= 2 ? colon - 2 : 0;
    const int hours = Number(std::string_view(text).substr(hoursStart, colon - hoursStart));
    const std::size_t secondColon = text.find(':', colon + 1);
    const std::size_t minutesEnd =
        secondColon != kNone ? secondColon : std::min(text.find(' ', colon + 1), text.size());
    const int minutes = Number(std::string_view(text).substr(colon + 1, minutesEnd - colon - 1));
    const std::size_t secondsStart = std::min(minutesEnd + 1, text.size());
    const std::size_t secondsEnd = std::min(text.find(' ', secondsStart), text.size());
    const int seconds = Number(std::string_view(text).substr(secondsStart, secondsEnd - secondsStart));
    text.erase(hoursStart, secondsEnd - hoursStart);

    const std::tm today = LocalTime(now);
    const int thisYear = today.tm_year + 1900;
    const DateParts parts = text.find('/') != kNone ? SlashedDate(text) : WordDate(text, thisYear);
    std::tm when{};
    when.tm_mday = parts.m_Day.value_or(today.tm_mday);
    when.tm_mon = parts.m_Month.value_or(today.tm_mon + 1) - 1;
    when.tm_year = parts.m_Year.value_or(thisYear) - 1900;
    when.tm_hour = hours;
    when.tm_min = minutes;
    when.tm_sec = seconds;
    when.tm_isdst = -1;
    return static_cast<std::int64_t>(std::mktime(&when));
}

}  // namespace sieveclaw
