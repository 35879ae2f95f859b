// The preference file reader over arbitrary bytes: no crash, only whole non-empty pairs from
// single lines, and a lookup gives the first pair of a key.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/PrefsFile.h"
#include "fuzz/FuzzRequire.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const sieveclaw::PreferencePairs pairs = sieveclaw::ParsePreferencePairs(text);
    for (const sieveclaw::PreferencePair& pair : pairs) {
        Require(!pair.first.empty() && !pair.second.empty());
        Require(pair.first.find('\n') == std::string::npos && pair.second.find('\n') == std::string::npos);
        Require(text.find(pair.second) != std::string_view::npos);
    }
    if (!pairs.empty()) {
        Require(sieveclaw::FindPreference(pairs, pairs.back().first).size() > 0);
        Require(sieveclaw::FindPreference(pairs, pairs.front().first) == pairs.front().second);
    }
    // The full reader: every key it lists has exactly one kind.
    sieveclaw::CPreferences prefs;
    prefs.Parse(text);
    for (const std::string& key : prefs.Keys()) {
        const bool isText = prefs.Text(key).has_value();
        const bool isNumber = prefs.Number(key).has_value();
        Require(!(isText && isNumber));
    }
    return 0;
}
