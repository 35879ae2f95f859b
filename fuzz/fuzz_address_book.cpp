// The address-book readers over arbitrary bytes, as comma-delimited and as plain text: no crash,
// no output larger than the input, every address trimmed and non-empty, and the new friends of
// an import never repeat an entry.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "filter/AddressBookImport.h"
#include "fuzz/FuzzRequire.h"

namespace {

bool IsTrimmed(const std::string& entry) {
    constexpr std::string_view kWhiteSpace = " \t\r\n\v\f";
    return !entry.empty() && kWhiteSpace.find(entry.front()) == std::string_view::npos &&
           kWhiteSpace.find(entry.back()) == std::string_view::npos;
}

std::size_t TotalSize(const std::vector<std::string>& entries) {
    std::size_t total = 0;
    for (const std::string& entry : entries) {
        total += entry.size();
    }
    return total;
}

void RequireUnique(const std::vector<std::string>& entries, const std::vector<std::string>& friends) {
    std::set<std::string> seen(friends.begin(), friends.end());
    for (const std::string& entry : entries) {
        Require(seen.insert(entry).second);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    sieveclaw::CCsvReader reader(text);
    std::size_t records = 0;
    std::size_t fieldBytes = 0;
    for (std::vector<std::string> fields; reader.NextRecord(fields);) {
        Require(!fields.empty());
        fieldBytes += TotalSize(fields);
        ++records;
    }
    Require(fieldBytes <= size && records <= size);

    const std::optional<std::vector<std::string>> csv = sieveclaw::ReadCsvAddresses(text);
    if (csv) {
        Require(TotalSize(*csv) <= size && std::all_of(csv->begin(), csv->end(), IsTrimmed));
    }
    const std::vector<std::string> txt = sieveclaw::ReadTxtAddresses(text);
    Require(TotalSize(txt) <= size && std::all_of(txt.begin(), txt.end(), IsTrimmed));

    const std::vector<std::string> friends{"friend@example.com", "example.org"};
    const std::optional<std::vector<std::string>> fromCsv = sieveclaw::NewFriendsFromAddressBook(text, true, friends);
    Require(fromCsv.has_value() == csv.has_value());
    if (fromCsv) {
        RequireUnique(*fromCsv, friends);
    }
    const std::optional<std::vector<std::string>> fromTxt = sieveclaw::NewFriendsFromAddressBook(text, false, friends);
    Require(fromTxt.has_value());
    RequireUnique(*fromTxt, friends);
    Require(std::all_of(fromTxt->begin(), fromTxt->end(),
                        [](const std::string& entry) { return sieveclaw::IsValidFriendAddress(entry); }));

    const std::string stripped = sieveclaw::StripAddressDelimiters(text);
    Require(text.find(stripped) != std::string_view::npos);
    sieveclaw::IsValidFriendAddress(text);
    return 0;
}
