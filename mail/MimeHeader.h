#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The header of a message or of one of its parts, read the way the standards define it: field
// names in any letter case, folded lines joined, the header ending at the first empty line.

namespace sieveclaw {

// The fields of one header that the decoding needs, each the first occurrence of its name,
// unfolded (line breaks removed, the blanks that followed them kept) and trimmed.
struct CEntityHeader {
    std::string m_ContentType;
    std::string m_TransferEncoding;
    std::string m_Disposition;
    std::string m_To;
    std::string m_From;
    std::string m_Subject;
    std::string m_Date;
    std::string m_ContentId;      // with its angle brackets, as written
    std::size_t m_BodyStart = 0;  // offset of the body in the entity; its size when there is none
};

// Reads the header at the start of entity. Lines that are no field (no colon, such as a POP3
// status line or a stored copy's own lines) are passed over; a field's value is held to
// maxValueBytes.
CEntityHeader ReadEntityHeader(std::string_view entity, std::size_t maxValueBytes);

// The media type of a Content-Type value ("text/html"), lower case; empty when there is none.
std::string MediaType(std::string_view value);

// The value of the parameter called name (any case) in a Content-Type or Content-Disposition
// value, as plain bytes: quotes and backslash escapes removed, RFC 2231 sections joined and
// percent escapes decoded. Empty when the parameter is absent.
std::string ParameterValue(std::string_view value, std::string_view name);

// The same for a file name, in UTF-8: an RFC 2231 value converted from the charset it names, any
// other value read as a header text (encoded words decoded, as many mail programs write them).
std::string FileNameParameter(std::string_view value, std::string_view name);

}  // namespace sieveclaw
