#include "engine/InboxCommands.h"

#include <unistd.h>

#include <algorithm>
#include <optional>

#include "core/TextFile.h"
#include "filter/FilterFiles.h"
#include "filter/ListEdits.h"
#include "mail/FindMessageEntry.h"
#include "mail/MessageFiles.h"

namespace sieveclaw {

namespace {

bool Contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

// Moves every row not gone yet that matches to the Trash Can under reasonLine, and marks it gone.
template <class Matches>
void MoveMatchingRows(const CListCommandContext& context, const std::vector<CListRow>& rows, Matches matches,
                      const std::string& reasonLine, std::vector<bool>& gone) {
    for (std::size_t at = 0; at < rows.size(); ++at) {
        if (!gone[at] && matches(rows[at])) {
            // A copy that cannot be written leaves the message where it is; the row goes all the
            // same, and comes back with the next reload.
            MoveToTrash(context, rows[at].m_Stored.m_FilePath, reasonLine);
            gone[at] = true;
        }
    }
}

std::vector<std::size_t> Positions(const std::vector<bool>& gone) {
    std::vector<std::size_t> positions;
    for (std::size_t at = 0; at < gone.size(); ++at) {
        if (gone[at]) {
            positions.push_back(at);
        }
    }
    return positions;
}

std::vector<std::size_t> Sorted(std::vector<std::size_t> positions) {
    std::sort(positions.begin(), positions.end());
    return positions;
}

bool AddFromEntry(const CListCommandContext& context, const std::string& entry) {
    if (context.m_State.m_Lists.m_FromList.Contains(entry)) {
        return false;
    }
    AppendAdminList(entry, EFilterList::kFrom, context.m_Administrator);
    context.m_State.m_Lists.m_FromList.Add(entry);
    return true;
}

std::string Quoted(std::string_view format, const std::string& value) {
    return std::string(format) + value + "'";
}

}  // namespace

EMoveOutcome MoveToTrash(const CListCommandContext& context, const std::string& inboxPath,
                         const std::string& reasonLine) {
    const std::optional<std::string> spamPath = CopyToSpamFolder(inboxPath, reasonLine);
    if (!spamPath) {
        return EMoveOutcome::kNotWritten;
    }
    MessageEntry stored;
    std::string reason;
    ReadReasonLine(*spamPath, stored, reason);
    const CAccountList& accounts = context.m_State.m_Accounts;
    const ListPos accountPos = FindAccount(accounts, ReadAccountLine(*spamPath));
    const std::optional<EmailAccountInfo> account = accounts.GetAt(accountPos);
    if (!account) {
        return EMoveOutcome::kNoAccount;
    }
    CMessageEntryList& inbox = *account->m_InboxEntries;
    const ListPos entryPos = FindMessageEntry(inbox, stored);
    const std::optional<MessageEntry> entry = inbox.GetAt(entryPos);
    if (!entry || !inbox.RemoveAt(entryPos)) {
        return EMoveOutcome::kNotListed;
    }
    context.m_State.m_TrashDeletions.Append(*entry);
    context.Post(kStatusInboxCount, static_cast<std::int64_t>(accountPos));
    context.Post(kStatusRecountTrash, 0);
    return EMoveOutcome::kMoved;
}

std::vector<std::size_t> BlockSenders(const CListCommandContext& context, const std::vector<CListRow>& rows,
                                      const std::vector<std::size_t>& selected) {
    std::string question(kBlockSendersQuestion);
    std::vector<std::string> addresses;
    for (const std::size_t at : selected) {
        const std::string address(StripWhiteSpace(rows[at].m_Shown.m_From));
        question += address + "\n";
        if (!address.empty()) {
            addresses.push_back(address);
        }
    }
    if (addresses.empty() || context.m_Prompt.AskYesNoCancel(question) != CUserPrompt::EAnswer::kYes) {
        return {};
    }
    CFilterLists& lists = context.m_State.m_Lists;
    bool added = false;
    for (const std::string& address : addresses) {
        if (lists.m_Friends.Find(address) != kNoPos) {
            context.m_Prompt.ShowInformation(address + " is in your friends list.  It will not be blocked.");
        } else {
            added = AddFromEntry(context, address) || added;
        }
    }
    if (added) {
        context.ShowIfNotSaved(SaveWordList(lists, context.m_State.m_FilterFilesLock));
    }
    std::vector<bool> gone(rows.size());
    for (const std::string& address : addresses) {
        MoveMatchingRows(
            context, rows,
            [&](const CListRow& row) {
                return Contains(row.m_Shown.m_From, address) || Contains(row.m_Stored.m_From, address);
            },
            Quoted("REASON: The email is from '", address), gone);
    }
    return Positions(gone);
}

std::vector<std::string> DomainsToOffer(const std::vector<CListRow>& rows, const std::vector<std::size_t>& selected) {
    std::vector<std::string> domains;
    for (const std::size_t at : selected) {
        std::string_view from = rows[at].m_Shown.m_From;
        const std::size_t sign = from.find('@');
        if (sign != std::string_view::npos) {
            from.remove_prefix(sign + 1);
        }
        domains.emplace_back(StripWhiteSpace(from));
    }
    return domains;
}

std::vector<std::size_t> BlockDomains(const CListCommandContext& context, const std::vector<CListRow>& rows,
                                      const std::vector<std::string>& domains) {
    std::vector<std::string> kept;
    bool added = false;
    for (const std::string& domain : domains) {
        if (!domain.empty()) {
            added = AddFromEntry(context, domain) || added;
            kept.push_back(domain);
        }
    }
    if (added) {
        context.ShowIfNotSaved(SaveWordList(context.m_State.m_Lists, context.m_State.m_FilterFilesLock));
    }
    std::vector<bool> gone(rows.size());
    for (const std::string& domain : kept) {
        const std::string atDomain = "@" + domain;
        MoveMatchingRows(
            context, rows,
            [&](const CListRow& row) {
                return Contains(row.m_Shown.m_From, atDomain) || Contains(row.m_Stored.m_From, atDomain);
            },
            Quoted("REASON: The email is from this domain '", domain), gone);
    }
    return Positions(gone);
}

std::vector<std::size_t> BlockSubjectWords(const CListCommandContext& context, const std::vector<CListRow>& rows,
                                           const std::string& entry) {
    CFilterLists& lists = context.m_State.m_Lists;
    if (!lists.m_BodyList.Contains(entry)) {
        lists.m_BodyList.Add(entry);
        AppendAdminList(entry, EFilterList::kBody, context.m_Administrator);
        context.ShowIfNotSaved(SaveWordList(lists, context.m_State.m_FilterFilesLock));
    }
    std::vector<bool> gone(rows.size());
    MoveMatchingRows(
        context, rows,
        [&](const CListRow& row) {
            return Contains(row.m_Shown.m_Subject, entry) || Contains(row.m_Stored.m_Subject, entry);
        },
        Quoted("REASON: The subject contains '", entry), gone);
    return Positions(gone);
}

void AddSendersToFriends(const CListCommandContext& context, const std::vector<CListRow>& rows,
                         const std::vector<std::size_t>& selected, std::string_view question, bool trim) {
    std::string text(question);
    std::vector<std::string> addresses;
    for (const std::size_t at : selected) {
        const std::string& from = rows[at].m_Shown.m_From;
        std::string address = trim ? std::string(StripWhiteSpace(from)) : from;
        text += address + "\n";
        if (!StripWhiteSpace(address).empty()) {
            addresses.push_back(std::move(address));
        }
    }
    if (addresses.empty() || context.m_Prompt.AskYesNoCancel(text) != CUserPrompt::EAnswer::kYes) {
        return;
    }
    bool added = false;
    for (const std::string& address : addresses) {
        added = AddFriend(context.m_State.m_Lists, address) || added;
    }
    if (added) {
        context.ShowIfNotSaved(SaveFriends(context.m_State.m_Lists, context.m_State.m_FilterFilesLock));
    }
}

bool ConfirmDelete(CUserPrompt& prompt, std::size_t count) {
    return count > 0 && prompt.AskYesNoCancel(std::string(count == 1 ? kDeleteOneQuestion : kDeleteSeveralQuestion)) ==
                            CUserPrompt::EAnswer::kYes;
}

void DeleteInboxMessage(const CListCommandContext& context, const CListRow& row) {
    const std::string& path = row.m_Stored.m_FilePath;
    MessageEntry stored;
    std::string reason;
    std::string accountName;
    if (::access(path.c_str(), R_OK) == 0) {
        ReadReasonLine(path, stored, reason);
        accountName = ReadAccountLine(path);
    } else {
        stored = row.m_Stored;
        accountName = row.m_Account;
    }
    const CAccountList& accounts = context.m_State.m_Accounts;
    const ListPos accountPos = FindAccount(accounts, accountName);
    const std::optional<EmailAccountInfo> account = accounts.GetAt(accountPos);
    if (!account) {
        return;
    }
    stored.m_FilePath.clear();
    account->m_PendingDeletions->Append(stored);
    if (account->m_InboxEntries->RemoveAt(FindMessageEntry(*account->m_InboxEntries, stored))) {
        context.Post(kStatusInboxCount, static_cast<std::int64_t>(accountPos));
    }
    ::unlink(path.c_str());
}

std::vector<std::size_t> DeleteInboxMessages(const CListCommandContext& context, const std::vector<CListRow>& rows,
                                             const std::vector<std::size_t>& selected) {
    if (!ConfirmDelete(context.m_Prompt, selected.size())) {
        return {};
    }
    for (auto at = selected.rbegin(); at != selected.rend(); ++at) {
        DeleteInboxMessage(context, rows[*at]);
    }
    return Sorted(selected);
}

}  // namespace sieveclaw
