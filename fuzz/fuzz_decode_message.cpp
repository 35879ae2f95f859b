// The message decoding over arbitrary bytes: no crash, no read outside the input, every text it
// gives is UTF-8, and the output never grows past its limit however the parts nest.
//
// The whole input is decoded as a message; it is also taken as a header value, an HTML document
// and transfer-encoded text, each checked on its own.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/FuzzRequire.h"
#include "mail/Charset.h"
#include "mail/DecodedMessage.h"
#include "mail/EncodedWords.h"
#include "mail/HtmlText.h"
#include "mail/TransferDecoding.h"

namespace {

using sieveclaw::IsValidUtf8;

// Small, so that the limits are reached on small inputs too.
constexpr sieveclaw::CDecodeLimits kLimits{6, 40, 4096, 1024};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    const sieveclaw::CDecodedMessage decoded = sieveclaw::DecodeMessage(input, kLimits);
    std::size_t total = 0;
    for (const std::string* field : {&decoded.m_To, &decoded.m_From, &decoded.m_Subject, &decoded.m_Date}) {
        Require(IsValidUtf8(*field));
        total += field->size();
    }
    for (const sieveclaw::CDecodedText& text : decoded.m_Texts) {
        Require(IsValidUtf8(text.m_Text));
        Require(text.m_MediaType.starts_with("text/"));
        total += text.m_Text.size();
    }
    for (const std::string& name : decoded.m_FileNames) {
        Require(IsValidUtf8(name) && !name.empty());
        total += name.size();
    }
    Require(total <= kLimits.m_MaxOutputBytes);
    Require(decoded.m_Texts.size() + decoded.m_FileNames.size() <= 2 * kLimits.m_MaxParts);

    // Text without encoded words or 8-bit bytes is its own decoding.
    const std::string header = sieveclaw::DecodeHeaderText(input);
    Require(IsValidUtf8(header));
    bool plain = input.find("=?") == std::string_view::npos;
    for (const char c : input) {
        plain = plain && static_cast<unsigned char>(c) < 0x80;
    }
    Require(!plain || header == input);

    const std::string utf8 = sieveclaw::ToUtf8(input, size > 0 && (data[0] & 1) != 0 ? "shift_jis" : "utf-8");
    Require(IsValidUtf8(utf8));
    std::string html;
    sieveclaw::AppendHtmlText(utf8, html);
    Require(IsValidUtf8(html) && html.size() <= 2 * utf8.size());

    std::string bytes;
    sieveclaw::DecodeBase64(input, bytes);
    Require(bytes.size() <= size / 4 * 3 + 3);
    bytes.clear();
    sieveclaw::DecodeQuotedPrintable(input, bytes, (size & 1) != 0);
    Require(bytes.size() <= size);
    return 0;
}
