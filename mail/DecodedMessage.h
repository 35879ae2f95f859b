#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "core/MessageEntry.h"

// A message as people read it: header texts decoded, every text part found however deeply the
// parts nest, decoded from its transfer encoding and converted to UTF-8, HTML reduced to what a
// reader sees, and the attachments' file names. Separate from CEmailMsg::Process, which keeps its
// own position-based reading for the body, the attachments and the salvage.

namespace sieveclaw {

// Bounds on what one message can make the decoding do; mail is hostile.
struct CDecodeLimits {
    std::size_t m_MaxDepth = 20;  // multiparts and attached messages inside one another
    std::size_t m_MaxParts = 1000;
    std::size_t m_MaxOutputBytes = std::size_t{8} << 20;  // all texts and names together
    std::size_t m_MaxFieldBytes = std::size_t{64} << 10;  // one header field, unfolded; the rest is cut
};

struct CDecodedText {
    std::string m_MediaType;  // "text/plain", "text/html" (lower case)
    std::string m_Text;       // UTF-8; for HTML the visible text, then the link targets
    // The part's bytes as they arrived: no transfer encoding, and nothing the charset conversion
    // had to change. Such a text shows nothing the raw message does not.
    bool m_AsArrived = false;
    // text/html parts decoded for viewing only: the document itself in UTF-8, markup and all.
    std::string m_Source;
};

// A part that the message's HTML can show by its Content-ID ("cid:" addresses), for viewing.
struct CInlinePart {
    std::string m_ContentId;  // without its angle brackets
    std::string m_MediaType;  // lower case
    std::string m_Data;       // the bytes, transfer encoding undone
};

struct CDecodedMessage {
    // The message's own header fields, whole (display names included), in UTF-8.
    std::string m_To;
    std::string m_From;
    std::string m_Subject;
    std::string m_Date;
    std::vector<CDecodedText> m_Texts;    // every text part, in message order
    std::vector<std::string> m_FileNames;  // of every part that names a file, in message order
    std::vector<CInlinePart> m_InlineParts;  // decoded for viewing only
    bool m_Cut = false;                    // a limit was reached: some of the message is missing
};

// Decodes a whole message (header and body as received, or a stored copy with its own lines
// first). Never fails; what cannot be read is left out, and the result stays within limits.
CDecodedMessage DecodeMessage(std::string_view message, const CDecodeLimits& limits = {});

// The same, and what a viewer needs besides: the HTML parts' documents (m_Source) and the parts
// that have a Content-ID. All of it counts against the same output bound.
CDecodedMessage DecodeMessageForViewing(std::string_view message, const CDecodeLimits& limits = {});

// The summary as people read it (To, From, Subject and Date with encoded words decoded, in
// UTF-8), for display only: every comparison that identifies a message keeps the entry's bytes.
MessageEntry DisplaySummary(const MessageEntry& entry);

}  // namespace sieveclaw
