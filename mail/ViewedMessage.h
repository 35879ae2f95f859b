#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "mail/DecodedMessage.h"

// What the message viewer shows of a stored message: one body text, rendered as HTML or shown as
// plain text, and the message's own parts that its HTML may show.

namespace sieveclaw {

struct CViewedMessage {
    std::string m_Body;  // UTF-8
    bool m_IsHtml = false;
    std::vector<CInlinePart> m_InlineParts;
};

// A body is rendered as HTML only when it begins with exactly "<html>" or "<HTML>"; any other
// spelling ("<Html>") is shown as the text it is.
bool IsHtmlBody(std::string_view body);

// The body of the message file at filePath (LoadMessageText). An HTML part holding "<html>" or
// "<HTML>" is shown from that tag on; otherwise the first plain-text part, otherwise the first
// text of any kind, each decoded from its transfer encoding and charset. A message without text
// parts shows what the body parser makes of it. With oversizedAsStored, the copy of a message too
// large to download (the notice after its first character) is shown as stored, unparsed. A file
// that cannot be read shows an empty body.
CViewedMessage LoadViewedMessage(const std::string& filePath, bool oversizedAsStored);

}  // namespace sieveclaw
