#pragma once

#include <string>
#include <string_view>

#include "core/StatusSink.h"
#include "filter/FilterLists.h"
#include "mail/CEmailMsg.h"

namespace sieveclaw {

// The project's own mail domains. A From that holds "@" followed by either, anywhere, counts as
// mail from a friend, so that program news and support replies never land in the trash.
inline constexpr std::string_view kVendorDomains[] = {"sieveclaw.com", "sieveclaw.org"};

// True for every byte but the ASCII letters: digits, punctuation, white space and bytes of 128
// and above all end a word.
inline bool IsWordBoundaryChar(char c) {
    return !((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'));
}

// Judges one message against the lists; true for spam. For spam, reason is replaced by why; for
// good mail it is left as passed. autoDelFileExts switches the attachment test on. When progress
// is given, the share of the From and Body lists walked is posted to it as kStatusProgress
// (percent), and 0 when the decision ends, unless the message was on the salvaged list.
//
// Reads the lists through their guards and changes nothing else; callable from the worker and the
// user interface thread at the same time. Case is folded for ASCII letters only.
bool IsSpam(const CEmailMsg& message, std::string& reason, const CFilterLists& lists, bool autoDelFileExts,
            CStatusSink* progress);

}  // namespace sieveclaw
