// The examine pass of a check: every message not judged before is downloaded, judged and stored;
// spam is deleted on the server once its copy is on disk.

#include <algorithm>
#include <optional>

#include "core/ActivityLog.h"
#include "engine/MailCheck.h"
#include "engine/MailCheckSteps.h"
#include "filter/SpamDecision.h"
#include "mail/CEmailMsg.h"
#include "mail/FindMessageEntry.h"
#include "mail/HeaderFields.h"
#include "mail/MessageFiles.h"

namespace sieveclaw {

using namespace mailcheck;

namespace {

using ECommand = CPOP3Client::ECommand;

constexpr std::size_t kQueuedAhead = 256;
// Spam copies made durable together: one folder flush for so many, and their DELEs after it.
constexpr std::size_t kSpamGroup = 64;
constexpr std::size_t kSpamGroupBytes = 4u * 1024 * 1024;

// A message file holds the header of a message too large to download, then the notice; the
// blank line between them keeps the notice out of the header.
std::string HeaderAndNotice(std::string header) {
    if (!header.empty() && !header.ends_with("\r\n\r\n") && !header.ends_with("\n\n")) {
        header += header.ends_with('\n') ? "\r\n" : "\r\n\r\n";
    }
    return header + std::string(kOversizedNotice);
}

bool IsDownload(ECommand command) {
    return command == ECommand::kTop || command == ECommand::kTopWhole || command == ECommand::kRetr;
}

}  // namespace

bool CMailCheck::ExamineMessages(CPOP3Client& client, ListPos pos, const EmailAccountInfo& account, long long count,
                                 const HeaderPass& headers, AccountResult& result, ExaminePass& examined) {
    const std::vector<int>& toExamine = headers.m_ToExamine;
    if (toExamine.empty() || m_State.IsPaused()) {
        return true;
    }
    // With pipelining one LIST gives every size, so downloads need not wait for a LIST each.
    std::vector<long long> sizes;
    if (client.Pipelining() && !client.GetMessageSizes(count, sizes)) {
        sizes.clear();
    }
    if (client.SessionOver()) {
        return !StopCheck();
    }
    const std::uint32_t maxSize = m_State.m_Settings.GetMaxMsgSize();
    const auto queueDownload = [&](int n, long long size) {
        // Too large: only its header, kept with the notice, so the copy shows who sent it and
        // what it was. Without its header the notice would be judged a blank message and the
        // message deleted unseen.
        client.Queue(size > static_cast<long long>(maxSize) ? ECommand::kTop
                     : account.m_LeaveMailUnread != 0     ? ECommand::kTopWhole
                                                          : ECommand::kRetr,
                     n);
    };
    std::size_t next = 0;
    const auto feed = [&] {
        while (next < toExamine.size() && client.Unsent() < kQueuedAhead && !m_State.IsPaused() &&
               !client.SessionOver() &&
               (client.Pipelining() || !client.HasOutstanding())) {
            const int n = toExamine[next++];
            const long long size = static_cast<std::size_t>(n) <= sizes.size() ? sizes[n - 1] : -1;
            if (size >= 0) {
                queueDownload(n, size);
            } else {
                client.Queue(ECommand::kList, n);
            }
        }
    };

    CInboxSummaries inbox(*account.m_InboxEntries);
    CMessageFileBatch batch;
    std::vector<WaitingSpam> waiting;
    int announced = 0;
    for (;;) {
        feed();
        if (!client.HasOutstanding()) {
            if (waiting.empty()) {
                break;
            }
            FlushSpam(client, account, batch, waiting, result, examined);
            continue;
        }
        ECommand command{};
        int n = 0;
        if (client.NextInLine(command, n) && command != ECommand::kDele && n != announced) {
            m_Sink.PostStatusText(kStatusGettingMessage, OfText(n, count));
            SetColour(kStatusColourBlue);
            announced = n;
            client.m_LastError.clear();
        }
        CPOP3Client::CAnswer answer;
        const bool whole = client.NextAnswer(answer);
        if (answer.m_Command != ECommand::kDele && (!whole || !answer.m_Ok || IsDownload(answer.m_Command))) {
            SetColour(kStatusColourBlack);
        }
        if (StopCheck()) {
            return false;
        }
        if (!whole) {
            WriteActivityLogF("EmailThread - Message %d did not arrive whole; it stays on the server", answer.m_Number);
            break;
        }
        if (answer.m_Command == ECommand::kDele) {
            if (!answer.m_Ok) {
                NoteRefused(result, answer.m_Number, "DELE", client.m_LastError);
            }
        } else if (!answer.m_Ok) {
            WriteActivityLogF("EmailThread - Message %d did not arrive whole; it stays on the server", answer.m_Number);
            NoteRefused(result, answer.m_Number,
                        answer.m_Command == ECommand::kList   ? "LIST"
                        : answer.m_Command == ECommand::kRetr ? "RETR"
                                                              : "TOP",
                        client.m_LastError);
        } else if (answer.m_Command == ECommand::kList) {
            queueDownload(answer.m_Number, answer.m_Size);
        } else if (!TakeDownload(client, pos, account, answer, headers, inbox, batch, waiting, result, examined)) {
            return false;
        }
        if (!client.Pipelining() || batch.Waiting() >= kSpamGroup || batch.WaitingBytes() >= kSpamGroupBytes) {
            FlushSpam(client, account, batch, waiting, result, examined);
        }
    }
    // After a fault the copies still waiting are made durable all the same: no DELE follows, but
    // their ids tell the next check to delete the messages without another download.
    FlushSpam(client, account, batch, waiting, result, examined);
    batch.FlushPlaced();
    return true;
}

bool CMailCheck::TakeDownload(CPOP3Client& client, ListPos pos, const EmailAccountInfo& account,
                              const CPOP3Client::CAnswer& answer, const HeaderPass& headers, CInboxSummaries& inbox,
                              CMessageFileBatch& batch,
                              std::vector<WaitingSpam>& waiting, AccountResult& result, ExaminePass& examined) {
    const int n = answer.m_Number;
    const std::string& name = account.m_AccountName;
    const std::string id =
        static_cast<std::size_t>(n) <= headers.m_Ids.size() ? headers.m_Ids[static_cast<std::size_t>(n) - 1] : "";
    CEmailMsg message;
    if (answer.m_Command == ECommand::kTop) {
        ExtractHeaderFields(answer.m_Body, message);
        message.m_Body.assign(kOversizedNotice);
        message.m_RawText = HeaderAndNotice(answer.m_Body);
    } else {
        message.ClearHeaderFields();
        CPOP3Client::FillMessage(answer.m_Body, message);
        if (StopCheck()) {
            return false;
        }
        message.Process();
    }
    const MessageEntry summary = message.Summary();
    // Answers read ahead are matched to their commands by order alone; a message that is not the
    // one whose header was read means they have slipped (a server that failed to stuff a lone
    // dot), and nothing of this session can be trusted any more.
    const auto header = headers.m_Headers.find(n);
    if (client.Pipelining() && header != headers.m_Headers.end() && !header->second.IsSameMessage(summary)) {
        client.Abandon("The answer to message " + std::to_string(n) +
                       " is not the message its header announced; the server is out of step with the commands.");
        return true;
    }
    if (StopCheck()) {
        return false;
    }
    if (const ListPos same = inbox.Find(summary); same != kNoPos) {
        // The same message was judged earlier in this pass: its id now leads to that copy.
        if (const std::optional<MessageEntry> entry = account.m_InboxEntries->GetAt(same); entry && !id.empty()) {
            IdsOf(account).SetKept(id, FileNameOf(entry->m_FilePath), summary);
        }
        return true;
    }
    m_Sink.PostStatus(kStatusScanning, 0);
    if (StopCheck()) {
        return false;
    }
    std::string reason;
    const bool spam = IsSpam(message, reason, m_State.m_Lists, m_State.m_Settings.GetAutoDelFileExts(), &m_Sink);
    ++result.m_Examined;
    if (spam) {
        m_Sink.PostStatus(kStatusSavingMessage, 0);
        if (!batch.AddDurable(SpamFolder(), message, name, reason)) {
            // Nothing is deleted on the server before its copy is on disk.
            ++result.m_NotStored;
            ReportStoreFailure(SpamFolder(), account);
            return true;
        }
        waiting.push_back({n, id, summary});
        return true;
    }
    WriteActivityLog2("EmailThread - Saving Email to the Inbox folder", InboxFolder());
    const std::optional<std::string> path = batch.AddPlaced(InboxFolder(), message, name, "");
    WriteActivityLog2("EmailThread - Back from Saving Email to the Inbox folder", path.value_or(""));
    if (!path) {
        // Not remembered either, so the next check examines it again.
        ++result.m_NotStored;
        ReportStoreFailure(InboxFolder(), account);
        return true;
    }
    examined.m_Copies.push_back(*path);
    MessageEntry entry = summary;
    entry.m_FilePath = *path;
    inbox.Add(entry);
    account.m_InboxEntries->Append(std::move(entry));
    if (!id.empty()) {
        IdsOf(account).SetKept(id, FileNameOf(*path), summary);
    }
    m_Sink.PostStatus(kStatusInboxCount, static_cast<std::int64_t>(pos));
    ++result.m_Good;
    examined.m_GoodStored = true;
    return true;
}

void CMailCheck::FlushSpam(CPOP3Client& client, const EmailAccountInfo& account, CMessageFileBatch& batch,
                           std::vector<WaitingSpam>& waiting, AccountResult& result, ExaminePass& examined) {
    if (waiting.empty()) {
        return;
    }
    const std::vector<std::optional<std::string>> paths = batch.MakeDurable();
    for (std::size_t i = 0; i < waiting.size(); ++i) {
        const WaitingSpam& spam = waiting[i];
        if (i >= paths.size() || !paths[i]) {
            ++result.m_NotStored;
            ReportStoreFailure(SpamFolder(), account);
            continue;
        }
        m_Sink.PostStatus(kStatusSpamFound, 0);
        examined.m_Copies.push_back(*paths[i]);
        if (!spam.m_Id.empty()) {
            IdsOf(account).SetDeleted(spam.m_Id, FileNameOf(*paths[i]), spam.m_Summary);
        }
        if (!client.SessionOver()) {
            client.Queue(ECommand::kDele, spam.m_Number);
        }
        m_Sink.PostStatus(kStatusRecountTrash, 0);
        ++result.m_Spam;
        examined.m_SpamFound = true;
    }
    waiting.clear();
}

}  // namespace sieveclaw
