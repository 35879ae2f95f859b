// The body parser over arbitrary bytes: no crash, no read outside the message, and on inputs small
// enough the same body and attachments as a plain, search-everything-again reading of the same
// rules. That reading is quadratic on hostile mail; the parser remembers what it has found
// instead, and this is where the two are held to the same answers.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/FuzzRequire.h"
#include "mail/BodyText.h"
#include "mail/CEmailMsg.h"

#include "core/AsciiCase.h"

namespace {

using sieveclaw::CEmailMsg;
using sieveclaw::EmailAttachment;

constexpr std::size_t kNone = std::string::npos;
constexpr std::size_t kCompareUpTo = 8 * 1024;

std::size_t PlainFind(const std::string& text, std::string_view pattern, bool caseSensitive, std::size_t from) {
    if (from > text.size()) {
        return kNone;
    }
    return caseSensitive ? text.find(pattern, from) : sieveclaw::AsciiLowered(text).find(sieveclaw::AsciiLowered(pattern), from);
}

std::string PlainValue(const std::string& text, std::size_t start, std::string_view name, bool whole,
                       bool caseSensitive) {
    std::size_t windowEnd = text.size();
    if (!whole) {
        windowEnd = start;
        std::size_t from = start + 1;
        for (int i = 0; i < 5; ++i) {
            const std::size_t lineBreak = PlainFind(text, "\r\n", true, from);
            if (lineBreak == kNone) {
                break;
            }
            windowEnd = lineBreak + 2;
            from = windowEnd + 1;
        }
    }
    const std::size_t found = PlainFind(text, name, caseSensitive, start);
    if (found == kNone || found > windowEnd) {
        return {};
    }
    const std::size_t valueStart = found + name.size();
    const std::size_t cr = text.find('\r', valueStart);
    const std::size_t length = (cr == kNone ? text.size() : cr) - valueStart;
    return text.substr(valueStart, std::min<std::size_t>(length, 255));
}

std::string PlainRemoveAll(std::string text, std::string_view pattern) {
    std::string kept;
    std::size_t from = 0;
    for (std::size_t found; (found = text.find(pattern, from)) != kNone; from = found + pattern.size()) {
        kept.append(text, from, found - from);
    }
    kept.append(text, from);
    return kept;
}

// The HTML document, with the four deletions made one whole pass after the other.
std::optional<std::string> PlainHtml(const std::string& text) {
    std::size_t open = text.find("<html>");
    if (open == kNone) {
        open = text.find("<HTML>");
    }
    if (open == kNone) {
        return std::nullopt;
    }
    std::size_t close = text.find("</html>", open);
    if (close == kNone) {
        close = text.find("</HTML>", open);
    }
    std::string html = text.substr(open, (close == kNone ? text.size() - 2 : close + 7) - open);
    for (const std::string_view pattern : {"3D", "=20", "=09", "=\r\n"}) {
        html = PlainRemoveAll(html, pattern);
    }
    return html;
}

std::string PlainBody(const std::string& text) {
    return PlainHtml(text).value_or(text);
}

std::string PlainSinglePart(const std::string& text) {
    std::size_t from = text.find("Content-Type:");
    if (from == kNone) {
        from = 0;
    }
    const std::size_t first = text.find('\n', from);
    const std::size_t second = first == kNone ? kNone : text.find('\n', first + 1);
    return PlainBody(second == kNone ? std::string() : text.substr(second + 1));
}

// The line feed of the first empty line (CR LF or bare LF) that follows the line feed at or after
// from.
std::size_t PlainBlankLineFeed(const std::string& text, std::size_t from) {
    const std::size_t crLf = text.find("\n\r\n", from);
    const std::size_t lf = text.find("\n\n", from);
    if (crLf != kNone && (lf == kNone || crLf < lf)) {
        return crLf + 2;
    }
    return lf == kNone ? kNone : lf + 1;
}

// Every rule of the parser, each search over the rest of the text.
CEmailMsg PlainProcess(const std::string& text) {
    CEmailMsg result;
    result.m_Body = text;
    if (text.empty()) {
        return result;
    }
    if (!PlainValue(text, 0, "Content-Type:", true, true).starts_with(" multipart/mixed")) {
        result.m_Body = PlainSinglePart(text);
        return result;
    }
    std::string boundary;
    const std::size_t parameter = PlainFind(text, "boundary=", false, text.find(" multipart/mixed"));
    if (parameter != kNone) {
        const std::string value = PlainValue(text, parameter, "boundary=", true, false);
        if (value.size() > 2) {
            boundary = value.substr(1, value.size() - 2);
        }
    }
    if (boundary.empty()) {
        result.m_Body = PlainSinglePart(text);
        return result;
    }
    const std::size_t first = text.find(boundary);
    const std::size_t second = first == kNone ? kNone : text.find(boundary, first + 1);
    std::size_t bodyStart = kNone;
    std::size_t bodyEnd = kNone;
    std::size_t part = first;
    if (second != kNone) {
        const std::size_t third = text.find(boundary, second + 1);
        if (third == kNone) {
            return result;
        }
        bodyEnd = text.rfind('\r', third);
        const std::size_t delimiterEnd = text.find('\n', second);
        const std::size_t blank = delimiterEnd == kNone ? kNone : PlainBlankLineFeed(text, delimiterEnd);
        bodyStart = blank != kNone && blank < third ? blank : kNone;
        part = third;
    }
    while (part != kNone && result.m_Attachments.size() < 10000) {
        EmailAttachment attachment;
        attachment.m_ContentType = PlainValue(text, part, "Content-Type:", false, true);
        attachment.m_Description = PlainValue(text, part, "Content-Description:", false, true);
        attachment.m_Disposition = PlainValue(text, part, "Content-Disposition:", false, true);
        attachment.m_TransferEncoding = PlainValue(text, part, "Content-Transfer-Encoding:", false, true);
        attachment.m_Boundary = boundary;
        const std::size_t delimiterEnd = text.find('\n', part);
        const std::size_t blank = delimiterEnd == kNone ? kNone : PlainBlankLineFeed(text, delimiterEnd);
        if (blank == kNone) {
            return result;
        }
        const std::size_t end = text.find(boundary, part + 1);
        const std::size_t dataStart = end != kNone && blank >= end ? end : blank + 1;
        EmailAttachment& record = result.m_Attachments.emplace_back(std::move(attachment));
        const std::size_t next = text.find(boundary, dataStart);
        if (next == kNone) {
            break;
        }
        const std::size_t dataEnd = std::max(next - 1, dataStart);
        record.m_Data.assign(text.begin() + static_cast<std::ptrdiff_t>(dataStart),
                             text.begin() + static_cast<std::ptrdiff_t>(dataEnd));
        if (text.find(boundary, next + 1) == kNone) {
            break;
        }
        part = next;
    }
    if (std::optional<std::string> html = PlainHtml(text)) {
        result.m_Body = *html;
    } else if (bodyStart == kNone || bodyEnd == kNone || bodyStart >= bodyEnd) {
        result.m_Body.clear();
    } else {
        result.m_Body = text.substr(bodyStart, bodyEnd - bodyStart);
    }
    return result;
}

bool SameAttachment(const EmailAttachment& a, const EmailAttachment& b) {
    return a.m_Data == b.m_Data && a.m_ContentType == b.m_ContentType && a.m_TransferEncoding == b.m_TransferEncoding &&
           a.m_Description == b.m_Description && a.m_Disposition == b.m_Disposition && a.m_Boundary == b.m_Boundary;
}

void CheckValue(const std::string& value) {
    Require(value.size() <= 255);
    Require(value.find('\r') == std::string::npos);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);

    CEmailMsg message;
    message.m_Body = text;
    message.Process();
    Require(message.m_Body.size() <= text.size());
    std::size_t dataBytes = 0;
    for (const EmailAttachment& attachment : message.m_Attachments) {
        CheckValue(attachment.m_ContentType);
        CheckValue(attachment.m_Description);
        CheckValue(attachment.m_Disposition);
        CheckValue(attachment.m_TransferEncoding);
        Require(!attachment.m_Boundary.empty() && attachment.m_Boundary.size() <= 253);
        dataBytes += attachment.Length();
    }
    // Parts never share bytes.
    Require(dataBytes <= text.size());

    // Field look-ups from an arbitrary position, in both search modes.
    CEmailMsg source;
    source.m_Body = text;
    const std::size_t start = size / 3;
    const std::string_view pattern = std::string_view(text).substr(0, std::min<std::size_t>(size / 4, 8));
    const std::string_view rest = std::string_view(text).substr(pattern.size());
    for (const bool caseSensitive : {true, false}) {
        Require(sieveclaw::FindText(rest, pattern, caseSensitive, 1) ==
                PlainFind(std::string(rest), pattern, caseSensitive, 1));
        for (const bool whole : {true, false}) {
            const std::string value = source.GetContentStr(start, "Content-Type:", whole, caseSensitive);
            CheckValue(value);
            if (size <= kCompareUpTo) {
                Require(value == PlainValue(text, start, "Content-Type:", whole, caseSensitive));
            }
        }
    }

    if (size <= kCompareUpTo) {
        Require(sieveclaw::ParseBody(text) == PlainBody(text));
        const CEmailMsg plain = PlainProcess(text);
        Require(message.m_Body == plain.m_Body);
        Require(message.m_Attachments.size() == plain.m_Attachments.size());
        for (std::size_t i = 0; i < plain.m_Attachments.size(); ++i) {
            Require(SameAttachment(message.m_Attachments[i], plain.m_Attachments[i]));
        }
    }
    return 0;
}
