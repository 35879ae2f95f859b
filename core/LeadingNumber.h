#pragma once

#include <algorithm>
#include <limits>
#include <string_view>

namespace sieveclaw {

// The decimal number at the start of text as atoi reads it: leading white space, an optional
// sign, then the digits up to the first other byte. Where atoi would overflow, the value stops at
// the nearest end of long long. False (value 0) when no digit follows.
bool ReadLeadingNumber(std::string_view text, long long& value);

// The value of one hexadecimal digit (either case), or -1.
inline int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// The same, 0 when there is no number, and held within the range of T.
template <class T>
T LeadingNumber(std::string_view text) {
    long long value = 0;
    ReadLeadingNumber(text, value);
    const long long low = std::numeric_limits<T>::min();
    const long long high = static_cast<long long>(
        std::min<unsigned long long>(static_cast<unsigned long long>(std::numeric_limits<T>::max()),
                                     static_cast<unsigned long long>(std::numeric_limits<long long>::max())));
    return static_cast<T>(std::clamp(value, low, high));
}

}  // namespace sieveclaw
