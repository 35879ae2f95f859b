// The date cells of the list windows over arbitrary bytes (a cell is the Date field as the sender
// wrote it): no crash, no read outside the input, and a cell without ':' is always the oldest.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz/FuzzRequire.h"
#include "mail/ListDate.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view cell(reinterpret_cast<const char*>(data), size);
    constexpr std::time_t kNow = 1'780'000'000;
    const std::int64_t value = sieveclaw::ParseListDate(cell, kNow);
    if (!cell.empty() && cell.find(':') == std::string_view::npos) {
        Require(value == 0);
    }
    // The same cell always sorts the same.
    Require(sieveclaw::ParseListDate(cell, kNow) == value);
    return 0;
}
