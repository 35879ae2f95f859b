// The word-list and friends file readers over arbitrary bytes: no crash, no work beyond the size
// of the input (a wild count line allocates nothing), and whatever they read is written back and
// read again unchanged, except the word-list entries the writer reports it cannot store; a written
// word list is never damaged.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "filter/FilterFiles.h"
#include "filter/FilterLists.h"
#include "fuzz/FuzzRequire.h"

namespace {

bool IsTrimmed(const std::string& entry) {
    constexpr std::string_view kWhiteSpace = " \t\r\n\v\f";
    return !entry.empty() && kWhiteSpace.find(entry.front()) == std::string_view::npos &&
           kWhiteSpace.find(entry.back()) == std::string_view::npos;
}

std::vector<std::string> Without(std::vector<std::string> entries, const std::vector<std::string>& dropped) {
    entries.erase(std::remove_if(entries.begin(), entries.end(),
                                 [&dropped](const std::string& entry) {
                                     return std::find(dropped.begin(), dropped.end(), entry) != dropped.end();
                                 }),
                  entries.end());
    return entries;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1;

    for (const bool scrambled : {true, false}) {
        sieveclaw::CFilterLists lists;
        const std::size_t read = sieveclaw::ReadWordListText(text, scrambled, lists);
        const std::vector<std::string> from = lists.m_FromList.Entries();
        const std::vector<std::string> body = lists.m_BodyList.Entries();
        Require(read < lines && from.size() + body.size() <= read);
        Require(std::all_of(from.begin(), from.end(), IsTrimmed) && std::all_of(body.begin(), body.end(), IsTrimmed));

        std::vector<std::string> unstorable;
        const std::string written = sieveclaw::FormatWordListText(from, body, &unstorable);
        Require(!sieveclaw::FindWordListDamage(written));
        for (const std::string& entry : unstorable) {
            Require(!sieveclaw::IsStorableWordListEntry(entry));
        }
        sieveclaw::CFilterLists again;
        sieveclaw::ReadWordListText(written, true, again);
        Require(again.m_FromList.Entries() == Without(from, unstorable));
        Require(again.m_BodyList.Entries() == Without(body, unstorable));
    }

    const std::vector<std::string> friends = sieveclaw::ParseFriendsText(text);
    Require(friends.size() <= lines && std::all_of(friends.begin(), friends.end(), IsTrimmed));
    Require(sieveclaw::ParseFriendsText(sieveclaw::FormatFriendsText(friends)) == friends);
    return 0;
}
