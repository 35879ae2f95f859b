#pragma once

#include <string>
#include <string_view>

#include "mail/CEmailMsg.h"

// The four header fields the program works with, pulled out of a block of message text (a TOP
// header block, a downloaded message, a stored message file). Values are not MIME-decoded.

namespace sieveclaw {

// Fills To, From, Subject and Date from the header block at the start of block: its lines up to
// the first blank one (empty, or only blanks, tabs and CR). A field name counts on any line of
// the block, the first one included, in any letter case ("from:", "FROM:"); the first field of a
// name wins. Lines after the header block (the body) are never read. Fields whose name is absent
// are left as they were.
void ExtractHeaderFields(std::string_view block, CEmailMsg& message);

// line starts with a field name; when it is To, From, Subject or Date (in any letter case, the
// colon right after the name) the matching field is set from the rest of the first line. Returns
// true when a field was set.
bool ParseHeaderLine(std::string_view line, CEmailMsg& message);

// True for a line that ends a header block: nothing but blanks, tabs and CR before its LF.
bool IsBlankHeaderLine(std::string_view line);

// The bare address around the first '@': from just after the nearest '<' before it (or the
// start) to just before the first '>', CR or LF after it (or the end). Empty without an '@'.
std::string ExtractAddress(std::string_view text);

}  // namespace sieveclaw
