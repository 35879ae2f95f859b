#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// Ini files of other programs, read as the Windows profile functions read them
// (GetPrivateProfileStringA): "[section]" lines and "key=value" lines, white space around keys
// and values ignored, section and key names compared without regard to ASCII letter case, the
// first section of a name the only one searched, the first key of a name the one that counts, a
// value in matching quotes given without them. Not the program's own settings store.

namespace sieveclaw {

class CIniFile {
public:
    void Parse(std::string_view text);
    // False (and an empty file) when it cannot be read.
    bool Load(const std::string& path);

    // The value as a buffer of bufferSize bytes receives it: cut to bufferSize - 1 bytes. The
    // fallback (trailing blanks removed, cut the same way) when the section or key is missing.
    std::string GetString(std::string_view section, std::string_view key, std::string_view fallback = {},
                          std::size_t bufferSize = 1024) const;
    // True when the key is present in the section (a key line without '=' counts, reading empty).
    bool HasKey(std::string_view section, std::string_view key) const;
    // The section names in file order, duplicates included.
    std::vector<std::string> SectionNames() const;

private:
    struct Entry {
        std::string m_Key;
        std::string m_Value;
    };
    struct Section {
        std::string m_Name;
        std::vector<Entry> m_Entries;
    };
    const Entry* Find(std::string_view section, std::string_view key) const;

    std::vector<Section> m_Sections;  // the first one holds the lines before any section line
};

// True when the two texts are equal apart from ASCII letter case.
bool EqualsNoCase(std::string_view a, std::string_view b);

}  // namespace sieveclaw
