#include "core/LeadingNumber.h"

namespace sieveclaw {

bool ReadLeadingNumber(std::string_view text, long long& value) {
    value = 0;
    std::size_t at = text.find_first_not_of(" \t\r\n\v\f");
    if (at == std::string_view::npos) {
        return false;
    }
    bool negative = false;
    if (text[at] == '+' || text[at] == '-') {
        negative = text[at] == '-';
        ++at;
    }
    if (at >= text.size() || text[at] < '0' || text[at] > '9') {
        return false;
    }
    // Accumulated as a negative number, whose range reaches one further than the positive one.
    constexpr long long kMin = std::numeric_limits<long long>::min();
    long long accumulated = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
        const int digit = text[at] - '0';
        if (accumulated < (kMin + digit) / 10) {
            accumulated = kMin;
        } else {
            accumulated = accumulated * 10 - digit;
        }
    }
    if (negative) {
        value = accumulated;
    } else {
        value = accumulated == kMin ? std::numeric_limits<long long>::max() : -accumulated;
    }
    return true;
}

}  // namespace sieveclaw
