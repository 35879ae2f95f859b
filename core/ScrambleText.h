#pragma once

#include <string>
#include <string_view>

namespace sieveclaw {

// Every byte XORed with one fixed key; its own inverse. The key (0x82) sends printable ASCII
// (0x20-0x7E) to 0xA0-0xFF: never a control character (C0 or C1), a line end or a byte that
// trimming takes for white space, so a scrambled password survives the line-by-line files it is
// stored in. (No one-byte key can also avoid 0xA0; here only '"' lands there.)
std::string ScrambleText(std::string_view text);

inline constexpr unsigned char kScrambleKey = 0x82;

}  // namespace sieveclaw
