#include "engine/EmailThread.h"

#include <system_error>

#include "core/ActivityLog.h"
#include "engine/FolderUpdater.h"
#include "engine/MailCheck.h"

namespace sieveclaw {

namespace {

// The longest the destructor lets a worker take to end before it simply waits on.
constexpr auto kDestructorStopBound = std::chrono::seconds(10);
// One turn of the countdown loop: the wait for the stop signal that paces it.
constexpr auto kCountdownTurn = std::chrono::milliseconds(50);

}  // namespace

CEmailThread::CEmailThread(CSharedState& state, CStatusSink& sink, CUpdater* updater, CUserPrompt* prompt)
    : m_State(state),
      m_Sink(sink),
      m_OwnUpdater(updater == nullptr ? std::make_unique<CFolderUpdater>() : nullptr),
      m_Updater(updater == nullptr ? m_OwnUpdater.get() : updater),
      m_Prompt(prompt) {}

CEmailThread::~CEmailThread() {
    if (m_Thread.joinable() && !Stop(kDestructorStopBound)) {
        m_Thread.join();
    }
}

void CEmailThread::SetTransportTuning(std::function<void(CTransportOptions&)> tune) {
    m_Tune = std::move(tune);
}

bool CEmailThread::Start() {
    if (m_Running.load()) {
        return false;
    }
    if (m_Thread.joinable()) {
        m_Thread.join();  // a worker that ended earlier
    }
    m_Running.store(true);
    try {
        m_Thread = std::thread([this] { ThreadMain(); });
    } catch (const std::system_error& error) {
        WriteActivityLog2("EmailThread - Could not start the thread: ", error.what());
        m_Running.store(false);
        return false;
    }
    return true;
}

bool CEmailThread::Stop(std::chrono::milliseconds bound) {
    m_State.m_StopSignal.release();
    if (!m_Thread.joinable()) {
        return true;
    }
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while (m_Running.load()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            WriteActivityLog("EmailThread - The worker did not end in time");
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    m_Thread.join();
    return true;
}

void CEmailThread::CheckNow() {
    m_State.m_CheckNowSignal.release();
}

std::vector<CEmailThread::AccountResult> CEmailThread::RunOnce() {
    const std::unique_lock running(m_RunLock, std::try_to_lock);
    if (!running.owns_lock() || m_Running.load()) {
        return {};
    }
    CMailCheck check(m_State, m_Sink, *m_Updater, m_Prompt, m_Tune);
    check.ThreadStart();
    return check.CheckAllAccounts();
}

void CEmailThread::ThreadMain() {
    {
        const std::lock_guard running(m_RunLock);
        CMailCheck check(m_State, m_Sink, *m_Updater, m_Prompt, m_Tune);
        check.ThreadStart();
        RunCountdownLoop(check);
        WriteActivityLog("EmailThread - Ended");
    }
    m_Running.store(false);
}

void CEmailThread::RunCountdownLoop(CMailCheck& check) {
    bool firstTurn = true;
    bool requested = false;
    while (!check.Stopped()) {
        // Read every turn, so a new interval from the Preferences applies at once.
        const long long delay = m_State.m_Settings.GetEmailDelay();
        const long long interval = delay * 60;
        long long elapsed =
            std::chrono::duration_cast<std::chrono::seconds>(CMailCheck::Clock::now() - check.LastCheck()).count();
        if (m_State.m_CheckNowSignal.try_acquire()) {
            requested = true;
            elapsed = interval;
        }
        const bool paused = m_State.IsPaused();
        m_Sink.PostStatusText(kStatusCountdown,
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
