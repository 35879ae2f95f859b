#pragma once

#include <string>
#include <string_view>

namespace sieveclaw {

// Every byte XORed with one fixed key; its own inverse. The key (0xDF) sends printable ASCII
// (0x20-0x7E) to 0xA1-0xFF, so a scrambled text never holds a control character, a line end or
// white space, and survives the trimming of stored lines.
std::string ScrambleText(std::string_view text);

inline constexpr unsigned char kScrambleKey = 0xDF;

}  // namespace sieveclaw
