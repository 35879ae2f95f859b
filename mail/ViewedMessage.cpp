#include "mail/ViewedMessage.h"

#include "mail/BodyText.h"
#include "mail/CEmailMsg.h"
#include "mail/Charset.h"
#include "mail/MessageFiles.h"

namespace sieveclaw {

namespace {

constexpr std::size_t kNone = std::string_view::npos;

// Where the document of an HTML part starts, as the body parser looks for it.
std::size_t DocumentStart(std::string_view source) {
    const std::size_t lower = source.find("<html>");
    return lower != kNone ? lower : source.find("<HTML>");
}

const CDecodedText* FirstOfType(const CDecodedMessage& decoded, std::string_view type) {
    for (const CDecodedText& text : decoded.m_Texts) {
        if (text.m_MediaType == type) {
            return &text;
        }
    }
    return nullptr;
}

std::string ChooseBody(CDecodedMessage& decoded) {
    for (CDecodedText& text : decoded.m_Texts) {
        const std::size_t start = text.m_MediaType == "text/html" ? DocumentStart(text.m_Source) : kNone;
        if (start != kNone) {
            return text.m_Source.substr(start);
        }
    }
    if (const CDecodedText* plain = FirstOfType(decoded, "text/plain")) {
        return plain->m_Text;
    }
    const CDecodedText& first = decoded.m_Texts.front();
    return first.m_MediaType == "text/html" ? first.m_Source : first.m_Text;
}

}  // namespace

bool IsHtmlBody(std::string_view body) {
    return body.starts_with("<html>") || body.starts_with("<HTML>");
}

CViewedMessage LoadViewedMessage(const std::string& filePath, bool oversizedAsStored) {
    CEmailMsg message;
    LoadMessageText(filePath, message);
    CViewedMessage viewed;
    const std::size_t notice = message.m_RawText.find(kOversizedNotice.substr(0, kOversizedNotice.size() - 2));
    if (oversizedAsStored && notice != kNone && notice > 0) {
        viewed.m_Body = ToUtf8(message.m_Body, "");
        return viewed;
    }
    CDecodedMessage decoded = DecodeMessageForViewing(message.m_Body);
    if (decoded.m_Texts.empty()) {
        message.Process();
        viewed.m_Body = ToUtf8(message.m_Body, "");
    } else {
        viewed.m_Body = ChooseBody(decoded);
    }
    viewed.m_IsHtml = IsHtmlBody(viewed.m_Body);
    viewed.m_InlineParts = std::move(decoded.m_InlineParts);
    return viewed;
}

}  // namespace sieveclaw
