#pragma once

#include <string>
#include <string_view>

#include "mail/CEmailMsg.h"

// The four header fields the program works with, pulled out of a block of message text (a TOP
// header block, a download chunk, a stored message file). Values are not MIME-decoded.

namespace sieveclaw {

// Fills To, From, Subject and Date from the first "\nTo:"/"\nTO:" (and so on) in the block.
// A name must follow a line feed; fields whose name is absent are left as they were. The
// upper-case "\nFROM:" is only looked for while From is still empty.
void ExtractHeaderFields(std::string_view block, CEmailMsg& message);

// line starts with a field name; when it is one of the eight accepted spellings the matching
// field is set from the rest of the first line. Returns true when a field was set.
bool ParseHeaderLine(std::string_view line, CEmailMsg& message);

// The bare address around the first '@': from just after the nearest '<' before it (or the
// start) to just before the first '>', CR or LF after it (or the end). Empty without an '@'.
std::string ExtractAddress(std::string_view text);

}  // namespace sieveclaw
