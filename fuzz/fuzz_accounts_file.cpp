// The accounts file reader over arbitrary bytes: no crash, no work beyond the size of the input,
// whatever it reads is written back and read again unchanged, and what is written is never
// damaged.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "core/AccountsFile.h"
#include "fuzz/FuzzRequire.h"

namespace {}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::string folder = "/data/";

    const std::vector<sieveclaw::EmailAccountInfo> records = sieveclaw::ParseAccountsText(text, folder);
    // Every account starts on a line of the input, after the count line.
    const auto lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1;
    Require(records.size() <= lines);

    for (const sieveclaw::EmailAccountInfo& record : records) {
        Require(sieveclaw::FirstFieldNotStoredIntact(record).empty());
        Require(record.m_InboxEntries != nullptr && record.m_PendingDeletions != nullptr);
    }

    const std::string written = sieveclaw::FormatAccountsText(records);
    // What the program writes always reads whole again.
    Require(!sieveclaw::FindAccountsTextDamage(written));
    const std::vector<sieveclaw::EmailAccountInfo> again = sieveclaw::ParseAccountsText(written, folder);
    Require(again.size() == records.size());
    for (std::size_t i = 0; i < records.size(); ++i) {
        Require(sieveclaw::HasSameStoredFields(again[i], records[i]));
    }
    Require(sieveclaw::FormatAccountsText(again) == written);
    return 0;
}
