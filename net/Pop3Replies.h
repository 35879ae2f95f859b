#pragma once

#include <cstdint>
#include <string_view>

// POP3 reply parsing as plain functions over text, judged the way the client judges them: by
// the exact first characters and the first numbers where the protocol puts them.

namespace sieveclaw {

struct Pop3Stats {
    long long m_Count = 0;
    long long m_Size = 0;
};

// "+OK 12 20480\r\n" -> 12, 20480. The reply is not judged: the first four characters are
// dropped and the numbers read where they stand, so "-ERR ..." or a reply without numbers gives 0.
Pop3Stats ParseStatReply(std::string_view reply);

// "+OK 3 2048\r\n" -> 2048: the number right after the second blank; 0 when a blank is missing.
long long ParseListReply(std::string_view reply);

// The multi-line end marker: the text ends in CR LF "." CR LF.
bool EndsWithEndMarker(std::string_view text);

bool IsOkReply(std::string_view reply);   // starts with "+OK"
bool IsErrReply(std::string_view reply);  // starts with "-ERR"

// True when a CAPA listing (the lines after "+OK") names STLS as a capability.
bool CapaListsStls(std::string_view capabilities);

}  // namespace sieveclaw
