#include "mail/MimeHeader.h"

#include <cstring>
#include <map>
#include <optional>
#include <vector>

#include "core/AsciiCase.h"
#include "core/LeadingNumber.h"
#include "mail/Charset.h"
#include "mail/EncodedWords.h"

namespace sieveclaw {

namespace {

// RFC 2231 numbers a long value's sections from 0; more than this many is no real file name.
constexpr unsigned kMaxSections = 100;

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && (IsBlank(text.front()) || text.front() == '\r' || text.front() == '\n')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (IsBlank(text.back()) || text.back() == '\r' || text.back() == '\n')) {
        text.remove_suffix(1);
    }
    return text;
}

struct CParameter {
    std::string m_Name;  // lower case
    std::string m_Value;
};

// The parameters after the first ';' of a structured value, in order.
std::vector<CParameter> Parameters(std::string_view value) {
    std::vector<CParameter> parameters;
    std::size_t at = value.find(';');
    while (at != std::string_view::npos && at < value.size()) {
        ++at;
        const std::size_t equals = value.find_first_of("=;", at);
        if (equals == std::string_view::npos || value[equals] == ';') {
            at = equals;
            continue;
        }
        CParameter parameter;
        parameter.m_Name = AsciiLowered(Trimmed(value.substr(at, equals - at)));
        at = equals + 1;
        while (at < value.size() && IsBlank(value[at])) {
            ++at;
        }
        if (at < value.size() && value[at] == '"') {
            for (++at; at < value.size() && value[at] != '"'; ++at) {
                if (value[at] == '\\' && at + 1 < value.size()) {
                    ++at;
                }
                parameter.m_Value += value[at];
            }
            at = value.find(';', at);
        } else {
            const std::size_t end = value.find(';', at);
            parameter.m_Value = Trimmed(value.substr(at, end == std::string_view::npos ? end : end - at));
            at = end;
        }
        parameters.push_back(std::move(parameter));
    }
    return parameters;
}

std::string PercentDecoded(std::string_view text) {
    std::string bytes;
    bytes.reserve(text.size());
    for (std::size_t at = 0; at < text.size(); ++at) {
        const bool escape = text[at] == '%' && at + 2 < text.size();
        const int high = escape ? HexDigitValue(text[at + 1]) : -1;
        const int low = escape ? HexDigitValue(text[at + 2]) : -1;
        if (high >= 0 && low >= 0) {
            bytes += static_cast<char>(high * 16 + low);
            at += 2;
        } else {
            bytes += text[at];
        }
    }
    return bytes;
}

// A parameter's value with the charset RFC 2231 gave it (empty for a plain value).
struct CParameterValue {
    std::string m_Bytes;
    std::string m_Charset;
    bool m_Extended = false;
};

// "charset'language'text": the charset and the decoded text. Without the two quotes the whole
// value is the text.
void ReadExtended(std::string_view text, CParameterValue& result) {
    const std::size_t first = text.find('\'');
    const std::size_t second = first == std::string_view::npos ? first : text.find('\'', first + 1);
    if (second != std::string_view::npos) {
        result.m_Charset = text.substr(0, first);
        text.remove_prefix(second + 1);
    }
    result.m_Bytes = PercentDecoded(text);
    result.m_Extended = true;
}

std::optional<CParameterValue> FindParameter(std::string_view value, std::string_view wanted) {
    const std::string name = AsciiLowered(wanted);
    std::optional<std::string> plain;
    std::optional<std::string> extended;
    std::map<unsigned, std::pair<bool, std::string>> sections;  // number -> (extended, value)
    for (CParameter& parameter : Parameters(value)) {
        const std::string_view got = parameter.m_Name;
        if (got == name) {
            if (!plain) {
                plain = std::move(parameter.m_Value);
            }
            continue;
        }
        if (got.size() <= name.size() || !got.starts_with(name) || got[name.size()] != '*') {
            continue;
        }
        std::string_view rest = got.substr(name.size() + 1);
        if (rest.empty()) {
            if (!extended) {
                extended = std::move(parameter.m_Value);
            }
            continue;
        }
        const bool sectionExtended = rest.back() == '*';
        if (sectionExtended) {
            rest.remove_suffix(1);
        }
        if (rest.empty() || rest.size() > 3 || (rest.size() > 1 && rest[0] == '0') ||
            rest.find_first_not_of("0123456789") != std::string_view::npos) {
            continue;
        }
        const unsigned number = LeadingNumber<unsigned>(rest);
        if (number < kMaxSections) {
            sections.try_emplace(number, sectionExtended, std::move(parameter.m_Value));
        }
    }
    CParameterValue result;
    if (extended) {
        ReadExtended(*extended, result);
        return result;
    }
    if (sections.count(0) != 0) {
        for (unsigned number = 0; sections.count(number) != 0; ++number) {
            const auto& [sectionExtended, text] = sections[number];
            if (number == 0 && sectionExtended) {
                ReadExtended(text, result);
            } else {
                result.m_Bytes += sectionExtended ? PercentDecoded(text) : text;
            }
        }
        result.m_Extended = result.m_Extended || sections[0].first;
        return result;
    }
    if (plain) {
        result.m_Bytes = std::move(*plain);
        return result;
    }
    return std::nullopt;
}

struct CTarget {
    std::string_view m_Name;
    std::string CEntityHeader::*m_Field;
};

constexpr CTarget kTargets[] = {
    {"content-type", &CEntityHeader::m_ContentType},
    {"content-transfer-encoding", &CEntityHeader::m_TransferEncoding},
    {"content-disposition", &CEntityHeader::m_Disposition},
    {"to", &CEntityHeader::m_To},
    {"from", &CEntityHeader::m_From},
    {"subject", &CEntityHeader::m_Subject},
    {"date", &CEntityHeader::m_Date},
    {"content-id", &CEntityHeader::m_ContentId},
};

}  // namespace

CEntityHeader ReadEntityHeader(std::string_view entity, std::size_t maxValueBytes) {
    CEntityHeader header;
    bool found[std::size(kTargets)] = {};
    std::string* current = nullptr;  // the field whose continuation lines are being joined
    std::size_t at = 0;
    while (at < entity.size()) {
        const void* lf = std::memchr(entity.data() + at, '\n', entity.size() - at);
        const std::size_t lineEnd =
            lf == nullptr ? entity.size() : static_cast<std::size_t>(static_cast<const char*>(lf) - entity.data());
        std::string_view line = entity.substr(at, lineEnd - at);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        const std::size_t next = lineEnd == entity.size() ? lineEnd : lineEnd + 1;
        if (line.empty()) {
            header.m_BodyStart = next;
            break;
        }
        at = next;
        header.m_BodyStart = at;
        if (IsBlank(line.front())) {
            if (current != nullptr && current->size() < maxValueBytes) {
                current->append(line.substr(0, maxValueBytes - current->size()));
            }
            continue;
        }
        current = nullptr;
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) {
            continue;
        }
        const std::string_view name = Trimmed(line.substr(0, colon));
        for (std::size_t target = 0; target < std::size(kTargets); ++target) {
            if (!found[target] && EqualsIgnoringAsciiCase(name, kTargets[target].m_Name)) {
                found[target] = true;
                current = &(header.*kTargets[target].m_Field);
                current->assign(line.substr(colon + 1, maxValueBytes));
                break;
            }
        }
    }
    for (const CTarget& target : kTargets) {
        std::string& value = header.*target.m_Field;
        value = std::string(Trimmed(value));
    }
    return header;
}

std::string MediaType(std::string_view value) {
    const std::size_t semicolon = value.find(';');
    return AsciiLowered(Trimmed(value.substr(0, semicolon)));
}

std::string ParameterValue(std::string_view value, std::string_view name) {
    std::optional<CParameterValue> found = FindParameter(value, name);
    return found ? std::move(found->m_Bytes) : std::string();
}

std::string FileNameParameter(std::string_view value, std::string_view name) {
    const std::optional<CParameterValue> found = FindParameter(value, name);
    if (!found) {
        return {};
    }
    return found->m_Extended ? ToUtf8(found->m_Bytes, found->m_Charset) : DecodeHeaderText(found->m_Bytes);
}

}  // namespace sieveclaw
