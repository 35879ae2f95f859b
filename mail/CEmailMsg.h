#pragma once

#include <string>
#include <vector>

#include "core/MessageEntry.h"

namespace sieveclaw {

// One part of a message cut out by the body parser, with the fields of its part header.
struct EmailAttachment {
    std::vector<unsigned char> m_Data;  // decoded bytes; empty when the part had none
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
};

}  // namespace sieveclaw
