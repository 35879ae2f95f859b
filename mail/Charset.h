#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "core/Utf8.h"

// Text in the character set a message declares, turned into UTF-8, the one form the filter
// compares and the screen shows.
//
// UTF-8 and Windows-1252 (which also stands for ISO-8859-1 and US-ASCII, as in every mail
// program: their texts nearly always are Windows-1252) are converted here, as most mail is in
// one of them; every other charset goes through the C library's iconv, which every Linux machine
// has with all the charsets mail uses, and which is kept up to date with the system.

namespace sieveclaw {

// Appends bytes, written in charset, to out as UTF-8. Every byte that is not a character of the
// charset becomes U+FFFD, so nothing disappears unseen.
//
// An empty charset, "us-ascii", and one that is unknown or not a plain name are undeclared:
// sequences that are valid UTF-8 are kept, and every other byte is read as Windows-1252 (what
// undeclared 8-bit mail nearly always is). Charset names are compared ignoring case, quotes and
// blanks, and an RFC 2231 language suffix ("utf-8*de") is ignored.
void AppendAsUtf8(std::string_view bytes, std::string_view charset, std::string& out);

std::string ToUtf8(std::string_view bytes, std::string_view charset);

// True when AppendAsUtf8 would give the bytes unchanged, so they can be used as they are.
bool IsUtf8AsItIs(std::string_view bytes, std::string_view charset);

// True when text is well-formed UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
bool IsValidUtf8(std::string_view text);

// The length of the longest start of text, at most maxBytes, that ends on a character boundary of
// the UTF-8 text.
std::size_t Utf8PrefixLength(std::string_view text, std::size_t maxBytes);

}  // namespace sieveclaw
