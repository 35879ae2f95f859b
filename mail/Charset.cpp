#include "mail/Charset.h"

#include <iconv.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>

#include "core/AsciiCase.h"

namespace sieveclaw {

namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr std::string_view kReplacementUtf8 = "\xEF\xBF\xBD";

// The bytes 0x80 to 0x9F of Windows-1252; 0 where the code page leaves a byte undefined.
constexpr char32_t kWindows1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// The UTF-8 form of each byte read as Windows-1252, ready to append.
struct CByteForms {
    CByteForms() {
        for (unsigned byte = 0; byte < 256; ++byte) {
            char32_t codePoint = byte;
            if (byte >= 0x80 && byte < 0xA0) {
                codePoint = kWindows1252High[byte - 0x80] != 0 ? kWindows1252High[byte - 0x80] : kReplacement;
            }
            std::string form;
            AppendCodePoint(form, codePoint);
            m_Length[byte] = static_cast<std::uint8_t>(form.size());
            std::copy(form.begin(), form.end(), m_Bytes[byte].begin());
        }
    }
    std::array<std::array<char, 4>, 256> m_Bytes{};
    std::array<std::uint8_t, 256> m_Length{};
};

const CByteForms& Windows1252Forms() {
    static const CByteForms forms;
    return forms;
}

// The length of the well-formed UTF-8 sequence at the start of text, or 0.
std::size_t SequenceLength(const unsigned char* text, std::size_t left) {
    const unsigned char lead = text[0];
    if (lead < 0x80) {
        return 1;
    }
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;   // no overlong forms
        high = lead == 0xED ? 0x9F : 0xBF;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;  // nothing past U+10FFFF
    } else {
        return 0;
    }
    if (left < length || text[1] < low || text[1] > high) {
        return 0;
    }
    for (std::size_t i = 2; i < length; ++i) {
        if (text[i] < 0x80 || text[i] > 0xBF) {
            return 0;
        }
    }
    return length;
}

// Bytes below 0x80 from the start of text, eight at a time.
std::size_t AsciiRun(const unsigned char* text, std::size_t left) {
    std::size_t run = 0;
    for (; run + 8 <= left; run += 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, text + run, 8);
        if ((word & 0x8080808080808080ULL) != 0) {
            break;
        }
    }
    while (run < left && text[run] < 0x80) {
        ++run;
    }
    return run;
}

// UTF-8 kept as it is; each byte that starts no well-formed sequence becomes U+FFFD or, with
// windows1252, the Windows-1252 character it is.
void AppendCheckedUtf8(std::string_view bytes, std::string& out, bool windows1252) {
    const auto* text = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t size = bytes.size();
    const CByteForms& forms = Windows1252Forms();
    std::size_t at = AsciiRun(text, size);
    if (at == size) {
        out.append(bytes);
        return;
    }
    out.reserve(out.size() + size + size / 8);
    out.append(bytes.substr(0, at));
    while (at < size) {
        const std::size_t length = SequenceLength(text + at, size - at);
        if (length != 0) {
            const std::size_t run = length == 1 ? AsciiRun(text + at, size - at) : length;
            out.append(bytes.substr(at, run));
            at += run;
        } else if (windows1252) {
            out.append(forms.m_Bytes[text[at]].data(), forms.m_Length[text[at]]);
            ++at;
        } else {
            out.append(kReplacementUtf8);
            ++at;
        }
    }
}

void AppendWindows1252(std::string_view bytes, std::string& out) {
    const auto* text = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t size = bytes.size();
    const CByteForms& forms = Windows1252Forms();
    out.reserve(out.size() + size + size / 4);
    for (std::size_t at = 0; at < size;) {
        const std::size_t run = AsciiRun(text + at, size - at);
        out.append(bytes.substr(at, run));
        at += run;
        if (at < size) {
            out.append(forms.m_Bytes[text[at]].data(), forms.m_Length[text[at]]);
            ++at;
        }
    }
}

struct CIconvCloser {
    void operator()(void* descriptor) const { iconv_close(static_cast<iconv_t>(descriptor)); }
};

// False when iconv does not know the charset.
bool AppendThroughIconv(std::string_view bytes, const std::string& charset, std::string& out) {
    const iconv_t opened = iconv_open("UTF-8", charset.c_str());
    if (opened == reinterpret_cast<iconv_t>(-1)) {
        return false;
    }
    const std::unique_ptr<void, CIconvCloser> descriptor(opened);
    // iconv's interface takes a non-const input pointer; it never writes through it.
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    std::size_t used = out.size();
    out.resize(used + bytes.size() * 2 + 16);
    // Once the input is used up, one more call without input writes what a stateful charset
    // still holds back (the return to its initial shift state).
    for (bool ending = false;;) {
        char* next = out.data() + used;
        std::size_t room = out.size() - used;
        const std::size_t result =
            ending ? iconv(opened, nullptr, nullptr, &next, &room) : iconv(opened, &in, &inLeft, &next, &room);
        const int error = errno;
        used = static_cast<std::size_t>(next - out.data());
        if (result != static_cast<std::size_t>(-1)) {
            if (ending) {
                break;
            }
            ending = true;
            continue;
        }
        if (error == E2BIG) {
            out.resize(out.size() + std::max<std::size_t>(inLeft * 2, 64));
            continue;
        }
        if (ending) {
            break;
        }
        // A byte that is no character here (EILSEQ), or a character the text ends in the middle
        // of (EINVAL): one replacement per byte, and on after it.
        if (out.size() - used < kReplacementUtf8.size()) {
            out.resize(out.size() + 64);
        }
        std::memcpy(out.data() + used, kReplacementUtf8.data(), kReplacementUtf8.size());
        used += kReplacementUtf8.size();
        ++in;
        --inLeft;
    }
    out.resize(used);
    return true;
}

// Names that iconv spells differently, or where mail means a larger charset than it names.
std::string IconvName(const std::string& name) {
    static constexpr std::pair<std::string_view, std::string_view> kAliases[] = {
        {"gb2312", "GB18030"},       {"gbk", "GB18030"},        {"x-gbk", "GB18030"},
        {"cp936", "GB18030"},        {"euc-cn", "GB18030"},     {"shift_jis", "CP932"},
        {"shift-jis", "CP932"},      {"sjis", "CP932"},         {"x-sjis", "CP932"},
        {"ms_kanji", "CP932"},       {"windows-31j", "CP932"},  {"ks_c_5601-1987", "CP949"},
        {"euc-kr", "CP949"},         {"iso-8859-8-i", "ISO-8859-8"}, {"x-mac-roman", "MACINTOSH"},
        {"macintosh", "MACINTOSH"},
    };
    for (const auto& [alias, real] : kAliases) {
        if (name == alias) {
            return std::string(real);
        }
    }
    return name;
}

enum class ECharset { kUndeclared, kUtf8, kWindows1252, kOther };

// The charset name as mail writes it, lower-cased, without quotes, blanks or language suffix.
std::string CleanName(std::string_view charset) {
    std::string name;
    for (const char c : charset) {
        if (c == '*') {
            break;
        }
        if (c != '"' && c != '\'' && c != ' ' && c != '\t') {
            name += AsciiLower(c);
        }
    }
    return name;
}

ECharset Classify(const std::string& name) {
    static constexpr std::string_view kUndeclared[] = {"",        "us-ascii",   "ascii",        "us_ascii",
                                                       "x-unknown", "unknown-8bit", "ansi_x3.4-1968", "default"};
    static constexpr std::string_view kUtf8[] = {"utf-8", "utf8", "x-utf-8", "unicode-1-1-utf-8"};
    static constexpr std::string_view kWindows1252[] = {"windows-1252", "cp1252",     "x-cp1252", "iso-8859-1",
                                                        "iso8859-1",    "iso_8859-1", "latin1",   "l1",
                                                        "iso-ir-100",   "cp819",      "ibm819"};
    const auto among = [&name](const auto& names) { return std::find(std::begin(names), std::end(names), name) != std::end(names); };
    if (among(kUndeclared)) {
        return ECharset::kUndeclared;
    }
    if (among(kUtf8)) {
        return ECharset::kUtf8;
    }
    if (among(kWindows1252)) {
        return ECharset::kWindows1252;
    }
    // Only plain names reach iconv: a name is outside input, and iconv also reads paths and
    // conversion options ("//") from it.
    const bool plain = name.size() <= 40 && std::all_of(name.begin(), name.end(), [](char c) {
                           return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
                                  c == '.' || c == ':' || c == '+';
                       });
    return plain ? ECharset::kOther : ECharset::kUndeclared;
}

}  // namespace

void AppendAsUtf8(std::string_view bytes, std::string_view charset, std::string& out) {
    const std::string name = CleanName(charset);
    switch (Classify(name)) {
        case ECharset::kUtf8:
            AppendCheckedUtf8(bytes, out, false);
            return;
        case ECharset::kWindows1252:
            AppendWindows1252(bytes, out);
            return;
        case ECharset::kOther:
            if (AppendThroughIconv(bytes, IconvName(name), out)) {
                return;
            }
            break;
        case ECharset::kUndeclared:
            break;
    }
    AppendCheckedUtf8(bytes, out, true);
}

bool IsUtf8AsItIs(std::string_view bytes, std::string_view charset) {
    switch (Classify(CleanName(charset))) {
        case ECharset::kUtf8:
            return IsValidUtf8(bytes);
        case ECharset::kWindows1252:
            return AsciiRun(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()) == bytes.size();
        case ECharset::kOther:
            return false;
        case ECharset::kUndeclared:
            break;
    }
    return IsValidUtf8(bytes);
}

std::string ToUtf8(std::string_view bytes, std::string_view charset) {
    std::string out;
    AppendAsUtf8(bytes, charset, out);
    return out;
}

bool IsValidUtf8(std::string_view text) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t run = AsciiRun(bytes + at, text.size() - at);
        at += run;
        if (at == text.size()) {
            break;
        }
        const std::size_t length = SequenceLength(bytes + at, text.size() - at);
        if (length == 0) {
            return false;
        }
        at += length;
    }
    return true;
}

std::size_t Utf8PrefixLength(std::string_view text, std::size_t maxBytes) {
    if (maxBytes >= text.size()) {
        return text.size();
    }
    std::size_t length = maxBytes;
    // Back over continuation bytes to the start of the character that the limit cuts.
    while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) {
        --length;
    }
    return length;
}

}  // namespace sieveclaw
