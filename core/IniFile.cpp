#include "core/IniFile.h"

#include <algorithm>

#include "core/AsciiCase.h"
#include "core/TextFile.h"

namespace sieveclaw {

namespace {

std::string_view StripBlanks(std::string_view text) {
    return StripWhiteSpace(text);
}

}  // namespace

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return AsciiLower(x) == AsciiLower(y); });
}

void CIniFile::Parse(std::string_view text) {
    m_Sections.clear();
    m_Sections.push_back({});
    if (text.substr(0, 3) == "\xEF\xBB\xBF") {
        text.remove_prefix(3);
    }
    CLineReader reader(text);
    std::string_view raw;
    while (reader.Next(raw)) {
        const std::string_view line = StripBlanks(raw);
        if (line.empty() || line.front() == ';') {
            continue;
        }
        if (line.front() == '[') {
            const std::size_t close = line.find(']');
            if (close != std::string_view::npos) {
                m_Sections.push_back({std::string(line.substr(1, close - 1)), {}});
                continue;
            }
        }
        const std::size_t equals = line.find('=');
        Entry entry;
        entry.m_Key = std::string(StripBlanks(line.substr(0, equals)));
        if (equals != std::string_view::npos) {
            entry.m_Value = std::string(StripBlanks(line.substr(equals + 1)));
        }
        m_Sections.back().m_Entries.push_back(std::move(entry));
    }
}

bool CIniFile::Load(const std::string& path) {
    std::string bytes;
    const bool read = ReadFileBytes(path, bytes);
    Parse(bytes);
    return read;
}

const CIniFile::Entry* CIniFile::Find(std::string_view section, std::string_view key) const {
    const auto found = std::find_if(m_Sections.begin() + (m_Sections.empty() ? 0 : 1), m_Sections.end(),
                                    [section](const Section& s) { return EqualsNoCase(s.m_Name, section); });
    if (found == m_Sections.end()) {
        return nullptr;
    }
    const auto entry = std::find_if(found->m_Entries.begin(), found->m_Entries.end(),
                                    [key](const Entry& e) { return EqualsNoCase(e.m_Key, key); });
    return entry != found->m_Entries.end() ? &*entry : nullptr;
}

std::string CIniFile::GetString(std::string_view section, std::string_view key, std::string_view fallback,
                                std::size_t bufferSize) const {
    if (bufferSize == 0) {
        return {};
    }
    std::string_view value;
    if (const Entry* entry = Find(section, key); entry != nullptr) {
        value = entry->m_Value;
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
            value = value.substr(1, value.size() - 2);
        }
    } else {
        value = fallback;
        while (!value.empty() && value.back() == ' ') {
            value.remove_suffix(1);
        }
    }
    return std::string(value.substr(0, bufferSize - 1));
}

bool CIniFile::HasKey(std::string_view section, std::string_view key) const {
    return Find(section, key) != nullptr;
}

std::vector<std::string> CIniFile::SectionNames() const {
    std::vector<std::string> names;
    for (std::size_t i = 1; i < m_Sections.size(); ++i) {
        names.push_back(m_Sections[i].m_Name);
    }
    return names;
}

}  // namespace sieveclaw
