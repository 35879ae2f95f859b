#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
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
// reads the shared state only through its guards. state, sink, updater and prompt must outlive it,
// and the worker too when the destructor had to leave it behind (WorkersLeftRunning).
class CEmailThread {
public:
    // updater: where filter updates come from; nullptr takes the folder "updates/" of the data
    // folder. prompt: shows the filter update's dismissable box; nullptr shows nothing.
    CEmailThread(CSharedState& state, CStatusSink& sink, CUpdater* updater = nullptr, CUserPrompt* prompt = nullptr);
    // Stops the worker and waits until it has ended, at most the destructor's bound (10 s unless
    // set), running the stop-wait hook meanwhile. A worker that has not ended by then is left to
    // end on its own, holding what it needs of this object; the owner must then end the process
    // rather than destroy the state, sink or prompt the worker still uses.
    ~CEmailThread();
    CEmailThread(const CEmailThread&) = delete;
    CEmailThread& operator=(const CEmailThread&) = delete;

    // Starts the worker thread, also again after a Stop. False when it is already running (a
    // second worker is never started) or the thread could not be created.
    bool Start();

    // Sets the stop signal and waits up to bound for the worker to end, running the stop-wait hook
    // between its looks. The worker abandons what it is doing, logs off the connection it holds
    // (QUIT, so deletions of messages whose copies are on disk take effect) and ends. True when it
    // has ended (or was not running: then no stop is left pending for the next Start); false when
    // it is still on its way out, which the destructor then waits for. Also ends a RunOnce on
    // another thread.
    bool Stop(std::chrono::milliseconds bound);

    // Called again and again while Stop or the destructor wait, on their thread. The desktop
    // program handles its pending events there: a worker waiting for the user interface thread
    // (the Trash Can's reload, a sound, a message box) gets its answer and can see the stop.
    void SetStopWaitHook(std::function<void()> hook);
    // How long the destructor waits for the worker.
    void SetDestructorBound(std::chrono::milliseconds bound) { m_DestructorBound = bound; }

    // Workers of destroyed objects that have not ended yet.
    static std::size_t WorkersLeftRunning();

    // "Check All Now": the worker's next turn starts a check; at most one request is pending.
    void CheckNow();

    bool IsRunning() const;

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
    // settings, before the client is made. Tests shorten the time unit and name their CA. Set it
    // before Start.
    void SetTransportTuning(std::function<void(CTransportOptions&)> tune);

private:
    struct CWorker;

    static void ThreadMain(const std::shared_ptr<CWorker>& worker);
    static void RunCountdownLoop(CWorker& worker, CMailCheck& check);
    // Waits up to bound for the worker thread to end, running the stop-wait hook; joins it then.
    bool WaitForEnd(std::chrono::milliseconds bound);

    // What the worker thread uses of this object, shared with it so that a worker left behind by
    // the destructor never reaches freed memory.
    std::shared_ptr<CWorker> m_Worker;
    std::thread m_Thread;
    std::function<void()> m_StopWaitHook;
    std::chrono::milliseconds m_DestructorBound{10000};
};

}  // namespace sieveclaw
