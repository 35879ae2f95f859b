#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace sieveclaw::test {

// Mail text from its lines, each ended with CR LF as on the wire.
inline std::string Crlf(std::initializer_list<std::string_view> lines) {
    std::string text;
    for (const std::string_view line : lines) {
        text += line;
        text += "\r\n";
    }
    return text;
}

}  // namespace sieveclaw::test
