#include "mail/EncodedWords.h"

#include <optional>

#include "core/AsciiCase.h"
#include "mail/Charset.h"
#include "mail/TransferDecoding.h"

namespace sieveclaw {

namespace {

constexpr std::size_t kNone = std::string_view::npos;
// Longer charset names are no charset names; the limit also keeps a search for the next '?'
// from running over a hostile value again and again.
constexpr std::size_t kMaxCharsetName = 64;

struct CEncodedWord {
    std::size_t m_End = 0;  // just past the closing "?="
    std::string_view m_Charset;
    std::string m_Bytes;  // the decoded bytes, still in m_Charset
};

bool IsWhiteSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The encoded word starting at start ("=?"), or nullopt when none does.
std::optional<CEncodedWord> ReadEncodedWord(std::string_view value, std::size_t start) {
    const std::size_t charsetStart = start + 2;
    std::size_t question = charsetStart;
    while (question < value.size() && question - charsetStart <= kMaxCharsetName && value[question] != '?' &&
           !IsWhiteSpace(value[question])) {
        ++question;
    }
    if (question >= value.size() || value[question] != '?' || question == charsetStart ||
        question + 2 >= value.size() || value[question + 2] != '?') {
        return std::nullopt;
    }
    const char encoding = AsciiUpper(value[question + 1]);
    if (encoding != 'B' && encoding != 'Q') {
        return std::nullopt;
    }
    const std::size_t textStart = question + 3;
    std::size_t textEnd = textStart;
    while (textEnd < value.size() && value[textEnd] != '?' && !IsWhiteSpace(value[textEnd])) {
        ++textEnd;
    }
    if (textEnd + 1 >= value.size() || value[textEnd] != '?' || value[textEnd + 1] != '=') {
        return std::nullopt;
    }
    CEncodedWord word;
    word.m_End = textEnd + 2;
    word.m_Charset = value.substr(charsetStart, question - charsetStart);
    const std::string_view text = value.substr(textStart, textEnd - textStart);
    const bool clean =
        encoding == 'B' ? DecodeBase64(text, word.m_Bytes) : DecodeQuotedPrintable(text, word.m_Bytes, true);
    if (!clean) {
        return std::nullopt;
    }
    return word;
}

bool OnlyWhiteSpace(std::string_view text) {
    for (const char c : text) {
        if (!IsWhiteSpace(c)) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::string DecodeHeaderText(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    // Bytes of the encoded words read but not converted yet, all in one charset.
    std::string pending;
    std::string_view pendingCharset;
    bool afterWord = false;
    std::size_t plainStart = 0;  // where the text not yet written begins
    const auto flushPending = [&] {
        if (!pendingCharset.empty()) {
            AppendAsUtf8(pending, pendingCharset, out);
        }
        pending.clear();
        pendingCharset = {};
    };
    for (std::size_t at = value.find("=?"); at != kNone; at = value.find("=?", at)) {
        std::optional<CEncodedWord> word = ReadEncodedWord(value, at);
        if (!word) {
            at += 2;
            continue;
        }
        const std::string_view between = value.substr(plainStart, at - plainStart);
        if (!(afterWord && OnlyWhiteSpace(between))) {
            flushPending();
            AppendAsUtf8(between, "", out);
        } else if (!EqualsIgnoringAsciiCase(pendingCharset, word->m_Charset)) {
            flushPending();
        }
        pending += word->m_Bytes;
        pendingCharset = word->m_Charset;
        afterWord = true;
        plainStart = at = word->m_End;
    }
    flushPending();
    AppendAsUtf8(value.substr(plainStart), "", out);
    return out;
}

}  // namespace sieveclaw
