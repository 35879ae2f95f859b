#pragma once

#include <string>

#include "core/MessageEntry.h"
#include "engine/MailCheck.h"

// What the parts of the mail check (engine/MailCheck*.cpp) share; not for use elsewhere.

namespace sieveclaw::mailcheck {

inline std::string OfText(long long i, long long count) { return std::to_string(i) + " of " + std::to_string(count); }

inline bool AllFieldsEmpty(const MessageEntry& entry) {
    return entry.m_To.empty() && entry.m_From.empty() && entry.m_Subject.empty() && entry.m_Date.empty();
}

inline void NoteFailure(CMailCheck::AccountResult& result, const std::string& reason) {
    result.m_Failure += result.m_Failure.empty() ? reason : "; " + reason;
}

// The four fields as one text, for sets of summaries: two entries have the same key exactly when
// they stand for the same message.
inline std::string SummaryKey(const MessageEntry& entry) {
    std::string key;
    key.reserve(entry.m_To.size() + entry.m_From.size() + entry.m_Subject.size() + entry.m_Date.size() + 12);
    for (const std::string* field : {&entry.m_To, &entry.m_From, &entry.m_Subject, &entry.m_Date}) {
        key += std::to_string(field->size());
        key += ':';
        key += *field;
    }
    return key;
}

// The name of a file, without its folder.
inline std::string FileNameOf(const std::string& path) { return path.substr(path.find_last_of('/') + 1); }

}  // namespace sieveclaw::mailcheck
