#include "mail/HtmlText.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "core/AsciiCase.h"
#include "mail/BodyText.h"
#include "mail/Charset.h"

namespace sieveclaw {

namespace {

constexpr std::size_t kNone = std::string_view::npos;

// The HTML 4 names of U+00A0 to U+00FF, in code point order.
constexpr std::string_view kLatin1Names[96] = {
    "nbsp",   "iexcl",  "cent",   "pound",  "curren", "yen",    "brvbar", "sect",   "uml",    "copy",   "ordf",
    "laquo",  "not",    "shy",    "reg",    "macr",   "deg",    "plusmn", "sup2",   "sup3",   "acute",  "micro",
    "para",   "middot", "cedil",  "sup1",   "ordm",   "raquo",  "frac14", "frac12", "frac34", "iquest", "Agrave",
    "Aacute", "Acirc",  "Atilde", "Auml",   "Aring",  "AElig",  "Ccedil", "Egrave", "Eacute", "Ecirc",  "Euml",
    "Igrave", "Iacute", "Icirc",  "Iuml",   "ETH",    "Ntilde", "Ograve", "Oacute", "Ocirc",  "Otilde", "Ouml",
    "times",  "Oslash", "Ugrave", "Uacute", "Ucirc",  "Uuml",   "Yacute", "THORN",  "szlig",  "agrave", "aacute",
    "acirc",  "atilde", "auml",   "aring",  "aelig",  "ccedil", "egrave", "eacute", "ecirc",  "euml",   "igrave",
    "iacute", "icirc",  "iuml",   "eth",    "ntilde", "ograve", "oacute", "ocirc",  "otilde", "ouml",   "divide",
    "oslash", "ugrave", "uacute", "ucirc",  "uuml",   "yacute", "thorn",  "yuml"};

struct CNamedCharacter {
    std::string_view m_Name;
    char32_t m_CodePoint;
};

constexpr CNamedCharacter kOtherNames[] = {
    {"amp", '&'},         {"lt", '<'},          {"gt", '>'},          {"quot", '"'},        {"apos", '\''},
    {"OElig", 0x152},     {"oelig", 0x153},     {"Scaron", 0x160},    {"scaron", 0x161},    {"Yuml", 0x178},
    {"fnof", 0x192},      {"circ", 0x2C6},      {"tilde", 0x2DC},     {"ensp", 0x2002},     {"emsp", 0x2003},
    {"thinsp", 0x2009},   {"zwnj", 0x200C},     {"zwj", 0x200D},      {"ndash", 0x2013},    {"mdash", 0x2014},
    {"lsquo", 0x2018},    {"rsquo", 0x2019},    {"sbquo", 0x201A},    {"ldquo", 0x201C},    {"rdquo", 0x201D},
    {"bdquo", 0x201E},    {"dagger", 0x2020},   {"Dagger", 0x2021},   {"bull", 0x2022},     {"hellip", 0x2026},
    {"permil", 0x2030},   {"lsaquo", 0x2039},   {"rsaquo", 0x203A},   {"euro", 0x20AC},     {"trade", 0x2122},
};

// Names that older documents write without the closing semicolon.
constexpr std::string_view kLegacyNames[] = {"amp", "lt", "gt", "quot", "nbsp"};

// Blocks whose end a reader sees as a line break; table cells read as separated by a blank.
constexpr std::string_view kBlockTags[] = {"address", "blockquote", "br",  "center", "dd", "div", "dl",
                                           "dt",      "form",       "h1",  "h2",     "h3", "h4",  "h5",
                                           "h6",      "hr",         "li",  "ol",     "p",  "pre", "table",
                                           "tr",      "ul",         "title"};
constexpr std::string_view kCellTags[] = {"td", "th"};
// Elements whose content is never shown.
constexpr std::string_view kHiddenTags[] = {"script", "style"};

bool IsAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsAsciiDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsHtmlSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f';
}

// Letter case ignored: tag names are written in either.
template <std::size_t N>
bool Among(std::string_view name, const std::string_view (&names)[N]) {
    return std::any_of(std::begin(names), std::end(names),
                       [name](std::string_view known) { return EqualsIgnoringAsciiCase(name, known); });
}

// Characters that a reader does not see, which senders place inside words to split them.
bool IsInvisible(char32_t codePoint) {
    return codePoint == 0xAD || (codePoint >= 0x200B && codePoint <= 0x200D) || codePoint == 0x2060 ||
           codePoint == 0xFEFF;
}

std::optional<char32_t> NamedCharacter(std::string_view name) {
    for (std::size_t i = 0; i < std::size(kLatin1Names); ++i) {
        if (kLatin1Names[i] == name) {
            return static_cast<char32_t>(0xA0 + i);
        }
    }
    for (const CNamedCharacter& named : kOtherNames) {
        if (named.m_Name == name) {
            return named.m_CodePoint;
        }
    }
    return std::nullopt;
}

// The character reference at html[at] ('&'): its length and code point, or length 0 when none
// starts there.
std::size_t ReadReference(std::string_view html, std::size_t at, char32_t& codePoint) {
    std::size_t end = at + 1;
    if (end < html.size() && html[end] == '#') {
        ++end;
        const bool hex = end < html.size() && (html[end] == 'x' || html[end] == 'X');
        end += hex ? 1 : 0;
        const std::size_t digitsStart = end;
        std::uint32_t value = 0;
        for (; end < html.size(); ++end) {
            const char c = html[end];
            const int digit = IsAsciiDigit(c) ? c - '0'
                              : hex && c >= 'a' && c <= 'f' ? c - 'a' + 10
                              : hex && c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                            : -1;
            if (digit < 0) {
                break;
            }
            value = std::min<std::uint32_t>(value * (hex ? 16 : 10) + static_cast<std::uint32_t>(digit), 0x110000);
        }
        if (end == digitsStart) {
            return 0;
        }
        codePoint = value == 0 ? 0xFFFD : value;  // AppendCodePoint replaces what is past U+10FFFF
        return (end < html.size() && html[end] == ';' ? end + 1 : end) - at;
    }
    while (end < html.size() && end - at <= 8 && (IsAsciiLetter(html[end]) || IsAsciiDigit(html[end]))) {
        ++end;
    }
    const std::string_view name = html.substr(at + 1, end - at - 1);
    const bool closed = end < html.size() && html[end] == ';';
    if (name.empty() || (!closed && !Among(name, kLegacyNames))) {
        return 0;
    }
    const std::optional<char32_t> named = NamedCharacter(name);
    if (!named) {
        return 0;
    }
    codePoint = *named;
    return end + (closed ? 1 : 0) - at;
}

// Character references resolved in an attribute value.
std::string AttributeText(std::string_view value) {
    std::string text;
    for (std::size_t at = 0; at < value.size();) {
        char32_t codePoint = 0;
        const std::size_t length = value[at] == '&' ? ReadReference(value, at, codePoint) : 0;
        if (length == 0) {
            text += value[at++];
        } else {
            AppendCodePoint(text, codePoint);
            at += length;
        }
    }
    return text;
}

// One tag from html[at] ('<'): its lower-case name, whether it closes, its href, and where it ends.
struct CTag {
    std::string_view m_Name;  // as written
    bool m_Closing = false;
    std::string m_Href;
    std::size_t m_End = kNone;  // just past the '>', kNone when the tag never ends
};

CTag ReadTag(std::string_view html, std::size_t at) {
    CTag tag;
    std::size_t next = at + 1;
    if (next < html.size() && html[next] == '/') {
        tag.m_Closing = true;
        ++next;
    }
    const std::size_t nameStart = next;
    while (next < html.size() && (IsAsciiLetter(html[next]) || IsAsciiDigit(html[next]))) {
        ++next;
    }
    tag.m_Name = html.substr(nameStart, next - nameStart);
    // Attributes: a name, and a value in quotes or up to a blank or the '>'.
    while (next < html.size() && html[next] != '>') {
        if (IsHtmlSpace(html[next]) || html[next] == '/') {
            ++next;
            continue;
        }
        const std::size_t attributeStart = next;
        while (next < html.size() && !IsHtmlSpace(html[next]) && html[next] != '=' && html[next] != '>') {
            ++next;
        }
        const std::string_view name = html.substr(attributeStart, next - attributeStart);
        while (next < html.size() && IsHtmlSpace(html[next])) {
            ++next;
        }
        if (next >= html.size() || html[next] != '=') {
            continue;
        }
        ++next;
        while (next < html.size() && IsHtmlSpace(html[next])) {
            ++next;
        }
        std::size_t valueStart = next;
        std::size_t valueEnd = next;
        if (next < html.size() && (html[next] == '"' || html[next] == '\'')) {
            const std::size_t close = html.find(html[next], next + 1);
            if (close == kNone) {
                return tag;
            }
            valueStart = next + 1;
            valueEnd = close;
            next = close + 1;
        } else {
            while (next < html.size() && !IsHtmlSpace(html[next]) && html[next] != '>') {
                ++next;
            }
            valueEnd = next;
        }
        if (EqualsIgnoringAsciiCase(name, "href") && tag.m_Href.empty()) {
            tag.m_Href = AttributeText(html.substr(valueStart, valueEnd - valueStart));
        }
    }
    tag.m_End = next < html.size() ? next + 1 : kNone;
    return tag;
}

// The visible text, written with its blanks collapsed.
class CTextWriter {
public:
    explicit CTextWriter(std::string& out) : m_Out(out), m_Start(out.size()) {}

    void Blank() { m_Blank = true; }
    void LineBreak() { m_LineBreak = true; }

    void Put(std::string_view text) {
        if (m_Out.size() > m_Start) {
            if (m_LineBreak) {
                m_Out += '\n';
            } else if (m_Blank) {
                m_Out += ' ';
            }
        }
        m_Blank = false;
        m_LineBreak = false;
        m_Out += text;
    }

    void PutCodePoint(char32_t codePoint) {
        if (codePoint == 0xA0) {
            Blank();
        } else if (!IsInvisible(codePoint)) {
            std::string bytes;
            AppendCodePoint(bytes, codePoint);
            Put(bytes);
        }
    }

    bool Empty() const { return m_Out.size() == m_Start; }

private:
    std::string& m_Out;
    std::size_t m_Start;
    bool m_Blank = false;
    bool m_LineBreak = false;
};

// The bytes that end a run of plain text.
constexpr std::array<bool, 256> MakeStops() {
    std::array<bool, 256> stops{};
    for (const char c : {'<', '&', ' ', '\t', '\r', '\n', '\f', '\xC2', '\xE2', '\xEF'}) {
        stops[static_cast<unsigned char>(c)] = true;
    }
    return stops;
}

constexpr std::array<bool, 256> kStops = MakeStops();

// Where the prose starting before from ends: words and the single blanks between them go out as
// they are, up to the first stop that is not such a blank (a blank followed by a stop, blank or
// not, ends the prose too, so that runs of white space become one blank).
std::size_t ProseEnd(std::string_view html, std::size_t from) {
    const auto endsProse = [&html](std::size_t at) {
        const auto byte = static_cast<unsigned char>(html[at]);
        return kStops[byte] && !(byte == ' ' && at + 1 < html.size() && !kStops[static_cast<unsigned char>(html[at + 1])]);
    };
    std::size_t at = from;
#if defined(__SSE2__)
    // Sixteen bytes at a time: the stops other than the blank, and blanks followed by a stop.
    const __m128i stops[] = {_mm_set1_epi8('<'),  _mm_set1_epi8('&'),    _mm_set1_epi8('\t'),
                             _mm_set1_epi8('\r'), _mm_set1_epi8('\n'),   _mm_set1_epi8('\f'),
                             _mm_set1_epi8('\xC2'), _mm_set1_epi8('\xE2'), _mm_set1_epi8('\xEF')};
    const auto stopsIn = [&stops](__m128i block) {
        __m128i found = _mm_cmpeq_epi8(block, stops[0]);
        found = _mm_or_si128(found, _mm_cmpeq_epi8(block, stops[1]));
        found = _mm_or_si128(found, _mm_cmpeq_epi8(block, stops[2]));
        found = _mm_or_si128(found, _mm_cmpeq_epi8(block, stops[3]));
        found = _mm_or_si128(found, _mm_cmpeq_epi8(block, stops[4]));
        found = _mm_or_si128(found, _mm_cmpeq_epi8(block, stops[5]));
        found = _mm_or_si128(found, _mm_cmpeq_epi8(block, stops[6]));
        found = _mm_or_si128(found, _mm_cmpeq_epi8(block, stops[7]));
        return _mm_or_si128(found, _mm_cmpeq_epi8(block, stops[8]));
    };
    const __m128i blank = _mm_set1_epi8(' ');
    for (; at + 17 <= html.size(); at += 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(html.data() + at));
        const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(html.data() + at + 1));
        const __m128i blanks = _mm_cmpeq_epi8(block, blank);
        const __m128i nextStops = _mm_or_si128(stopsIn(next), _mm_cmpeq_epi8(next, blank));
        const int mask = _mm_movemask_epi8(_mm_or_si128(stopsIn(block), _mm_and_si128(blanks, nextStops)));
        if (mask != 0) {
            return at + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(mask)));
        }
    }
#endif
    while (at < html.size() && !endsProse(at)) {
        ++at;
    }
    return at;
}

// The length of an invisible character's UTF-8 form at html[at], or 0.
std::size_t InvisibleAt(std::string_view html, std::size_t at) {
    const std::string_view rest = html.substr(at);
    if (rest.starts_with("\xC2\xAD")) {
        return 2;
    }
    for (const std::string_view form : {"\xE2\x80\x8B", "\xE2\x80\x8C", "\xE2\x80\x8D", "\xE2\x81\xA0", "\xEF\xBB\xBF"}) {
        if (rest.starts_with(form)) {
            return 3;
        }
    }
    return 0;
}

}  // namespace

void AppendHtmlText(std::string_view html, std::string& out) {
    out.reserve(out.size() + html.size());
    CTextWriter writer(out);
    std::vector<std::string> links;
    std::size_t at = 0;
    while (at < html.size()) {
        const char c = html[at];
        if (!kStops[static_cast<unsigned char>(c)]) {
            const std::size_t end = ProseEnd(html, at + 1);
            writer.Put(html.substr(at, end - at));
            at = end;
            continue;
        }
        if (IsHtmlSpace(c)) {
            writer.Blank();
            ++at;
            continue;
        }
        if (c == '&') {
            char32_t codePoint = 0;
            const std::size_t length = ReadReference(html, at, codePoint);
            if (length == 0) {
                writer.Put("&");
                ++at;
            } else {
                writer.PutCodePoint(codePoint);
                at += length;
            }
            continue;
        }
        if (c != '<') {
            const std::size_t invisible = InvisibleAt(html, at);
            if (invisible == 0) {
                writer.Put(html.substr(at, 1));
                ++at;
            }
            at += invisible;
            continue;
        }
        // Markup starts only where a browser would start it; any other '<' is text.
        const char after = at + 1 < html.size() ? html[at + 1] : '\0';
        if (html.substr(at, 4) == "<!--") {
            const std::size_t close = html.find("-->", at + 4);
            at = close == kNone ? html.size() : close + 3;
            continue;
        }
        if (after == '!' || after == '?') {
            const std::size_t close = html.find('>', at);
            at = close == kNone ? html.size() : close + 1;
            continue;
        }
        if (!IsAsciiLetter(after) && after != '/') {
            writer.Put("<");
            ++at;
            continue;
        }
        CTag tag = ReadTag(html, at);
        if (tag.m_End == kNone) {
            break;
        }
        at = tag.m_End;
        if (!tag.m_Href.empty()) {
            links.push_back(std::move(tag.m_Href));
        }
        if (Among(tag.m_Name, kBlockTags)) {
            writer.LineBreak();
        } else if (Among(tag.m_Name, kCellTags)) {
            writer.Blank();
        } else if (!tag.m_Closing && Among(tag.m_Name, kHiddenTags)) {
            const std::size_t close = FindText(html, "</" + std::string(tag.m_Name), false, at);
            const std::size_t end = close == kNone ? kNone : html.find('>', close);
            at = end == kNone ? html.size() : end + 1;
        }
    }
    for (const std::string& link : links) {
        writer.LineBreak();
        writer.Put(link);
    }
}

}  // namespace sieveclaw
