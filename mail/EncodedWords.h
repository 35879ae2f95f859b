#pragma once

#include <string>
#include <string_view>

namespace sieveclaw {

// A header field value as people read it, in UTF-8: every encoded word ("=?charset?B?...?=" or
// "=?charset?Q?...?=", letters of either case) decoded and converted from its charset; the white
// space between two adjacent encoded words dropped, and the bytes of adjacent words in the same
// charset joined before conversion, so a character split between two words survives. A word
// that does not decode (a byte outside its encoding, no closing "?=", a blank inside) stays as it
// is. Text outside encoded words is undeclared 8-bit text (see AppendAsUtf8).
//
// Words are decoded wherever they stand, also inside quotes and right after a parenthesis, as
// mail programs write them.
std::string DecodeHeaderText(std::string_view value);

}  // namespace sieveclaw
