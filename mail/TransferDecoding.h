#pragma once

#include <cstddef>
#include <limits>
#include <string>
#include <string_view>

// The two content transfer encodings that turn text into ASCII (base64 and quoted-printable),
// decoded back into the bytes that were sent. Both read damaged input as well as they can and
// never fail; what they return says whether anything had to be guessed.

namespace sieveclaw {

inline constexpr std::size_t kNoByteLimit = std::numeric_limits<std::size_t>::max();

// Appends the bytes of base64 text to out, stopping once out holds maxBytes. Line breaks and any
// other byte outside the alphabet are skipped. An '=' ends a group early, so blocks that were
// padded and then joined still decode; a group that the text ends without padding is decoded as
// far as its characters reach. False when the text held a byte other than the alphabet, '=' and
// white space, or a lone character that makes no byte.
bool DecodeBase64(std::string_view text, std::string& out, std::size_t maxBytes = kNoByteLimit);

// Appends the bytes of quoted-printable text to out, stopping once out holds maxBytes. "=XX"
// (hex digits of either case) is the byte; '=' before a line end, even after blanks, is a soft
// line break and vanishes, as does a lone '=' at the very end; blanks before a hard line end are
// dropped. With headerQ, '_' stands for a blank (the Q encoding of header words). An '=' that
// starts none of these is kept as it is and the result is false.
bool DecodeQuotedPrintable(std::string_view text, std::string& out, bool headerQ = false,
                           std::size_t maxBytes = kNoByteLimit);

}  // namespace sieveclaw
