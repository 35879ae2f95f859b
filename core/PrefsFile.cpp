#include "core/PrefsFile.h"

#include <algorithm>

#include "core/TextFile.h"

namespace sieveclaw {

namespace {

constexpr std::string_view kUserPref = "user_pref(\"";
constexpr std::size_t kKeyStart = kUserPref.size();  // 11

// The key and value of one line, both empty when the line gives no pair.
PreferencePair ParseLine(std::string_view line) {
    if (line.find(kUserPref) == std::string_view::npos || line.size() <= kKeyStart - 1) {
        return {};
    }
    const std::size_t keyEnd = line.find("\",", kKeyStart);
    if (keyEnd == std::string_view::npos) {
        return {};
    }
    const std::size_t open = line.find('"', keyEnd + 2);
    if (open == std::string_view::npos) {
        return {};  // a number or true/false preference
    }
    const std::size_t valueStart = open + 1;
    const std::size_t valueEnd = line.find("\");");
    if (valueEnd == std::string_view::npos || valueEnd <= valueStart) {
        return {};
    }
    return {std::string(line.substr(kKeyStart, keyEnd - kKeyStart)),
            std::string(line.substr(valueStart, valueEnd - valueStart))};
}

}  // namespace

PreferencePairs ParsePreferencePairs(std::string_view text) {
    PreferencePairs pairs;
    CLineReader reader(text);
    std::string_view line;
    while (reader.Next(line)) {
        PreferencePair pair = ParseLine(TrimTrailingWhiteSpace(line));
        if (!pair.first.empty() && !pair.second.empty()) {
            pairs.push_back(std::move(pair));
        }
    }
    return pairs;
}

std::string FindPreference(const PreferencePairs& pairs, std::string_view key) {
    const auto found =
        std::find_if(pairs.begin(), pairs.end(), [key](const PreferencePair& pair) { return pair.first == key; });
    return found != pairs.end() ? found->second : std::string();
}

namespace {

void SkipBlanks(std::string_view line, std::size_t& pos) {
    while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) {
        ++pos;
    }
}

// A quoted text at pos (which holds the quote); pos ends after the closing quote.
bool ReadQuoted(std::string_view line, std::size_t& pos, std::string& text) {
    if (pos >= line.size() || line[pos] != '"') {
        return false;
    }
    text.clear();
    for (++pos; pos < line.size(); ++pos) {
        char c = line[pos];
        if (c == '"') {
            ++pos;
            return true;
        }
        if (c == '\\' && pos + 1 < line.size()) {
            c = line[++pos];
            if (c == 'n') {
                c = '\n';
            } else if (c == 'r') {
                c = '\r';
            }
        }
        text += c;
    }
    return false;
}

}  // namespace

void CPreferences::Parse(std::string_view text) {
    m_Values.clear();
    m_Keys.clear();
    CLineReader reader(text);
    std::string_view line;
    while (reader.Next(line)) {
        line = StripWhiteSpace(line);
        constexpr std::string_view kOpen = "user_pref(";
        if (line.substr(0, kOpen.size()) != kOpen) {
            continue;
        }
        std::size_t pos = kOpen.size();
        std::string key;
        SkipBlanks(line, pos);
        if (!ReadQuoted(line, pos, key)) {
            continue;
        }
        SkipBlanks(line, pos);
        if (pos >= line.size() || line[pos] != ',') {
            continue;
        }
        ++pos;
        SkipBlanks(line, pos);
        Value value;
        if (pos < line.size() && line[pos] == '"') {
            if (!ReadQuoted(line, pos, value.m_Text)) {
                continue;
            }
        } else {
            const std::size_t start = pos;
            while (pos < line.size() && line[pos] != ')' && line[pos] != ' ' && line[pos] != '\t') {
                ++pos;
            }
            value.m_Text = std::string(line.substr(start, pos - start));
            if (value.m_Text == "true" || value.m_Text == "false") {
                value.m_Kind = EKind::kBoolean;
            } else {
                const std::size_t digits = value.m_Text.find_first_not_of("0123456789", value.m_Text[0] == '-' ? 1 : 0);
                const bool number = !value.m_Text.empty() && value.m_Text != "-" && digits == std::string::npos &&
                                    value.m_Text.size() <= 18;
                if (!number) {
                    continue;
                }
                value.m_Kind = EKind::kNumber;
            }
        }
        SkipBlanks(line, pos);
        if (pos >= line.size() || line[pos] != ')') {
            continue;
        }
        if (m_Values.find(key) == m_Values.end()) {
            m_Keys.push_back(key);
        }
        m_Values[key] = std::move(value);
    }
}

std::optional<std::string> CPreferences::Text(std::string_view key) const {
    const auto found = m_Values.find(key);
    if (found == m_Values.end() || found->second.m_Kind != EKind::kText) {
        return std::nullopt;
    }
    return found->second.m_Text;
}

std::optional<std::int64_t> CPreferences::Number(std::string_view key) const {
    const auto found = m_Values.find(key);
    if (found == m_Values.end() || found->second.m_Kind != EKind::kNumber) {
        return std::nullopt;
    }
    return std::stoll(found->second.m_Text);
}

}  // namespace sieveclaw
