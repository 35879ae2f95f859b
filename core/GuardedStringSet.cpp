#include "core/GuardedStringSet.h"

#include <algorithm>

namespace sieveclaw {

bool GuardedStringSet::Add(std::string text) {
    std::lock_guard lock(m_Lock);
    if (!m_Index.insert(text).second) {
        return false;
    }
    m_Ordered.push_back(std::move(text));
    ++m_Generation;
    return true;
}

bool GuardedStringSet::Remove(std::string_view text) {
    std::lock_guard lock(m_Lock);
    const auto found = m_Index.find(text);
    if (found == m_Index.end()) {
        return false;
    }
    m_Index.erase(found);
    m_Ordered.erase(std::find(m_Ordered.begin(), m_Ordered.end(), text));
    ++m_Generation;
    return true;
}

bool GuardedStringSet::Contains(std::string_view text) const {
    std::lock_guard lock(m_Lock);
    return m_Index.find(text) != m_Index.end();
}

std::size_t GuardedStringSet::Count() const {
    std::lock_guard lock(m_Lock);
    return m_Ordered.size();
}

void GuardedStringSet::Clear() {
    std::lock_guard lock(m_Lock);
    m_Ordered.clear();
    m_Index.clear();
    ++m_Generation;
}

std::vector<std::string> GuardedStringSet::Entries() const {
    std::lock_guard lock(m_Lock);
    return m_Ordered;
}

std::vector<std::string> GuardedStringSet::Entries(std::uint64_t& generation) const {
    std::lock_guard lock(m_Lock);
    generation = m_Generation;
    return m_Ordered;
}

std::uint64_t GuardedStringSet::Generation() const {
    std::lock_guard lock(m_Lock);
    return m_Generation;
}

}  // namespace sieveclaw
