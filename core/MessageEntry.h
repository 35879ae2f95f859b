#pragma once

#include <string>

namespace sieveclaw {

// The summary of one message kept in the per-account lists, the trash deletions and the
// salvaged list.
struct MessageEntry {
    std::string m_To;
    std::string m_From;
    std::string m_Subject;
    std::string m_Date;
    std::string m_FilePath;

    // Two entries stand for the same message when the four header texts match byte for byte;
    // where the copy is stored does not count.
    bool IsSameMessage(const MessageEntry& other) const {
        return m_To == other.m_To && m_From == other.m_From && m_Subject == other.m_Subject && m_Date == other.m_Date;
    }
};

}  // namespace sieveclaw
