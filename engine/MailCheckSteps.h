#pragma once

#include <string>
#include <unordered_set>

#include "core/EmailAccountInfo.h"
#include "core/MessageEntry.h"
#include "engine/MailCheck.h"
#include "mail/FindMessageEntry.h"

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

// The summaries of an account's inbox entries as a pass knows them: every entry there was when it
// began, and every entry it added since. Only the worker adds entries (the user may remove some
// meanwhile), so a summary not found here is in no entry, and one found here is looked up in the
// list itself before it counts. Spares a walk over the whole list for every message.
class CInboxSummaries {
public:
    explicit CInboxSummaries(const CMessageEntryList& entries) : m_Entries(entries) {
        for (const MessageEntry& entry : entries.Snapshot()) {
            m_Keys.insert(SummaryKey(entry));
        }
    }
    void Add(const MessageEntry& entry) { m_Keys.insert(SummaryKey(entry)); }
    // The first entry for the same message, or kNoPos.
    ListPos Find(const MessageEntry& summary) const {
        return m_Keys.count(SummaryKey(summary)) > 0 ? FindMessageEntry(m_Entries, summary) : kNoPos;
    }

private:
    const CMessageEntryList& m_Entries;
    std::unordered_set<std::string> m_Keys;
};

// The name of a file, without its folder.
inline std::string FileNameOf(const std::string& path) { return path.substr(path.find_last_of('/') + 1); }

}  // namespace sieveclaw::mailcheck
