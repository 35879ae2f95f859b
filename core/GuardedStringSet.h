#pragma once

#include <cstdint>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace sieveclaw {

// Texts in insertion order with an exact (byte-compared) index beside them; a text already
// present is not added twice. Holds the From and Body lists.
class GuardedStringSet {
public:
    // False when the text was already present.
    bool Add(std::string text);
    bool Remove(std::string_view text);
    bool Contains(std::string_view text) const;
    std::size_t Count() const;
    void Clear();

    // A copy of the texts in insertion order.
    std::vector<std::string> Entries() const;
    // The same copy together with the generation it belongs to, read under one lock, so that a
    // structure built from the copy can be labelled with the right generation.
    std::vector<std::string> Entries(std::uint64_t& generation) const;

    // Grows by one with every change, so that a structure built from the texts (a search
    // automaton) knows when to rebuild.
    std::uint64_t Generation() const;

private:
    // Protects every member below.
    mutable std::mutex m_Lock;
    std::vector<std::string> m_Ordered;
    std::set<std::string, std::less<>> m_Index;
    std::uint64_t m_Generation = 0;
};

}  // namespace sieveclaw
