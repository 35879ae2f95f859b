#include "engine/EmailThread.h"

#include <system_error>

#include "core/ActivityLog.h"
#include "engine/FolderUpdater.h"
#include "engine/MailCheck.h"

namespace sieveclaw {

namespace {

// One turn of the countdown loop: the wait for the stop signal that paces it.
constexpr auto kCountdownTurn = std::chrono::milliseconds(50);
// How often Stop looks whether the worker has ended, running the stop-wait hook in between.
constexpr auto kStopLook = std::chrono::milliseconds(5);

std::atomic<std::size_t> g_WorkersLeftRunning{0};

}  // namespace

struct CEmailThread::CWorker {
    CWorker(CSharedState& state, CStatusSink& sink, CUpdater* updater, CUserPrompt* prompt)
        : m_State(state),
          m_Sink(sink),
          m_OwnUpdater(updater == nullptr ? std::make_unique<CFolderUpdater>() : nullptr),
          m_Updater(updater == nullptr ? *m_OwnUpdater : *updater),
          m_Prompt(prompt) {}
    CWorker(const CWorker&) = delete;
    CWorker& operator=(const CWorker&) = delete;
    // The last owner of a worker left behind is its thread, which lets go of it as it ends.
    ~CWorker() {
        if (m_LeftBehind) {
            --g_WorkersLeftRunning;
        }
    }

    CSharedState& m_State;
    CStatusSink& m_Sink;
    std::unique_ptr<CUpdater> m_OwnUpdater;
    CUpdater& m_Updater;
    CUserPrompt* m_Prompt;
    std::function<void(CTransportOptions&)> m_Tune;

    std::atomic<bool> m_Running{false};  // the worker thread has not ended yet
    std::atomic<bool> m_RunningOnce{false};
    std::atomic<bool> m_LeftBehind{false};
    // Held by RunOnce and by the worker thread for their whole run: one of them at a time.
    std::mutex m_RunLock;
};

CEmailThread::CEmailThread(CSharedState& state, CStatusSink& sink, CUpdater* updater, CUserPrompt* prompt)
    : m_Worker(std::make_shared<CWorker>(state, sink, updater, prompt)) {}

CEmailThread::~CEmailThread() {
    if (!m_Thread.joinable()) {
        return;
    }
    m_Worker->m_State.m_StopSignal.release();
    if (!WaitForEnd(m_DestructorBound)) {
        // Waiting on could be forever (a worker blocked on a thread that is this one, say); the
        // worker keeps what it needs of this object and ends on its own.
        WriteActivityLog("EmailThread - The worker did not end in time; leaving it to end on its own");
        ++g_WorkersLeftRunning;
        m_Worker->m_LeftBehind = true;
        m_Thread.detach();
    }
}

std::size_t CEmailThread::WorkersLeftRunning() {
    return g_WorkersLeftRunning.load();
}

void CEmailThread::SetTransportTuning(std::function<void(CTransportOptions&)> tune) {
    m_Worker->m_Tune = std::move(tune);
}

void CEmailThread::SetStopWaitHook(std::function<void()> hook) {
    m_StopWaitHook = std::move(hook);
}

bool CEmailThread::IsRunning() const {
    return m_Worker->m_Running.load();
}

bool CEmailThread::Start() {
    if (m_Worker->m_Running.load()) {
        return false;
    }
    if (m_Thread.joinable()) {
        m_Thread.join();  // a worker that ended earlier
    }
    // A stop nobody took (the shared signal released while no worker ran) must not end the new
    // worker after its first check.
    m_Worker->m_State.m_StopSignal.try_acquire();
    m_Worker->m_Running.store(true);
    try {
        m_Thread = std::thread([worker = m_Worker] { ThreadMain(worker); });
    } catch (const std::system_error& error) {
        WriteActivityLog2("EmailThread - Could not start the thread: ", error.what());
        m_Worker->m_Running.store(false);
        return false;
    }
    return true;
}

bool CEmailThread::Stop(std::chrono::milliseconds bound) {
    if (!m_Thread.joinable()) {
        // Only a RunOnce on another thread can be stopped; with nothing running the signal would
        // wait for the next Start and end it.
        if (m_Worker->m_RunningOnce.load()) {
            m_Worker->m_State.m_StopSignal.release();
        }
        return true;
    }
    m_Worker->m_State.m_StopSignal.release();
    if (!WaitForEnd(bound)) {
        WriteActivityLog("EmailThread - The worker did not end in time");
        return false;
    }
    return true;
}

bool CEmailThread::WaitForEnd(std::chrono::milliseconds bound) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while (m_Worker->m_Running.load()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        if (m_StopWaitHook) {
            m_StopWaitHook();
        }
        std::this_thread::sleep_for(kStopLook);
    }
    m_Thread.join();
    return true;
}

void CEmailThread::CheckNow() {
    m_Worker->m_State.m_CheckNowSignal.release();
}

std::vector<CEmailThread::AccountResult> CEmailThread::RunOnce() {
    CWorker& worker = *m_Worker;
    const std::unique_lock running(worker.m_RunLock, std::try_to_lock);
    if (!running.owns_lock() || worker.m_Running.load()) {
        return {};
    }
    worker.m_RunningOnce = true;
    CMailCheck check(worker.m_State, worker.m_Sink, worker.m_Updater, worker.m_Prompt, worker.m_Tune);
    check.ThreadStart();
    std::vector<AccountResult> results = check.CheckAllAccounts();
    worker.m_RunningOnce = false;
    return results;
}

void CEmailThread::ThreadMain(const std::shared_ptr<CWorker>& worker) {
    {
        const std::lock_guard running(worker->m_RunLock);
        CMailCheck check(worker->m_State, worker->m_Sink, worker->m_Updater, worker->m_Prompt, worker->m_Tune);
        check.ThreadStart();
        RunCountdownLoop(*worker, check);
        WriteActivityLog("EmailThread - Ended");
    }
    worker->m_Running.store(false);
}

void CEmailThread::RunCountdownLoop(CWorker& worker, CMailCheck& check) {
    CSharedState& state = worker.m_State;
    bool firstTurn = true;
    bool requested = false;
    while (!check.Stopped()) {
        // Read every turn, so a new interval from the Preferences applies at once.
        const long long delay = state.m_Settings.GetEmailDelay();
        const long long interval = delay * 60;
        long long elapsed =
            std::chrono::duration_cast<std::chrono::seconds>(CMailCheck::Clock::now() - check.LastCheck()).count();
        if (state.m_CheckNowSignal.try_acquire()) {
            requested = true;
            elapsed = interval;
        }
        const bool paused = state.IsPaused();
        worker.m_Sink.PostStatusText(kStatusCountdown,
                                     paused ? std::string(kPausedCountdownText) : FormatCountdown(interval - elapsed));
        // An interval below one minute is the settings' "not yet loaded": no timed checks then.
        const bool due = delay >= 1 && elapsed / 60 >= delay;
        if (!paused && (due || firstTurn || requested)) {
            check.CheckAllAccounts();
            firstTurn = false;
            requested = false;
        }
        check.StopCheck(kCountdownTurn);
    }
}

}  // namespace sieveclaw
