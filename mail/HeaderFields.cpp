#include "mail/HeaderFields.h"

#include "core/AsciiCase.h"

namespace sieveclaw {

namespace {

// Blank, tab, CR, LF, VT, FF; the C locale's isspace without its locale dependence.
constexpr bool IsWhiteSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string_view TrimEnds(std::string_view text) {
    while (!text.empty() && IsWhiteSpace(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsWhiteSpace(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// The value of a field on its first line: the text after the name with leading white space
// skipped, cut before the first LF. Skipping may run over a line end only into a folded
// continuation (a line starting with blank or tab): an empty "Subject:" must not take the next
// field's line (or the end-of-header "." of a TOP reply) as its value.
std::string_view FirstLineValue(std::string_view rest) {
    std::size_t start = 0;
    while (start < rest.size() && IsWhiteSpace(rest[start])) {
        if (rest[start] == '\n') {
            const bool continued = start + 1 < rest.size() && (rest[start + 1] == ' ' || rest[start + 1] == '\t');
            if (!continued) {
                return {};
            }
        }
        ++start;
    }
    rest.remove_prefix(start);
    const std::size_t lineEnd = rest.find('\n');
    return lineEnd == std::string_view::npos ? rest : rest.substr(0, lineEnd);
}

enum class EField { kTo, kFrom, kSubject, kDate, kNone };

// Which of the four fields the line names: the name in any letter case, then the colon.
EField FieldNamed(std::string_view line, std::string_view& rest) {
    struct Name {
        std::string_view m_Text;
        EField m_Field;
    };
    static constexpr Name kNames[] = {
        {"to:", EField::kTo}, {"from:", EField::kFrom}, {"subject:", EField::kSubject}, {"date:", EField::kDate}};
    for (const Name& name : kNames) {
        if (line.size() >= name.m_Text.size() && EqualsIgnoringAsciiCase(line.substr(0, name.m_Text.size()), name.m_Text)) {
            rest = line.substr(name.m_Text.size());
            return name.m_Field;
        }
    }
    return EField::kNone;
}

void SetField(EField field, std::string_view rest, CEmailMsg& message) {
    switch (field) {
        case EField::kTo:
            message.m_To = std::string(TrimEnds(ExtractAddress(FirstLineValue(rest))));
            break;
        case EField::kFrom:
            message.m_From = std::string(TrimEnds(ExtractAddress(FirstLineValue(rest))));
            break;
        case EField::kSubject:
            message.m_Subject = std::string(TrimEnds(FirstLineValue(rest)));
            break;
        case EField::kDate:
            message.m_Date = std::string(TrimEnds(FirstLineValue(rest)));
            break;
        case EField::kNone:
            break;
    }
}

}  // namespace

std::string ExtractAddress(std::string_view text) {
    const std::size_t at = text.find('@');
    if (at == std::string_view::npos) {
        return {};
    }
    const std::size_t open = text.rfind('<', at);
    const std::size_t start = open == std::string_view::npos ? 0 : open + 1;
    const std::size_t close = text.find_first_of(">\r\n", at);
    const std::size_t end = close == std::string_view::npos ? text.size() : close;
    return std::string(text.substr(start, end - start));
}

bool ParseHeaderLine(std::string_view line, CEmailMsg& message) {
    std::string_view rest;
    const EField field = FieldNamed(line, rest);
    SetField(field, rest, message);
    return field != EField::kNone;
}

bool IsBlankHeaderLine(std::string_view line) {
    const std::size_t lf = line.find('\n');
    return line.substr(0, lf).find_first_not_of(" \t\r") == std::string_view::npos;
}

void ExtractHeaderFields(std::string_view block, CEmailMsg& message) {
    // A header names each field once; where a message names one twice, the first counts, as it
    // does for every reader of the block.
    bool found[4] = {};
    for (std::size_t pos = 0; pos < block.size();) {
        const std::string_view rest = block.substr(pos);
        if (IsBlankHeaderLine(rest)) {
            return;
        }
        std::string_view value;
        const EField field = FieldNamed(rest, value);
        if (field != EField::kNone && !found[static_cast<int>(field)]) {
            found[static_cast<int>(field)] = true;
            SetField(field, value, message);
        }
        const std::size_t lf = rest.find('\n');
        if (lf == std::string_view::npos) {
            return;
        }
        pos += lf + 1;
    }
}

}  // namespace sieveclaw
