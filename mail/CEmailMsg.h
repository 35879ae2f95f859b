#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "core/MessageEntry.h"

namespace sieveclaw {

// One part of a message cut out by the body parser, with the fields of its part header.
struct EmailAttachment {
    // The part's bytes copied raw from the message, still in their transfer encoding (base64 stays
    // base64); empty when the part had none.
    std::vector<unsigned char> m_Data;
    std::string m_ContentType;
    std::string m_TransferEncoding;
    std::string m_Description;
    std::string m_Disposition;
    std::string m_Boundary;  // the boundary of the message the part came from

    std::size_t Length() const { return m_Data.size(); }
};

// The message being judged, from its download to its message file.
class CEmailMsg {
public:
    // The whole message as received until the body parser runs; the body text afterwards.
    std::string m_Body;
    // The whole message as received; the message file stores this copy.
    std::string m_RawText;

    // The summary: bare addresses of the first To and From fields, the trimmed Subject and Date.
    std::string m_To;
    std::string m_From;
    std::string m_Subject;
    std::string m_Date;
    std::string m_FilePath;  // stays empty here; only the kept summaries carry a path

    std::vector<EmailAttachment> m_Attachments;  // in the order the parts occur

    MessageEntry Summary() const;
    void ClearHeaderFields();

    // Takes the whole message in m_Body apart: m_Body becomes the body text and the parts after
    // the first of a multipart/mixed message (at most 10,000) are appended to m_Attachments. Never
    // fails; a message that cannot be taken apart keeps its whole text in m_Body. Does nothing when
    // m_Body is empty.
    void Process();

    // The value of the field called name (the name includes its colon or equals sign) at or after
    // start in m_Body: the text right after the name up to the first CR, at most 255 characters,
    // not unfolded. Unless scanWholeMsg is set, a name that starts beyond the fifth line break
    // after start does not count. Empty when there is no such field.
    std::string GetContentStr(std::size_t start, std::string_view name, bool scanWholeMsg, bool caseSensitive) const;
};

}  // namespace sieveclaw
