#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/StatusSink.h"
#include "core/Updater.h"
#include "core/UserPrompt.h"
#include "engine/Countdown.h"
#include "engine/SharedState.h"
#include "net/TransportOptions.h"

namespace sieveclaw {

class CMailCheck;

// The mail check worker: the only code that talks to POP3 servers. Start() runs it on a thread
// of its own for the life of the program: the thread start (filter update, message folders, the
// good mail remembered from the last run), then a countdown that starts a check of every account
// at once, whenever EmailDelay minutes have passed since the last account was done, and whenever
// "Check All Now" asks. Everything it shows goes through the status sink; it asks the user only
// through the prompt (the filter update's box).
//
// The object belongs to the thread that created it (the user interface thread); the worker thread
// reads the shared state only through its guards. state, sink, updater and prompt must outlive it.
class CEmailThread {
public:
    // updater: where filter updates come from; nullptr takes the folder "updates/" of the data
    // folder. prompt: shows the filter update's dismissable box; nullptr shows nothing.
    CEmailThread(CSharedState& state, CStatusSink& sink, CUpdater* updater = nullptr, CUserPrompt* prompt = nullptr);
    // Stops the worker and waits until it has ended.
    ~CEmailThread();
    CEmailThread(const CEmailThread&) = delete;
    CEmailThread& operator=(const CEmailThread&) = delete;

    // Starts the worker thread. False when it is already running (a second worker is never
    // started) or the thread could not be created.
    bool Start();

    // Sets the stop signal and waits up to bound for the worker to end. The worker abandons what
    // it is doing, logs off the connection it holds (QUIT, so deletions of messages whose copies
    // are on disk take effect) and ends. True when it has ended (or was not running); false when
    // it is still on its way out, which the destructor then waits for. Also ends a RunOnce on
    // another thread.
    bool Stop(std::chrono::milliseconds bound);

    // "Check All Now": the worker's next turn starts a check; at most one request is pending.
    void CheckNow();

    bool IsRunning() const { return m_Running.load(); }

    // What one account's part of a check came to.
    struct AccountResult {
        std::string m_Name;
        bool m_OnHold = false;
        bool m_LoggedOn = false;
        std::string m_Error;       // the log-on error as shown ("<server text>\n\nAccount: <name>")
        long long m_Messages = 0;  // the message count the server reported
        int m_Examined = 0;        // messages looked at whole (or by header when too large)
        int m_Spam = 0;            // spam stored in the spam folder and deleted on the server
        int m_Good = 0;            // good mail stored in the inbox folder
        int m_Deleted = 0;         // pending and trash deletions sent to the server
        int m_NotStored = 0;       // messages left on the server because their copy failed
        int m_Refused = 0;         // messages the server would not hand over or delete
        // Why the account's check did not complete (the log-on failed, the session ended early, a
        // copy could not be stored, the server refused a message); empty when it did. Reasons
        // are joined with "; ".
        std::string m_Failure;
    };

    // For a headless check: the thread start and exactly one check, on the calling thread, while
    // the worker is not running. Empty when it is. Stop() from another thread ends it early.
    std::vector<AccountResult> RunOnce();

    // Called with the options of every new POP3 connection after they were read from the
    // settings, before the client is made. Tests shorten the time unit and name their CA.
    void SetTransportTuning(std::function<void(CTransportOptions&)> tune);

private:
    void ThreadMain();
    void RunCountdownLoop(CMailCheck& check);

    CSharedState& m_State;
    CStatusSink& m_Sink;
    std::unique_ptr<CUpdater> m_OwnUpdater;
    CUpdater* m_Updater;
    CUserPrompt* m_Prompt;
    std::function<void(CTransportOptions&)> m_Tune;

    std::thread m_Thread;
    std::atomic<bool> m_Running{false};
    // Held by RunOnce and by the worker thread for their whole run: one of them at a time.
    std::mutex m_RunLock;
};

}  // namespace sieveclaw
