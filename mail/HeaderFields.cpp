#include "mail/HeaderFields.h"

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

// Strips name when line starts with it.
bool StartsWithName(std::string_view line, std::string_view name, std::string_view& rest) {
    if (!line.starts_with(name)) {
        return false;
    }
    rest = line.substr(name.size());
    return true;
}

bool MatchesEither(std::string_view line, std::string_view name, std::string_view upperName,
                   std::string_view& rest) {
    return StartsWithName(line, name, rest) || StartsWithName(line, upperName, rest);
}

// The position just after the LF that precedes the first "\n" + name, or npos.
std::size_t FindFieldLine(std::string_view block, std::string_view lfName) {
    const std::size_t found = block.find(lfName);
    return found == std::string_view::npos ? found : found + 1;
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
    bool set = false;
    if (MatchesEither(line, "To:", "TO:", rest)) {
        message.m_To = std::string(TrimEnds(ExtractAddress(FirstLineValue(rest))));
        set = true;
    }
    if (MatchesEither(line, "From:", "FROM:", rest)) {
        message.m_From = std::string(TrimEnds(ExtractAddress(FirstLineValue(rest))));
        set = true;
    }
    if (MatchesEither(line, "Subject:", "SUBJECT:", rest)) {
        message.m_Subject = std::string(TrimEnds(FirstLineValue(rest)));
        set = true;
    }
    if (MatchesEither(line, "Date:", "DATE:", rest)) {
        message.m_Date = std::string(TrimEnds(FirstLineValue(rest)));
        set = true;
    }
    return set;
}

void ExtractHeaderFields(std::string_view block, CEmailMsg& message) {
    // Each search is one pass over the block; the first occurrence wins, and a name must stand
    // right after a line feed, so a field on the block's first line is not seen.
    const auto parseAt = [&](std::size_t linePos) {
        if (linePos != std::string_view::npos) {
            ParseHeaderLine(block.substr(linePos), message);
        }
    };

    std::size_t pos = FindFieldLine(block, "\nTo:");
    if (pos == std::string_view::npos) {
        pos = FindFieldLine(block, "\nTO:");
    }
    parseAt(pos);

    pos = FindFieldLine(block, "\nFrom:");
    if (pos == std::string_view::npos && message.m_From.empty()) {
        pos = FindFieldLine(block, "\nFROM:");
    }
    parseAt(pos);

    pos = FindFieldLine(block, "\nSubject:");
    if (pos == std::string_view::npos) {
        pos = FindFieldLine(block, "\nSUBJECT:");
    }
    parseAt(pos);

    pos = FindFieldLine(block, "\nDate:");
    if (pos == std::string_view::npos) {
        pos = FindFieldLine(block, "\nDATE:");
    }
    parseAt(pos);
}

}  // namespace sieveclaw
