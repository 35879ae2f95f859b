#include "engine/MessageRows.h"

#include <set>
#include <string_view>

#include "core/TextFile.h"
#include "mail/DecodedMessage.h"
#include "mail/MessageFiles.h"

namespace sieveclaw {

namespace {

constexpr int kMinDeleteAfterDays = 1;
constexpr int kMaxDeleteAfterDays = 365;
constexpr int kDefaultDeleteAfterDays = 7;

CListRow RowOf(MessageEntry stored, std::string account) {
    CListRow row;
    row.m_Shown = DisplaySummary(stored);
    row.m_Stored = std::move(stored);
    row.m_Account = std::move(account);
    return row;
}

}  // namespace

void CListCommandContext::ShowIfNotSaved(const SaveResult& saved) const {
    if (!saved) {
        m_Prompt.ShowError(saved.m_Error);
    }
}

void CListCommandContext::Post(int code, std::int64_t value) const {
    if (m_Sink != nullptr) {
        m_Sink->PostStatus(code, value);
    }
}

std::vector<CListRow> InboxRows(const CAccountList& accounts, const GuardedList<std::string>* friends) {
    std::set<std::string, std::less<>> friendSet;
    if (friends != nullptr) {
        for (std::string& entry : friends->Snapshot()) {
            friendSet.insert(std::move(entry));
        }
    }
    std::vector<CListRow> rows;
    for (const EmailAccountInfo& account : accounts.Snapshot()) {
        for (MessageEntry& entry : account.m_InboxEntries->Snapshot()) {
            CListRow row = RowOf(std::move(entry), account.m_AccountName);
            if (friends != nullptr) {
                const bool isFriend = friendSet.contains(row.m_Shown.m_From) || friendSet.contains(row.m_Stored.m_From);
                row.m_Mark = isFriend ? ERowMark::kFriend : ERowMark::kStranger;
            }
            rows.push_back(std::move(row));
        }
    }
    return rows;
}

std::vector<CListRow> TrashRows(const std::string& accountFilter, int deleteAfterDays, std::time_t now) {
    std::vector<CListRow> rows;
    for (std::string& path : FilesInFolder(SpamFolder(), ".eml")) {
        StoredSummary summary = ReadStoredSummary(path);
        if (!accountFilter.empty() && summary.m_Account != accountFilter) {
            continue;
        }
        summary.m_Fields.m_FilePath = std::move(path);
        CListRow row = RowOf(std::move(summary.m_Fields), std::move(summary.m_Account));
        row.m_Reason = std::move(summary.m_Reason);
        const std::optional<std::time_t> created = FileCreationTime(row.m_Stored.m_FilePath);
        row.m_Mark = created && IsOldSpam(*created, now, deleteAfterDays) ? ERowMark::kOld : ERowMark::kYoung;
        rows.push_back(std::move(row));
    }
    return rows;
}

int ClampDeleteAfterDays(int days) {
    return days < kMinDeleteAfterDays || days > kMaxDeleteAfterDays ? kDefaultDeleteAfterDays : days;
}

int RowToSelectAfterDelete(std::size_t lowestDeleted, std::size_t rowsLeft) {
    if (rowsLeft == 0) {
        return -1;
    }
    return static_cast<int>(std::min(lowestDeleted, rowsLeft - 1));
}

}  // namespace sieveclaw
