#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "core/AccountList.h"
#include "core/EmailAccountInfo.h"
#include "core/MessageEntry.h"
#include "core/StatusSink.h"
#include "core/Updater.h"
#include "core/UserPrompt.h"
#include "engine/EmailThread.h"
#include "engine/SharedState.h"
#include "mail/MessageFileBatch.h"
#include "mail/MessageIds.h"
#include "net/CPOP3Client.h"
#include "net/TransportOptions.h"

namespace sieveclaw {

namespace mailcheck {
class CInboxSummaries;
}

// The work of the mail check worker between its countdowns: the thread start and the check of
// every account. Lives on the thread that runs it (the worker, or the caller of RunOnce) for one
// run; reads the shared state only through its guards.
class CMailCheck {
public:
    using AccountResult = CEmailThread::AccountResult;
    using Clock = std::chrono::steady_clock;

    CMailCheck(CSharedState& state, CStatusSink& sink, CUpdater& updater, CUserPrompt* prompt,
               std::function<void(CTransportOptions&)> tune);
    CMailCheck(const CMailCheck&) = delete;
    CMailCheck& operator=(const CMailCheck&) = delete;

    // The filter update when 14 days have passed, the message folders, and the inbox entries of
    // every account rebuilt from the inbox folder. Takes the current time as the last check.
    void ThreadStart();

    // One check of every account in list order. Returns early, with what was done so far, once a
    // stop check took the stop signal.
    std::vector<AccountResult> CheckAllAccounts();

    // Looks for the stop signal, waiting up to wait for it. True once it has been taken; from then
    // on every call answers true at once. The steps of a check only look (a wait there would cost
    // every header and message of a large mailbox its length again); the countdown loop waits, so
    // that it turns about twenty times a second.
    bool StopCheck(std::chrono::milliseconds wait = std::chrono::milliseconds(0));
    bool Stopped() const { return m_Stopped; }

    // When the last account of a check was done (the countdown runs from there).
    Clock::time_point LastCheck() const { return m_LastCheck; }

    // The port text as a number: optional blanks and sign, then the leading decimal digits; 0
    // when there are none. Values past the int range saturate.
    static int PortNumber(const std::string& text);

private:
    // What the header pass found.
    struct HeaderPass {
        std::vector<MessageEntry> m_Seen;  // every header read that was not a pending deletion
        std::vector<int> m_ToExamine;      // ascending
        // With unique ids: the id of message n at [n - 1] ("" where the server gave none), and
        // the inbox copies of messages known by id that are on the server.
        std::vector<std::string> m_Ids;
        std::unordered_set<std::string> m_KnownCopies;
        // The header TOP gave for each message to examine, which its download must repeat.
        std::unordered_map<int, MessageEntry> m_Headers;
        bool m_Complete = false;  // every header was read, with the connection alive
        bool m_Skipped = false;   // paused before it began
    };
    // What the examine pass did.
    struct ExaminePass {
        bool m_SpamFound = false;
        bool m_GoodStored = false;
        std::vector<std::string> m_Copies;  // every copy written in this session
    };
    // A deletion sent in this session: it takes effect only with the QUIT.
    struct SentDeletion {
        int m_Number = 0;
        MessageEntry m_Entry;
        bool m_Asked = false;      // the user asked for it (else a spam copy's message deleted again)
        bool m_FromTrash = false;  // from the trash deletions, else from the account's pending ones
        bool m_Accepted = false;   // the server answered the DELE with "+OK"
    };
    using SentDeletions = std::vector<SentDeletion>;
    // A spam copy waiting to be made durable before its DELE.
    struct WaitingSpam {
        int m_Number = 0;
        std::string m_Id;
        MessageEntry m_Summary;
    };

    void RunFilterUpdate();
    void RebuildInboxEntries();
    // What the account remembers by unique id, read from its file on first use.
    CMessageIds& IdsOf(const EmailAccountInfo& account);

    AccountResult CheckAccount(ListPos pos, const EmailAccountInfo& account, bool& soundSpam, bool& soundGood);
    // Everything between a successful log-on and the log-off. False when the stop signal was
    // taken (the connection is still open then).
    bool RunSession(CPOP3Client& client, ListPos pos, const EmailAccountInfo& account, AccountResult& result,
                    ExaminePass& examined);
    bool ReadHeaders(CPOP3Client& client, const EmailAccountInfo& account, long long count, AccountResult& result,
                     HeaderPass& pass, SentDeletions& deletions);
    // Messages known by id: deletions asked for are queued, known copies noted; the numbers whose
    // headers must be read are returned.
    std::vector<int> SortByIds(CPOP3Client& client, const EmailAccountInfo& account, CMessageIds& ids,
                               HeaderPass& pass, SentDeletions& deletions);
    // One header read in the header pass.
    void TakeHeader(CPOP3Client& client, const EmailAccountInfo& account, const CPOP3Client::CAnswer& answer,
                    const mailcheck::CInboxSummaries& inbox, CMessageIds* ids, HeaderPass& pass,
                    SentDeletions& deletions);
    static void QueueDeletion(CPOP3Client& client, int n, SentDeletion deletion, SentDeletions& deletions);
    static void TakeDeletionAnswer(const CPOP3Client::CAnswer& answer, SentDeletions& deletions,
                                   AccountResult& result);
    // Deletions the server did not carry out (refused, or the session ended without a confirmed
    // QUIT) go back to their lists, so the next check asks again.
    void RestoreDeletions(const EmailAccountInfo& account, const SentDeletions& deletions, bool quitAccepted);
    void PruneInboxEntries(const EmailAccountInfo& account, const HeaderPass& pass);
    bool ExamineMessages(CPOP3Client& client, ListPos pos, const EmailAccountInfo& account, long long count,
                         const HeaderPass& headers, AccountResult& result, ExaminePass& examined);
    // One download: judged, its copy written (spam waits in batch for its group). False when the
    // stop signal was taken.
    bool TakeDownload(CPOP3Client& client, ListPos pos, const EmailAccountInfo& account,
                      const CPOP3Client::CAnswer& answer, const HeaderPass& headers,
                      mailcheck::CInboxSummaries& inbox, CMessageFileBatch& batch,
                      std::vector<WaitingSpam>& waiting, AccountResult& result, ExaminePass& examined);
    // Makes the waiting spam copies durable, then queues their DELEs while the session holds.
    void FlushSpam(CPOP3Client& client, const EmailAccountInfo& account, CMessageFileBatch& batch,
                   std::vector<WaitingSpam>& waiting, AccountResult& result, ExaminePass& examined);
    // A session whose answers were read ahead ended out of step: the copies it wrote may hold
    // answers to other commands. They are taken back (no deletion took effect, so every message
    // is still on the server), with the ids it learnt, and the mailbox is asked one command at a
    // time for the rest of this run.
    void TakeBackSession(const EmailAccountInfo& account, ExaminePass& examined, AccountResult& result);
    void ReportLogonFailure(const CPOP3Client& client, const EmailAccountInfo& account, AccountResult& result);
    // Message n stays on the server because the server refused a command about it.
    static void NoteRefused(AccountResult& result, int n, std::string_view command, const std::string& text);
    void ReportStoreFailure(const std::string& folder, const EmailAccountInfo& account);
    void SetColour(std::uint32_t rgb);

    CTransportOptions MakeTransportOptions(const EmailAccountInfo& account);
    // Asked between the poll slices of every network wait: once the stop signal is set, the wait
    // is cut short so the worker reaches its next stop check. The QUIT after it gets a short
    // grace.
    bool StopCutsWaits() const;

    CSharedState& m_State;
    CStatusSink& m_Sink;
    CUpdater& m_Updater;
    CUserPrompt* m_Prompt;
    std::function<void(CTransportOptions&)> m_Tune;

    Clock::time_point m_LastCheck = Clock::now();
    bool m_Stopped = false;
    Clock::time_point m_StoppedAt;
    bool m_QuittingAtStop = false;
    bool m_StoreErrorShown = false;   // per check
    // Per mailbox, by the path of its file.
    std::map<std::string, std::unique_ptr<CMessageIds>> m_Ids;
    // Mailboxes whose answers read ahead went out of step, by the path of their ids' file.
    std::unordered_set<std::string> m_OneAtATime;
};

}  // namespace sieveclaw
