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
#include "engine/MailCheckSteps.h"
#include "net/CPOP3Client.h"

namespace sieveclaw {

namespace {

// How long the log-off at shutdown may wait for the server's answer to QUIT.
constexpr auto kQuitGrace = std::chrono::seconds(1);
constexpr long long kSecondsPerDay = 86400;
constexpr long long kDaysBetweenFilterUpdates = 13;  // an update runs once more whole days have passed

}  // namespace

using namespace mailcheck;

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
    // A look without a wait takes no timed wait: a check makes thousands of them.
    if (wait.count() > 0 ? m_State.m_StopSignal.try_acquire_for(wait) : m_State.m_StopSignal.try_acquire()) {
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
    if (m_OneAtATime.count(MessageIdsPath({account.m_AccountName, account.m_POP3Server, account.m_POP3UserId})) > 0) {
        options.m_OneCommandAtATime = true;
    }
    options.m_StopRequested = [this] { return StopCutsWaits(); };
    return options;
}

// --- thread start ---------------------------------------------------------------------------

void CMailCheck::ThreadStart() {
    WriteActivityLog("EmailThread - Starting");
    RunFilterUpdate();
    RebuildInboxEntries();
    // Every account's ids are read now, while the inbox entries still name every copy: a message
    // the user deletes before the first check is then still found by its id.
    m_Ids.clear();
    std::vector<MailboxIdentity> identities;
    for (const EmailAccountInfo& account : m_State.m_Accounts.Snapshot()) {
        identities.push_back({account.m_AccountName, account.m_POP3Server, account.m_POP3UserId});
        IdsOf(account);
    }
    RemoveOtherMessageIds(identities);
    m_LastCheck = Clock::now();
}

CMessageIds& CMailCheck::IdsOf(const EmailAccountInfo& account) {
    MailboxIdentity identity{account.m_AccountName, account.m_POP3Server, account.m_POP3UserId};
    std::unique_ptr<CMessageIds>& ids = m_Ids[MessageIdsPath(identity)];
    if (!ids) {
        ids = std::make_unique<CMessageIds>(std::move(identity));
        ids->Load();
        ids->TakeFieldsFrom(account.m_InboxEntries->Snapshot());
    }
    return *ids;
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
    // A spam copy whose group was never made durable was cut short in its temporary file; its
    // message is still on the server.
    for (const std::string& path : FilesInFolder(SpamFolder())) {
        const std::size_t mark = path.rfind(".eml.");
        if (mark != std::string::npos && path.size() == mark + 11) {
            WriteActivityLog2("EmailThread - Deleting a copy that was cut short: ", path);
            ::unlink(path.c_str());
        }
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
                const bool finished = RunSession(client, pos, account, result, examined);
                if (!finished) {
                    // Deletions of messages whose copies are on disk take effect only with QUIT.
                    WriteActivityLog("EmailThread - Stopping: logging off");
                    m_QuittingAtStop = true;
                    client.Logoff();
                    m_QuittingAtStop = false;
                    // The count read before the QUIT can show a stopped session out of step too.
                    if (client.OutOfStep() && client.SentAhead()) {
                        TakeBackSession(account, examined, result);
                    }
                }
                IdsOf(account).Save();
                if (!finished) {
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
    client.ReadCapabilities();
    client.GetStats(count, size);
    if (StopCheck()) {
        return false;
    }
    SentDeletions deletions;
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
    client.Logoff();
    const bool ended = client.SessionOver();
    m_Sink.PostStatus(kStatusLoggedOff, 0);
    RestoreDeletions(account, deletions, client.m_QuitAccepted);
    if (client.OutOfStep() && client.SentAhead()) {
        TakeBackSession(account, examined, result);
    }
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

void CMailCheck::TakeBackSession(const EmailAccountInfo& account, ExaminePass& examined, AccountResult& result) {
    WriteActivityLog("EmailThread - Answers read ahead went out of step; taking back the copies of this session");
    CMessageEntryList& entries = *account.m_InboxEntries;
    for (const std::string& path : examined.m_Copies) {
        const ListPos pos = entries.FindIf([&path](const MessageEntry& entry) { return entry.m_FilePath == path; });
        if (pos != kNoPos) {
            entries.RemoveAt(pos);
        }
        ::unlink(path.c_str());
    }
    CMessageIds& ids = IdsOf(account);
    ids.Load();
    ids.TakeFieldsFrom(entries.Snapshot());
    m_OneAtATime.insert(ids.FilePath());
    if (!examined.m_Copies.empty()) {
        m_Sink.PostStatus(kStatusRecountTrash, 0);
    }
    examined = {};
    result.m_Good = 0;
    result.m_Spam = 0;
    NoteFailure(result, "Its answers could not be trusted, so the copies of this check were taken back; the server is "
                        "asked one command at a time from now on");
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
