// The settings file reader over arbitrary bytes: no crash, a rewrite reads back as the same file,
// any value or name the store accepts comes back byte for byte after a rewrite, and a file that
// read whole is never written back damaged.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/ProfileStore.h"
#include "fuzz/FuzzRequire.h"

namespace {

using sieveclaw::CProfileStore;

std::string_view LineAt(std::string_view text, std::size_t& start) {
    const std::size_t end = std::min(text.find('\n', start), text.size());
    const std::string_view line = text.substr(start, end - start);
    start = end < text.size() ? end + 1 : end;
    return line;
}

bool IsControl(unsigned char byte) {
    return byte < 0x20 || byte == 0x7F;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    // Escaping: one line with nothing a reader trims, and back to the same bytes.
    const std::string escaped = sieveclaw::EscapeProfileValue(text);
    for (const char c : escaped) {
        Require(!IsControl(static_cast<unsigned char>(c)));
    }
    Require(escaped.empty() || (escaped.front() != ' ' && escaped.back() != ' '));
    Require(sieveclaw::UnescapeProfileValue(escaped) == text);

    CProfileStore store;
    const bool whole = !store.Parse(text).has_value();
    const std::string first = store.Serialize();
    CProfileStore reread;
    reread.Parse(first);
    Require(reread.Serialize() == first);

    // The first two lines as section and name, the whole input as the value.
    std::size_t at = 0;
    const std::string_view section = LineAt(text, at);
    const std::string_view name = LineAt(text, at);
    store.GetProfileInt(section, name, 0);
    if (store.WriteProfileString(section, name, text)) {
        Require(store.GetProfileString(section, name, {}) == text);
        CProfileStore written;
        written.Parse(store.Serialize());
        Require(written.GetProfileString(section, name, {}) == text);
        Require(written.Serialize() == store.Serialize());
    }
    if (store.WriteProfileInt("Settings", "Number", static_cast<int>(size) - 1000)) {
        Require(store.GetProfileInt("Settings", "Number", 0) == static_cast<int>(size) - 1000);
    }
    // What the store writes over a file that read whole never makes it damaged.
    Require(!whole || !sieveclaw::FindProfileTextDamage(store.Serialize()));
    return 0;
}
