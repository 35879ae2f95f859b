#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

namespace sieveclaw {

// A position in a GuardedList. Positions are never reused, so a position whose entry another
// thread removed simply finds nothing: a walk can step on from it but never reaches freed memory.
using ListPos = std::uint64_t;
inline constexpr ListPos kNoPos = 0;

// An ordered list of owned entries with its own lock. Every operation takes the lock for its own
// duration only, so a walk (First, then Next) never holds it from start to end, and an entry is
// only ever handed out as a copy or to a visitor that runs under the lock.
template <class T>
class GuardedList {
public:
    ListPos Append(T entry) {
        std::lock_guard lock(m_Lock);
        const ListPos pos = m_NextPos++;
        m_Entries.emplace(pos, std::move(entry));
        return pos;
    }

    std::size_t Count() const {
        std::lock_guard lock(m_Lock);
        return m_Entries.size();
    }

    bool IsEmpty() const { return Count() == 0; }

    // The first position, or kNoPos when the list is empty.
    ListPos First() const {
        std::lock_guard lock(m_Lock);
        return m_Entries.empty() ? kNoPos : m_Entries.begin()->first;
    }

    // The position after pos (which may have been removed meanwhile), or kNoPos at the end.
    ListPos Next(ListPos pos) const {
        std::lock_guard lock(m_Lock);
        const auto it = m_Entries.upper_bound(pos);
        return it == m_Entries.end() ? kNoPos : it->first;
    }

    // A copy of the entry at pos, or nothing when it is gone.
    std::optional<T> GetAt(ListPos pos) const {
        std::lock_guard lock(m_Lock);
        const auto it = m_Entries.find(pos);
        if (it == m_Entries.end()) {
            return std::nullopt;
        }
        return it->second;
    }

    // Calls visit(const T&) under the lock; false when the entry is gone. The visitor must not
    // call back into this list.
    template <class Visit>
    bool VisitAt(ListPos pos, Visit&& visit) const {
        std::lock_guard lock(m_Lock);
        const auto it = m_Entries.find(pos);
        if (it == m_Entries.end()) {
            return false;
        }
        visit(it->second);
        return true;
    }

    // Calls change(T&) under the lock; false when the entry is gone.
    template <class Change>
    bool ModifyAt(ListPos pos, Change&& change) {
        std::lock_guard lock(m_Lock);
        const auto it = m_Entries.find(pos);
        if (it == m_Entries.end()) {
            return false;
        }
        change(it->second);
        return true;
    }

    bool RemoveAt(ListPos pos) {
        std::lock_guard lock(m_Lock);
        return m_Entries.erase(pos) > 0;
    }

    // The first entry equal to value, walking one step per lock.
    ListPos Find(const T& value) const {
        return FindIf([&value](const T& entry) { return entry == value; });
    }

    template <class Pred>
    ListPos FindIf(Pred&& matches) const {
        for (ListPos pos = First(); pos != kNoPos; pos = Next(pos)) {
            bool found = false;
            VisitAt(pos, [&](const T& entry) { found = matches(entry); });
            if (found) {
                return pos;
            }
        }
        return kNoPos;
    }

    void Clear() {
        std::lock_guard lock(m_Lock);
        m_Entries.clear();
    }

    // Replaces every entry in one step, so that a reader sees the old entries or the new ones.
    void Assign(std::vector<T> entries) {
        std::lock_guard lock(m_Lock);
        m_Entries.clear();
        for (T& entry : entries) {
            m_Entries.emplace(m_NextPos++, std::move(entry));
        }
    }

    std::vector<T> Snapshot() const {
        std::lock_guard lock(m_Lock);
        std::vector<T> copy;
        copy.reserve(m_Entries.size());
        for (const auto& [pos, entry] : m_Entries) {
            copy.push_back(entry);
        }
        return copy;
    }

private:
    // Protects m_Entries and m_NextPos. Keys grow with every append, so map order is list order.
    mutable std::mutex m_Lock;
    std::map<ListPos, T> m_Entries;
    ListPos m_NextPos = 1;
};

}  // namespace sieveclaw
