// The header pass of a check: which messages on the server are known, which the user asked to
// delete, which must be examined; and the inbox entries whose messages are gone.

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <unordered_map>

#include "core/ActivityLog.h"
#include "engine/MailCheck.h"
#include "engine/MailCheckSteps.h"
#include "mail/CEmailMsg.h"
#include "mail/FindMessageEntry.h"
#include "mail/HeaderFields.h"
#include "mail/MessageFiles.h"

namespace sieveclaw {

using namespace mailcheck;

namespace {

// How many commands wait in the client's queue ahead of what the window sends: enough to keep it
// full, few enough that a pause stops the pass soon.
constexpr std::size_t kQueuedAhead = 256;

// Removes the entry at pos and its message file; nothing when another thread took it first.
void DropInboxEntry(CMessageEntryList& entries, ListPos pos) {
    const std::optional<MessageEntry> entry = entries.GetAt(pos);
    if (entry && entries.RemoveAt(pos) && !entry->m_FilePath.empty()) {
        WriteActivityLog2("EmailThread - Dropping the inbox copy ", entry->m_FilePath);
        ::unlink(entry->m_FilePath.c_str());
    }
}

bool FileExists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

// The first deletion of list that asks for the known message: by its inbox copy where the entry
// names one, else by the four fields. kNoPos when none does.
ListPos FindDeletionOf(const GuardedList<MessageEntry>& list, const CMessageIds::Known& known) {
    const std::string copy = known.m_Deleted ? std::string() : InboxFolder() + "/" + known.m_FileName;
    for (ListPos pos = list.First(); pos != kNoPos; pos = list.Next(pos)) {
        bool asks = false;
        list.VisitAt(pos, [&](const MessageEntry& entry) {
            asks = !entry.m_FilePath.empty() && !copy.empty()
                       ? entry.m_FilePath == copy
                       : !AllFieldsEmpty(known.m_Fields) && entry.IsSameMessage(known.m_Fields);
        });
        if (asks) {
            return pos;
        }
    }
    return kNoPos;
}

// Takes the entry at pos out of list; false when another thread took it first.
bool TakeEntry(GuardedList<MessageEntry>& list, ListPos pos, MessageEntry& entry) {
    const std::optional<MessageEntry> taken = list.GetAt(pos);
    if (!taken || !list.RemoveAt(pos)) {
        return false;
    }
    entry = *taken;
    return true;
}

}  // namespace

bool CMailCheck::ReadHeaders(CPOP3Client& client, const EmailAccountInfo& account, long long count,
                             AccountResult& result, HeaderPass& pass, SentDeletions& deletions) {
    if (m_State.IsPaused()) {
        pass.m_Skipped = true;
        return true;
    }
    pass.m_Complete = true;
    CMessageIds* ids = nullptr;
    if (client.OffersUniqueIds() && client.GetUniqueIds(count, pass.m_Ids)) {
        ids = &IdsOf(account);
    } else {
        pass.m_Ids.clear();
    }
    if (client.SessionOver()) {
        pass.m_Complete = false;
        return !StopCheck();
    }
    CInboxSummaries inbox(*account.m_InboxEntries);
    std::vector<int> toRead;
    if (ids != nullptr) {
        toRead = SortByIds(client, account, *ids, pass, deletions);
    } else {
        for (long long i = 1; i <= count && i <= INT_MAX; ++i) {
            toRead.push_back(static_cast<int>(i));
        }
    }

    // Without pipelining each TOP waits for the answer to everything before it, DELEs included.
    std::size_t next = 0;
    const auto feed = [&] {
        while (next < toRead.size() && client.Unsent() < kQueuedAhead &&
               (client.Pipelining() || !client.HasOutstanding())) {
            client.Queue(CPOP3Client::ECommand::kTop, toRead[next++]);
        }
    };
    feed();
    while (client.HasOutstanding()) {
        CPOP3Client::ECommand command{};
        int n = 0;
        if (client.NextInLine(command, n) && command == CPOP3Client::ECommand::kTop) {
            m_Sink.PostStatusText(kStatusGettingHeader, OfText(n, count));
        }
        CPOP3Client::CAnswer answer;
        const bool whole = client.NextAnswer(answer);
        if (StopCheck()) {
            return false;
        }
        if (!whole) {
            pass.m_Complete = false;
            break;
        }
        if (answer.m_Command == CPOP3Client::ECommand::kDele) {
            TakeDeletionAnswer(answer, deletions, result);
        } else {
            TakeHeader(client, account, answer, inbox, ids, pass, deletions);
        }
        if (next < toRead.size() && m_State.IsPaused()) {
            // The rest of the pass waits for the next check; a half pass says nothing about the
            // messages it did not reach.
            pass.m_Complete = false;
            next = toRead.size();
        }
        feed();
    }
    return true;
}

std::vector<int> CMailCheck::SortByIds(CPOP3Client& client, const EmailAccountInfo& account, CMessageIds& ids,
                                       HeaderPass& pass, SentDeletions& deletions) {
    ids.KeepOnly(pass.m_Ids);
    std::unordered_map<std::string, MessageEntry> copies;  // the inbox entries by their copy
    for (MessageEntry& entry : account.m_InboxEntries->Snapshot()) {
        std::string path = entry.m_FilePath;
        copies.emplace(std::move(path), std::move(entry));
    }
    std::vector<int> toRead;
    for (std::size_t i = 0; i < pass.m_Ids.size() && i < INT_MAX; ++i) {
        const int n = static_cast<int>(i + 1);
        const std::string& id = pass.m_Ids[i];
        const CMessageIds::Known* known = id.empty() ? nullptr : ids.Find(id);
        if (known == nullptr) {
            toRead.push_back(n);
            continue;
        }
        // A deletion the user asked for, found by the message's id.
        for (const bool fromTrash : {false, true}) {
            GuardedList<MessageEntry>& list = fromTrash ? m_State.m_TrashDeletions : *account.m_PendingDeletions;
            const ListPos pos = FindDeletionOf(list, *known);
            SentDeletion deletion;
            if (pos != kNoPos && TakeEntry(list, pos, deletion.m_Entry)) {
                deletion.m_Asked = true;
                deletion.m_FromTrash = fromTrash;
                const MessageEntry fields = known->m_Fields;
                ids.SetDeleted(id, {}, fields);
                QueueDeletion(client, n, std::move(deletion), deletions);
                known = nullptr;
                break;
            }
        }
        if (known == nullptr) {
            continue;
        }
        if (known->m_Deleted) {
            // Its copy is in the spam folder (or the user asked for it), but the deletion did not
            // take effect: it is asked for again, without another download. A copy the user has
            // thrown away since leaves the message to be judged again.
            if (known->m_FileName.empty() || FileExists(SpamFolder() + "/" + known->m_FileName)) {
                QueueDeletion(client, n, {}, deletions);
                continue;
            }
        } else {
            const auto copy = copies.find(InboxFolder() + "/" + known->m_FileName);
            if (copy != copies.end() &&
                (AllFieldsEmpty(known->m_Fields) || copy->second.IsSameMessage(known->m_Fields))) {
                pass.m_KnownCopies.insert(copy->first);
                continue;
            }
        }
        // Known, but its copy is gone (the inbox forgotten while paused, the file lost): its
        // header decides, as for a message never seen.
        ids.Forget(id);
        toRead.push_back(n);
    }
    return toRead;
}

void CMailCheck::TakeHeader(CPOP3Client& client, const EmailAccountInfo& account, const CPOP3Client::CAnswer& answer,
                            const CInboxSummaries& inbox, CMessageIds* ids, HeaderPass& pass,
                            SentDeletions& deletions) {
    const int n = answer.m_Number;
    const std::string id = ids != nullptr && n >= 1 && static_cast<std::size_t>(n) <= pass.m_Ids.size()
                               ? pass.m_Ids[static_cast<std::size_t>(n) - 1]
                               : std::string();
    CEmailMsg work;
    if (answer.m_Ok) {
        ExtractHeaderFields(answer.m_Body, work);
    }
    const MessageEntry header = work.Summary();
    if (!answer.m_Ok || AllFieldsEmpty(header)) {
        // A header that could not be read matches nothing: a deletion is only ever sent for the
        // message the user chose. The message itself is judged whole in the examine pass.
        pass.m_Complete = false;
        pass.m_ToExamine.push_back(n);
        return;
    }
    SentDeletion deletion;
    const ListPos pending = FindMessageEntry(*account.m_PendingDeletions, header);
    if (pending != kNoPos && TakeEntry(*account.m_PendingDeletions, pending, deletion.m_Entry)) {
        deletion.m_Asked = true;
        if (ids != nullptr) {
            ids->SetDeleted(id, {}, header);
        }
        QueueDeletion(client, n, std::move(deletion), deletions);
        return;
    }
    const ListPos kept = inbox.Find(header);
    if (kept == kNoPos) {
        const ListPos trashed = FindMessageEntry(m_State.m_TrashDeletions, header);
        if (trashed != kNoPos && TakeEntry(m_State.m_TrashDeletions, trashed, deletion.m_Entry)) {
            deletion.m_Asked = true;
            deletion.m_FromTrash = true;
            if (ids != nullptr) {
                ids->SetDeleted(id, {}, header);
            }
            QueueDeletion(client, n, std::move(deletion), deletions);
        } else {
            pass.m_ToExamine.push_back(n);
            pass.m_Headers[n] = header;
        }
    } else if (ids != nullptr) {
        // Judged before the ids were kept (or by another run): from now on its id says so.
        if (const std::optional<MessageEntry> entry = account.m_InboxEntries->GetAt(kept)) {
            ids->SetKept(id, FileNameOf(entry->m_FilePath), header);
        }
    }
    pass.m_Seen.push_back(header);
}

void CMailCheck::QueueDeletion(CPOP3Client& client, int n, SentDeletion deletion, SentDeletions& deletions) {
    deletion.m_Number = n;
    deletions.push_back(std::move(deletion));
    client.Queue(CPOP3Client::ECommand::kDele, n);
}

void CMailCheck::TakeDeletionAnswer(const CPOP3Client::CAnswer& answer, SentDeletions& deletions,
                                    AccountResult& result) {
    for (SentDeletion& deletion : deletions) {
        if (deletion.m_Number == answer.m_Number && !deletion.m_Accepted) {
            deletion.m_Accepted = answer.m_Ok;
            result.m_Deleted += answer.m_Ok && deletion.m_Asked ? 1 : 0;
            return;
        }
    }
}

void CMailCheck::RestoreDeletions(const EmailAccountInfo& account, const SentDeletions& deletions,
                                  bool quitAccepted) {
    for (const SentDeletion& deletion : deletions) {
        if (!deletion.m_Asked || (deletion.m_Accepted && quitAccepted)) {
            continue;
        }
        WriteActivityLog("EmailThread - A deletion did not take effect; it is asked for again at the next check");
        (deletion.m_FromTrash ? m_State.m_TrashDeletions : *account.m_PendingDeletions).Append(deletion.m_Entry);
    }
}

void CMailCheck::PruneInboxEntries(const EmailAccountInfo& account, const HeaderPass& pass) {
    CMessageEntryList& entries = *account.m_InboxEntries;
    if (pass.m_Complete) {
        // Every message on the server was seen, by its id or its header: an entry none of them
        // stands for is a message that is gone (another program took it), and its copy goes with
        // it.
        std::unordered_set<std::string> seen;
        for (const MessageEntry& header : pass.m_Seen) {
            seen.insert(SummaryKey(header));
        }
        for (ListPos pos = entries.First(); pos != kNoPos; pos = entries.Next(pos)) {
            bool found = true;
            entries.VisitAt(pos, [&](const MessageEntry& entry) {
                found = pass.m_KnownCopies.count(entry.m_FilePath) > 0 || seen.count(SummaryKey(entry)) > 0;
            });
            if (!found) {
                DropInboxEntry(entries, pos);
            }
        }
        return;
    }
    // A pass cut short by a pause, a header that could not be read or a lost connection says
    // nothing about the messages it did not see: the entries stay. A pass skipped because
    // checking is paused forgets the account's entries; the next check rebuilds them.
    if (pass.m_Skipped && !entries.IsEmpty()) {
        for (ListPos pos = entries.First(); pos != kNoPos; pos = entries.Next(pos)) {
            DropInboxEntry(entries, pos);
        }
    }
}

}  // namespace sieveclaw
