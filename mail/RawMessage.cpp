#include "mail/RawMessage.h"

#include "core/TextFile.h"
#include "mail/HeaderFields.h"

namespace sieveclaw {

bool LoadRawMessage(const std::string& filePath, CEmailMsg& message) {
    message.ClearHeaderFields();
    message.m_Attachments.clear();
    message.m_RawText.clear();
    message.m_Body.clear();
    std::string bytes;
    if (!ReadFileBytes(filePath, bytes)) {
        return false;
    }
    // Files saved on Linux often end lines in LF alone; the parser counts CR LF line breaks.
    AppendWithCrLf(message.m_RawText, bytes);
    message.m_Body = message.m_RawText;
    ExtractHeaderFields(message.m_Body, message);
    return true;
}

}  // namespace sieveclaw
