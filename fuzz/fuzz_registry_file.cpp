// The registry file reader over arbitrary bytes: no crash, every enumerated sub-key opens by its
// name, and text reads keep to their buffer.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/RegistryView.h"
#include "fuzz/FuzzRequire.h"

namespace {

using sieveclaw::CRegistryKey;

void Walk(const CRegistryKey& key, int depth, std::size_t& budget) {
    std::string name;
    for (std::size_t i = 0; budget > 0 && key.EnumSubKey(i, name); ++i, --budget) {
        const CRegistryKey child = key.Open(name);
        // A name holding '\' names a deeper path, which need not exist.
        if (name.find('\\') == std::string::npos && !name.empty()) {
            Require(child.IsOpen());
        }
        const std::string text = child.ReadText("");
        Require(text.size() < 256 && text.find('\0') == std::string::npos);
        child.ReadNumber("");
        if (depth < 8) {
            Walk(child, depth + 1, budget);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    for (const std::string_view header : {"WINE REGISTRY Version 2\n", "REGEDIT4\n", ""}) {
        sieveclaw::CRegistryView view;
        view.SetRoot(sieveclaw::ERegistryRoot::kCurrentUser, std::string(header) + std::string(text));
        const CRegistryKey root = view.Open(sieveclaw::ERegistryRoot::kCurrentUser, "");
        Require(root.IsOpen());
        std::size_t budget = 2000;
        Walk(root, 0, budget);
    }
    return 0;
}
