#include "engine/MailCheck.h"

#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cctype>
#include <climits>
#include <ctime>

#include "core/ActivityLog.h"
#include "core/DataFolder.h"
#include "core/MessageEntry.h"
#include "core/TextFile.h"
#include "engine/AccountTransport.h"
#include "engine/FilterUpdate.h"
#include "filter/FilterFiles.h"
#include "filter/SpamDecision.h"
#include "mail/CEmailMsg.h"
#include "mail/FindMessageEntry.h"
#include "mail/MessageFiles.h"
#include "net/CPOP3Client.h"

namespace sieveclaw {

namespace {

// How long the log-off at shutdown may wait for the server's answer to QUIT.
constexpr auto kQuitGrace = std::chrono::seconds(1);
constexpr long long kSecondsPerDay = 86400;
constexpr long long kDaysBetweenFilterUpdates = 13;  // an update runs once more whole days have passed

std::string OfText(long long i, long long count) {
    return std::to_string(i) + " of " + std::to_string(count);
}

bool AllFieldsEmpty(const MessageEntry& entry) {
    return entry.m_To.empty() && entry.m_From.empty() && entry.m_Subject.empty() && entry.m_Date.empty();
}

void NoteFailure(CMailCheck::AccountResult& result, const std::string& reason) {
    result.m_Failure += result.m_Failure.empty() ? reason : "; " + reason;
}

// A message file holds the header of a message too large to download, then the notice; the
// blank line between them keeps the notice out of the header.
std::string HeaderAndNotice(std::string header) {
    if (!header.empty() && !header.ends_with("\r\n\r\n") && !header.ends_with("\n\n")) {
        header += header.ends_with('\n') ? "\r\n" : "\r\n\r\n";
    }
    return header + std::string(kOversizedNotice);
}

bool WasSeen(const std::vector<MessageEntry>& seen, const MessageEntry& entry) {
    return std::any_of(seen.begin(), seen.end(),
                       [&entry](const MessageEntry& header) { return header.IsSameMessage(entry); });
}

// Removes the entry at pos and its message file; nothing when another thread took it first.
void DropInboxEntry(CMessageEntryList& entries, ListPos pos) {
    const std::optional<MessageEntry> entry = entries.GetAt(pos);
    if (entry && entries.RemoveAt(pos) && !entry->m_FilePath.empty()) {
        WriteActivityLog2("EmailThread - Dropping the inbox copy ", entry->m_FilePath);
        ::unlink(entry->m_FilePath.c_str());
    }
}

}  // namespace

CMailCheck::CMailCheck(CSharedState& state, CStatusSink& sink, CUpdater& updater, CUserPrompt* prompt,
                       std::function<void(CTransportOptions&)> tune)
    : m_State(state), m_Sink(sink), m_Updater(updater), m_Prompt(prompt), m_Tune(std::move(tune)) {}

int CMailCheck::PortNumber(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])) != 0) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = std::min<long long>(value * 10 + (text[i] - '0'), static_cast<long long>(INT_MAX) + 1);
    }
    if (negative) {
        value = -value;
    }
    return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

bool CMailCheck::StopCheck(std::chrono::milliseconds wait) {
    if (m_Stopped) {
        return true;
    }
    if (m_State.m_StopSignal.try_acquire_for(wait)) {
        WriteActivityLog("EmailThread - Stop signal taken");
        m_Stopped = true;
        m_StoppedAt = Clock::now();
    }
    return m_Stopped;
}

bool CMailCheck::StopCutsWaits() const {
    if (m_QuittingAtStop) {
        return Clock::now() - m_StoppedAt > kQuitGrace;
    }
    return m_Stopped || m_State.m_StopSignal.IsSet();
}

CTransportOptions CMailCheck::MakeTransportOptions(const EmailAccountInfo& account) {
    CTransportOptions options;
    CSettings& settings = m_State.m_Settings;
    options.m_Timeout = [&settings] { return settings.GetTimeout(); };
    options.m_ImplicitTlsPorts = settings.GetImplicitTlsPorts();
    options = AccountTransport(std::move(options), account, EMailServer::kPop3);
    if (m_Tune) {
        m_Tune(options);
    }
    options.m_StopRequested = [this] { return StopCutsWaits(); };
    return options;
}

// --- thread start ---------------------------------------------------------------------------

void CMailCheck::ThreadStart() {
    WriteActivityLog("EmailThread - Starting");
    RunFilterUpdate();
    RebuildInboxEntries();
    m_LastCheck = Clock::now();
}

void CMailCheck::RunFilterUpdate() {
    const std::time_t now = std::time(nullptr);
    const long long days = static_cast<long long>(now - m_State.m_Settings.GetLastDataUpdateDate()) / kSecondsPerDay;
    if (days <= kDaysBetweenFilterUpdates) {
        return;
    }
    WriteActivityLog("EmailThread - Checking for new filters");
    if (m_Prompt != nullptr) {
        // The answer does not matter: the update runs in every case, so the box only informs.
        m_Prompt->ShowDismissable(std::string(kMsgFilterCheck), FilterCheckText(m_Updater));
    }
    sieveclaw::RunFilterUpdate(m_State, m_Updater);
}

// The inbox folder holds the good mail of earlier runs whose messages may still be on the
// servers. Remembering it, instead of clearing the folder as a fresh start would, spares
// downloading and judging every kept message again; the first complete header pass of each
// account drops the entries whose messages are gone.
void CMailCheck::RebuildInboxEntries() {
    EnsureProgramFolder();
    for (const std::string& folder : {SpamFolder(), InboxFolder()}) {
        ::mkdir(folder.c_str(), 0700);
    }
    for (ListPos pos = m_State.m_Accounts.First(); pos != kNoPos; pos = m_State.m_Accounts.Next(pos)) {
        m_State.m_Accounts.VisitAt(pos, [](const EmailAccountInfo& account) { account.m_InboxEntries->Clear(); });
    }
    for (const std::string& path : FilesInFolder(InboxFolder())) {
        // Only message files count: anything else here is the temporary file of a save that was
        // cut short, whose message is still on the server and will be stored again.
        if (path.size() < 4 || path.compare(path.size() - 4, 4, ".eml") != 0) {
            WriteActivityLog2("EmailThread - Deleting a file that is no message file: ", path);
            ::unlink(path.c_str());
            continue;
        }
        const std::string accountName = ReadAccountLine(path);
        const ListPos pos = accountName.empty() ? kNoPos : FindAccount(m_State.m_Accounts, accountName);
        MessageEntry entry;
        std::string reason;
        ReadReasonLine(path, entry, reason);
        std::optional<EmailAccountInfo> account = pos == kNoPos ? std::nullopt : m_State.m_Accounts.GetAt(pos);
        // A file nobody can match (its account is gone, it cannot be read, or it names none of the
        // four fields, as the copy of a message too large to download did before its header was
        // kept) would stay forever.
        if (!account || AllFieldsEmpty(entry)) {
            WriteActivityLog2("EmailThread - Deleting an inbox file that belongs to no message: ", path);
            ::unlink(path.c_str());
            continue;
        }
        entry.m_FilePath = path;
        account->m_InboxEntries->Append(std::move(entry));
    }
}

// --- one check ------------------------------------------------------------------------------

std::vector<CMailCheck::AccountResult> CMailCheck::CheckAllAccounts() {
    std::vector<AccountResult> results;
    m_StoreErrorShown = false;
    m_Sink.SetScanningIcon();
    AutoDeleteOldSpam(m_State.m_Settings, &m_Sink);
    for (ListPos pos = m_State.m_Accounts.First(); pos != kNoPos; pos = m_State.m_Accounts.Next(pos)) {
        const std::optional<EmailAccountInfo> account = m_State.m_Accounts.GetAt(pos);
        if (!account) {
            continue;  // removed by the user meanwhile
        }
        bool spamFound = false;
        bool goodStored = false;
        results.push_back(CheckAccount(pos, *account, spamFound, goodStored));
        if (m_Stopped) {
            return results;
        }
        if (account->m_PlaySounds != 0 && m_State.m_Settings.GetPlaySounds()) {
            if (spamFound) {
                m_Sink.PostClawAnimation();
                m_Sink.PlaySound(account->m_SpamSoundFile, true);
                m_Sink.RequestReload(EListWindow::kTrash, true);
            }
            if (goodStored) {
                m_Sink.PlaySound(account->m_NewMailSoundFile, false);
                m_Sink.RequestReload(EListWindow::kInbox, false);
            }
        }
        // The countdown to the next check starts when the last account is done.
        m_LastCheck = Clock::now();
    }
    m_LastCheck = Clock::now();
    StopCheck();
    return results;
}

CMailCheck::AccountResult CMailCheck::CheckAccount(ListPos pos, const EmailAccountInfo& account, bool& soundSpam,
                                                   bool& soundGood) {
    AccountResult result;
    result.m_Name = account.m_AccountName;
    result.m_OnHold = account.m_OnHold != 0;
    {
        CPOP3Client client(MakeTransportOptions(account));
        client.SetNotifyWindow(&m_Sink);

        if (!result.m_OnHold) {
            m_Sink.PostStatusText(kStatusLoggingOn, account.m_AccountName);
        }
        if (StopCheck()) {
            return result;
        }
        if (!result.m_OnHold) {
            if (client.Logon(account.m_POP3Server, account.m_POP3UserId, account.m_POP3Password,
                             PortNumber(account.m_POP3Port))) {
                result.m_LoggedOn = true;
                ExaminePass examined;
                if (!RunSession(client, pos, account, result, examined)) {
                    // Deletions of messages whose copies are on disk take effect only with QUIT.
                    WriteActivityLog("EmailThread - Stopping: logging off");
                    m_QuittingAtStop = true;
                    client.Logoff();
                    m_QuittingAtStop = false;
                    return result;
                }
                soundSpam = examined.m_SpamFound;
                soundGood = examined.m_GoodStored;
            } else if (StopCheck()) {
                return result;
            } else {
                ReportLogonFailure(client, account, result);
            }
        }
    }
    m_Sink.PostStatus(kStatusInboxCount, static_cast<std::int64_t>(pos));
    StopCheck();
    return result;
}

bool CMailCheck::RunSession(CPOP3Client& client, ListPos pos, const EmailAccountInfo& account, AccountResult& result,
                            ExaminePass& examined) {
    m_Sink.PostStatusText(kStatusLoggedOn, account.m_AccountName);
    if (StopCheck()) {
        return false;
    }
    long long count = 0;
    long long size = 0;
    client.GetStats(count, size);
    if (StopCheck()) {
        return false;
    }
    std::vector<SentDeletion> deletions;
    // A count that could not be read says nothing about the mailbox: no header pass, and every
    // inbox entry stays.
    if (!client.SessionOver()) {
        result.m_Messages = count;
        HeaderPass headers;
        if (!ReadHeaders(client, account, count, result, headers, deletions)) {
            return false;
        }
        PruneInboxEntries(account, headers);
        m_Sink.PostStatus(kStatusGotHeaders, 0);
        if (StopCheck()) {
            return false;
        }
        if (!ExamineMessages(client, pos, account, count, headers, result, examined)) {
            return false;
        }
        if (StopCheck()) {
            return false;
        }
    }
    m_Sink.PostStatus(kStatusLoggingOff, 0);
    const bool ended = client.SessionOver();
    client.Logoff();
    m_Sink.PostStatus(kStatusLoggedOff, 0);
    RestoreDeletions(account, deletions, client.m_QuitAccepted);
    if (ended) {
        NoteFailure(result, client.m_SessionError + " The session was ended; every message not yet stored stays on the server");
    } else if (!client.m_QuitAccepted && (result.m_Spam > 0 || result.m_Deleted > 0)) {
        NoteFailure(result, "The server did not confirm the log-off, so the messages deleted in this check may still "
                            "be on it");
    }
    if (result.m_NotStored > 0) {
        NoteFailure(result, std::to_string(result.m_NotStored) +
                                " message(s) left on the server because their copy could not be written");
    }
    return true;
}

bool CMailCheck::ReadHeaders(CPOP3Client& client, const EmailAccountInfo& account, long long count,
                             AccountResult& result, HeaderPass& pass, std::vector<SentDeletion>& deletions) {
    if (m_State.IsPaused()) {
        pass.m_Skipped = true;
        return true;
    }
    pass.m_Complete = true;
    for (long long i = 1; i <= count && i <= INT_MAX; ++i) {
        if (m_State.IsPaused()) {
            // The rest of the pass waits for the next check; a half pass says nothing about the
            // messages it did not reach.
            pass.m_Complete = false;
            break;
        }
        const int n = static_cast<int>(i);
        CEmailMsg work;
        m_Sink.PostStatusText(kStatusGettingHeader, OfText(i, count));
        const bool read = client.GetHeader(n, work);
        if (StopCheck()) {
            return false;
        }
        const MessageEntry header = work.Summary();
        if (!read || AllFieldsEmpty(header)) {
            // A header that could not be read matches nothing: a deletion is only ever sent for
            // the message the user chose. The message itself is judged whole in the examine pass.
            pass.m_Complete = false;
            if (client.SessionOver()) {
                break;
            }
            pass.m_ToExamine.push_back(n);
            continue;
        }
        const ListPos pending = FindMessageEntry(*account.m_PendingDeletions, header);
        if (pending != kNoPos) {
            account.m_PendingDeletions->RemoveAt(pending);
            deletions.push_back({header, false, client.DeleteMessage(n)});
            result.m_Deleted += deletions.back().m_Accepted ? 1 : 0;
            continue;
        }
        if (FindMessageEntry(*account.m_InboxEntries, header) == kNoPos) {
            const ListPos trashed = FindMessageEntry(m_State.m_TrashDeletions, header);
            if (trashed != kNoPos) {
                m_State.m_TrashDeletions.RemoveAt(trashed);
                deletions.push_back({header, true, client.DeleteMessage(n)});
                result.m_Deleted += deletions.back().m_Accepted ? 1 : 0;
            } else {
                pass.m_ToExamine.push_back(n);
            }
        }
        pass.m_Seen.push_back(header);
        if (client.SessionOver()) {
            pass.m_Complete = false;
            break;
        }
    }
    return true;
}

void CMailCheck::RestoreDeletions(const EmailAccountInfo& account, const std::vector<SentDeletion>& deletions,
                                  bool quitAccepted) {
    for (const SentDeletion& deletion : deletions) {
        if (deletion.m_Accepted && quitAccepted) {
            continue;
        }
        WriteActivityLog("EmailThread - A deletion did not take effect; it is asked for again at the next check");
        (deletion.m_FromTrash ? m_State.m_TrashDeletions : *account.m_PendingDeletions).Append(deletion.m_Entry);
    }
}

void CMailCheck::PruneInboxEntries(const EmailAccountInfo& account, const HeaderPass& pass) {
    CMessageEntryList& entries = *account.m_InboxEntries;
    if (pass.m_Complete) {
        // Every message on the server was seen: an entry none of them matches stands for a
        // message that is gone (another program took it), and its copy goes with it.
        for (ListPos pos = entries.First(); pos != kNoPos; pos = entries.Next(pos)) {
            bool seen = true;
            entries.VisitAt(pos, [&](const MessageEntry& entry) { seen = WasSeen(pass.m_Seen, entry); });
            if (!seen) {
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

bool CMailCheck::ExamineMessages(CPOP3Client& client, ListPos pos, const EmailAccountInfo& account, long long count,
                                 const HeaderPass& headers, AccountResult& result, ExaminePass& examined) {
    const std::string& name = account.m_AccountName;
    for (const int n : headers.m_ToExamine) {
        if (m_State.IsPaused() || client.SessionOver()) {
            break;
        }
        CEmailMsg message;
        if (StopCheck()) {
            return false;
        }
        m_Sink.PostStatusText(kStatusGettingMessage, OfText(n, count));
        SetColour(kStatusColourBlue);
        client.m_LastError.clear();
        const long long size = client.GetMessageSize(n);
        const std::uint32_t maxSize = m_State.m_Settings.GetMaxMsgSize();
        bool arrived = false;
        if (!client.SessionOver() && !client.m_LastError.empty()) {
            SetColour(kStatusColourBlack);
            NoteRefused(result, n, "LIST", client.m_LastError);
            continue;
        }
        if (size > static_cast<long long>(maxSize)) {
            // Not downloaded, but its header is kept with the notice, so the copy shows who sent
            // it and what it was. Without its header the notice would be judged a blank message
            // and the message deleted unseen; it waits for the next check instead.
            std::string header;
            arrived = client.GetHeader(n, message, &header);
            SetColour(kStatusColourBlack);
            if (arrived) {
                message.m_Body.assign(kOversizedNotice);
                message.m_RawText = HeaderAndNotice(std::move(header));
            }
        } else {
            message.ClearHeaderFields();
            arrived = client.GetMessage(n, message);
            SetColour(kStatusColourBlack);
            if (StopCheck()) {
                return false;
            }
            if (arrived) {
                message.Process();
            }
        }
        if (!arrived) {
            // A download cut short must not be stored as the message, nor lead to its deletion.
            WriteActivityLogF("EmailThread - Message %d did not arrive whole; it stays on the server", n);
            if (client.SessionOver()) {
                break;
            }
            NoteRefused(result, n, size > static_cast<long long>(maxSize) ? "TOP" : "RETR", client.m_LastError);
            continue;
        }
        if (StopCheck()) {
            return false;
        }
        if (FindMessageEntry(*account.m_InboxEntries, message.Summary()) != kNoPos) {
            continue;  // the same message was judged earlier in this pass
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
            const std::optional<std::string> path = SaveEmailToFolder(SpamFolder(), message, name, reason);
            if (!path) {
                // Nothing is deleted on the server before its copy is on disk.
                ++result.m_NotStored;
                ReportStoreFailure(SpamFolder(), account);
                continue;
            }
            m_Sink.PostStatus(kStatusSpamFound, 0);
            client.m_LastError.clear();
            const bool deleted = client.DeleteMessage(n);
            m_Sink.PostStatus(kStatusRecountTrash, 0);
            ++result.m_Spam;
            examined.m_SpamFound = true;
            if (!deleted && !client.SessionOver()) {
                NoteRefused(result, n, "DELE", client.m_LastError);
            }
        } else {
            WriteActivityLog2("EmailThread - Saving Email to the Inbox folder", InboxFolder());
            const std::optional<std::string> path = SaveEmailToFolder(InboxFolder(), message, name, "");
            WriteActivityLog2("EmailThread - Back from Saving Email to the Inbox folder", path.value_or(""));
            if (!path) {
                // Not remembered either, so the next check examines it again.
                ++result.m_NotStored;
                ReportStoreFailure(InboxFolder(), account);
                continue;
            }
            MessageEntry entry = message.Summary();
            entry.m_FilePath = *path;
            account.m_InboxEntries->Append(std::move(entry));
            m_Sink.PostStatus(kStatusInboxCount, static_cast<std::int64_t>(pos));
            ++result.m_Good;
            examined.m_GoodStored = true;
        }
    }
    return true;
}

void CMailCheck::NoteRefused(AccountResult& result, int n, std::string_view command, const std::string& text) {
    ++result.m_Refused;
    NoteFailure(result, "The server refused " + std::string(command) + " " + std::to_string(n) +
                            (text.empty() ? std::string() : ": " + std::string(StripWhiteSpace(text))) +
                            "; the message stays on the server");
}

void CMailCheck::ReportLogonFailure(const CPOP3Client& client, const EmailAccountInfo& account, AccountResult& result) {
    result.m_Failure = client.m_SessionError.empty() ? "The log-on failed." : client.m_SessionError;
    if (client.m_LastError.empty()) {
        return;  // no server text to show (the connection could not be made)
    }
    result.m_Error = client.m_LastError + "\n\nAccount: " + account.m_AccountName;
    m_State.SetErrorText(result.m_Error);
    m_Sink.PostError(result.m_Error, kErrorBoxStyle);
}

void CMailCheck::ReportStoreFailure(const std::string& folder, const EmailAccountInfo& account) {
    WriteActivityLog2("EmailThread - Could not store a message in ", folder);
    if (m_StoreErrorShown) {
        return;  // one box per check, however many messages failed
    }
    m_StoreErrorShown = true;
    const std::string text =
        "Sieveclaw could not save a copy of a message in the folder " + folder +
        ", so the message was left on your email server.  It will be checked again at the next "
        "check.  Please make sure the disk is not full and the folder can be written.\n\nAccount: " +
        account.m_AccountName;
    m_State.SetErrorText(text);
    m_Sink.PostError(text, kErrorBoxStyle);
}

void CMailCheck::SetColour(std::uint32_t rgb) {
    m_State.SetStatusColour(rgb);
    m_Sink.SetStatusColour(rgb);
}

}  // namespace sieveclaw
