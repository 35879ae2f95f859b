// The ini reader over arbitrary bytes: no crash, values keep to their buffer, and every section
// it lists can be found again by its name in any letter case.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/IniFile.h"
#include "fuzz/FuzzRequire.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    sieveclaw::CIniFile ini;
    ini.Parse(text);
    const std::string key(text.substr(0, text.find('=')).substr(0, 40));
    for (const std::string& section : ini.SectionNames()) {
        const std::string value = ini.GetString(section, key);
        Require(value.size() < 1024);
        Require(value.find('\n') == std::string::npos);
        std::string upper = section;
        for (char& c : upper) {
            c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
        }
        Require(ini.GetString(upper, key) == value);
        Require(ini.HasKey(section, key) || value.empty());
        Require(ini.GetString(section, key, {}, 8).size() < 8);
    }
    return 0;
}
