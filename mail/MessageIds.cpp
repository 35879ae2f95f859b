#include "mail/MessageIds.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <unordered_set>

#include "core/ActivityLog.h"
#include "core/DataFolder.h"
#include "core/TextFile.h"

namespace sieveclaw {

namespace {

constexpr std::string_view kHeader = "Sieveclaw message ids 1";
constexpr std::string_view kKeptMark = "K ";
constexpr std::string_view kDeletedMark = "D ";

// FNV-1a over the identity: a file name that no account name, however odd, can break.
std::string Fingerprint(const MailboxIdentity& identity) {
    std::uint64_t hash = 14695981039346656037ULL;
    for (const std::string* part : {&identity.m_Account, &identity.m_Server, &identity.m_User}) {
        for (const char c : *part) {
            hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
        }
        hash = (hash ^ 0x0a) * 1099511628211ULL;
    }
    char text[17] = {};
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

bool IsOneLine(std::string_view text) { return text.find_first_of("\r\n") == std::string_view::npos; }

// An id as a server may give it (1 to 70 characters from 0x21 to 0x7E), so it ends at the first
// blank of its line.
bool IsStorableId(std::string_view id) {
    return !id.empty() && id.size() <= 70 &&
           std::all_of(id.begin(), id.end(), [](char c) { return c >= 0x21 && c <= 0x7e; });
}

}  // namespace

std::string MessageIdsFolder() { return GetProgramFolder() + "messageids"; }

std::string MessageIdsPath(const MailboxIdentity& identity) {
    return MessageIdsFolder() + "/" + Fingerprint(identity) + ".txt";
}

void RemoveOtherMessageIds(const std::vector<MailboxIdentity>& identities) {
    std::unordered_set<std::string> wanted;
    for (const MailboxIdentity& identity : identities) {
        wanted.insert(MessageIdsPath(identity));
    }
    for (const std::string& path : FilesInFolder(MessageIdsFolder())) {
        if (wanted.count(path) == 0) {
            WriteActivityLog2("EmailThread - Removing the message ids of a mailbox no account names: ", path);
            ::unlink(path.c_str());
        }
    }
}

CMessageIds::CMessageIds(MailboxIdentity identity)
    : m_Identity(std::move(identity)), m_Path(MessageIdsPath(m_Identity)) {}

bool CMessageIds::Load() {
    m_Known.clear();
    m_Changed = false;
    std::string text;
    if (!ReadFileBytes(m_Path, text)) {
        return false;
    }
    std::optional<KnownById> known = Parse(text, m_Identity);
    if (!known) {
        return false;
    }
    m_Known = std::move(*known);
    return true;
}

bool CMessageIds::Save() {
    if (!m_Changed) {
        return true;
    }
    EnsureProgramFolder();
    ::mkdir(MessageIdsFolder().c_str(), 0700);
    if (!WriteFileAtomically(m_Path, Format(), 0600)) {
        WriteActivityLog2("EmailThread - Could not write the message ids ", m_Path);
        return false;
    }
    m_Changed = false;
    return true;
}

const CMessageIds::Known* CMessageIds::Find(const std::string& id) const {
    const auto found = m_Known.find(id);
    return found == m_Known.end() ? nullptr : &found->second;
}

void CMessageIds::SetKept(const std::string& id, std::string fileName, MessageEntry fields) {
    if (!IsStorableId(id) || !IsOneLine(fileName) || fileName.empty()) {
        return;
    }
    fields.m_FilePath.clear();
    m_Known[id] = {false, std::move(fileName), std::move(fields)};
    m_Changed = true;
}

void CMessageIds::SetDeleted(const std::string& id, std::string fileName, MessageEntry fields) {
    if (!IsStorableId(id) || !IsOneLine(fileName)) {
        return;
    }
    fields.m_FilePath.clear();
    m_Known[id] = {true, std::move(fileName), std::move(fields)};
    m_Changed = true;
}

void CMessageIds::Forget(const std::string& id) {
    m_Changed = m_Known.erase(id) > 0 || m_Changed;
}

void CMessageIds::KeepOnly(const std::vector<std::string>& listed) {
    const std::unordered_set<std::string> onServer(listed.begin(), listed.end());
    for (auto it = m_Known.begin(); it != m_Known.end();) {
        if (onServer.count(it->first) == 0) {
            it = m_Known.erase(it);
            m_Changed = true;
        } else {
            ++it;
        }
    }
}

void CMessageIds::TakeFieldsFrom(const std::vector<MessageEntry>& entries) {
    std::unordered_map<std::string, const MessageEntry*> byName;
    for (const MessageEntry& entry : entries) {
        byName.emplace(entry.m_FilePath.substr(entry.m_FilePath.find_last_of('/') + 1), &entry);
    }
    for (auto& [id, known] : m_Known) {
        const auto found = byName.find(known.m_FileName);
        if (!known.m_Deleted && found != byName.end()) {
            known.m_Fields = *found->second;
            known.m_Fields.m_FilePath.clear();
        }
    }
}

std::string CMessageIds::Format() const {
    std::string text;
    text.reserve(64 + m_Known.size() * 48);
    for (const std::string_view line : {kHeader, std::string_view(m_Identity.m_Account),
                                        std::string_view(m_Identity.m_Server), std::string_view(m_Identity.m_User)}) {
        text.append(line);
        text.append("\r\n");
    }
    for (const auto& [id, known] : m_Known) {
        text.append(known.m_Deleted ? kDeletedMark : kKeptMark);
        text.append(id);
        text += ' ';
        text.append(known.m_FileName);
        text.append("\r\n");
    }
    return text;
}

std::optional<CMessageIds::KnownById> CMessageIds::Parse(std::string_view text, const MailboxIdentity& identity) {
    CLineReader lines(text);
    // The identity lines are compared as written: an account name may end in blanks.
    const auto nextExact = [&lines] {
        std::string_view line;
        if (!lines.Next(line)) {
            return std::string_view();
        }
        return line.ends_with('\r') ? line.substr(0, line.size() - 1) : line;
    };
    if (nextExact() != kHeader || nextExact() != identity.m_Account || nextExact() != identity.m_Server ||
        nextExact() != identity.m_User) {
        return std::nullopt;
    }
    KnownById known;
    for (std::string_view line; lines.Next(line);) {
        line = TrimTrailingWhiteSpace(line);
        const bool deleted = line.starts_with(kDeletedMark);
        if (!deleted && !line.starts_with(kKeptMark)) {
            continue;
        }
        line.remove_prefix(2);
        const std::size_t blank = line.find(' ');
        const std::string_view id = line.substr(0, blank);
        const std::string_view fileName = blank == std::string_view::npos ? std::string_view() : line.substr(blank + 1);
        if (!IsStorableId(id) || !IsOneLine(fileName) || (!deleted && fileName.empty())) {
            continue;
        }
        known[std::string(id)] = {deleted, std::string(fileName), {}};
    }
    return known;
}

}  // namespace sieveclaw
