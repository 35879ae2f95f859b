#pragma once

#include <string>
#include <string_view>

#include "core/StatusSink.h"
#include "filter/FilterLists.h"
#include "mail/CEmailMsg.h"
#include "mail/DecodedMessage.h"

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
// Each From and Body entry is looked for in the texts as they arrived (From, the message text,
// the subject) and in the same texts as people read them (decoded): an entry found in either
// counts, so decoding can only add verdicts, and the walk in list order still decides which entry
// the reason names. The extension test also reads the decoded file names. The message is decoded
// once per call, from its raw text (DecodeForDecision); a message without one is judged on the
// texts as they arrived only.
//
// Reads the lists through their guards and changes nothing else; callable from the worker and the
// user interface thread at the same time. Case is folded for ASCII letters only.
bool IsSpam(const CEmailMsg& message, std::string& reason, const CFilterLists& lists, bool autoDelFileExts,
            CStatusSink* progress);

// The same with the decoded form given, for a caller that already has it.
bool IsSpam(const CEmailMsg& message, const CDecodedMessage& decoded, std::string& reason, const CFilterLists& lists,
            bool autoDelFileExts, CStatusSink* progress);

// The decoded form the decision reads: the message's raw text decoded, with the Subject and From
// of the record decoded where the raw text has none (the copy of an oversized message holds only
// its header's summary). Empty for a message without raw text.
CDecodedMessage DecodeForDecision(const CEmailMsg& message);

}  // namespace sieveclaw
