#pragma once

#include <string_view>

// The trace file "spam.log" in the data folder. Written only when the program was started with
// "/l" as its first argument; otherwise every call returns after one flag test.

namespace sieveclaw {

// Appends one line "HH:MM:SS - text" (stamped) or the text exactly as given (unstamped).
// Never fails visibly: a folder that cannot be written simply gets no log. Safe from any thread;
// each call is one open-append-close, so lines reach the disk at once.
void WriteActivityLog(std::string_view text, bool stamped = true);

// Stamped line made of two pieces, so that callers need not build the joined text when the log
// is off (received buffers and whole messages are traced).
void WriteActivityLog2(std::string_view prefix, std::string_view text);

// A stamped line built with printf formatting, only when the log is on. For the fixed trace
// formats of the protocol code; arguments are inserted verbatim.
#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
void WriteActivityLogF(const char* format, ...);

bool IsActivityLogEnabled();

// Set from the command line (SetCommandLine); tests switch it directly.
void SetActivityLogEnabled(bool enabled);

}  // namespace sieveclaw
