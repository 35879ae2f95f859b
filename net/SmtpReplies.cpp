#include "net/SmtpReplies.h"

#include <algorithm>

#include "core/AsciiCase.h"

namespace sieveclaw {

namespace {

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i])) {
            return false;
        }
    }
    return true;
}

// The line without its line break.
std::string_view LineContent(std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
        line.remove_suffix(1);
    }
    return line;
}

}  // namespace

std::size_t SmtpReplyLength(std::string_view text, std::size_t scannedFrom) {
    // Lines that ended before the last byte seen were continuation lines, or an earlier call
    // would have found the end, so only line feeds from that byte on are looked at. Each line is
    // measured once, when its line feed arrives: a long line trickling in costs no rescans.
    const std::size_t from = scannedFrom > 0 && scannedFrom <= text.size() ? scannedFrom - 1 : 0;
    for (std::size_t lineEnd = text.find('\n', from); lineEnd != std::string_view::npos;
         lineEnd = text.find('\n', lineEnd + 1)) {
        const std::size_t before = lineEnd == 0 ? std::string_view::npos : text.rfind('\n', lineEnd - 1);
        const std::size_t lineStart = before == std::string_view::npos ? 0 : before + 1;
        const std::string_view line = LineContent(text.substr(lineStart, lineEnd - lineStart));
        if (line.size() < 4 || line[3] != '-') {
            return lineEnd + 1;
        }
    }
    return std::string_view::npos;
}

bool ReplyCodeIs(std::string_view reply, std::string_view code) {
    return reply.substr(0, 3) == code.substr(0, 3);
}

bool EhloOffers(std::string_view reply, std::string_view keyword) {
    std::size_t lineStart = reply.find('\n');
    while (lineStart != std::string_view::npos && lineStart + 1 < reply.size()) {
        ++lineStart;
        const std::size_t lineEnd = reply.find('\n', lineStart);
        const std::string_view line = LineContent(
            reply.substr(lineStart, lineEnd == std::string_view::npos ? std::string_view::npos : lineEnd - lineStart));
        if (line.size() > 4) {
            const std::string_view words = line.substr(4);
            if (EqualsIgnoringCase(words.substr(0, words.find_first_of(" \t")), keyword)) {
                return true;
            }
        }
        lineStart = lineEnd;
    }
    return false;
}

std::string HelloNameFor(std::string_view computerName) {
    constexpr std::size_t kMaxName = 15;
    const std::string_view name = computerName.substr(0, kMaxName);
    // A blank or control byte would break the command line it goes into.
    const bool usable = !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
        return static_cast<unsigned char>(c) > 0x20 && c != 0x7F;
    });
    return usable ? std::string(name) : std::string("localhost");
}

void CDataTransparency::Append(std::string_view piece, std::string& out) {
    out.reserve(out.size() + piece.size() + piece.size() / 32 + 2);
    for (const char c : piece) {
        if (c == '\n' && m_SkipLf) {
            m_SkipLf = false;
            continue;
        }
        m_SkipLf = c == '\r';
        if (c == '\r' || c == '\n') {
            out += "\r\n";
            m_AtLineStart = true;
            continue;
        }
        if (m_AtLineStart && c == '.') {
            out += '.';
        }
        out += c;
        m_AtLineStart = false;
    }
}

}  // namespace sieveclaw
