#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

#include <QMetaObject>
#include <QObject>
#include <QThread>

namespace sieveclaw {

// Something another thread waits for: set once, from any thread.
class CCompletion {
public:
    void Set() {
        {
            const std::lock_guard lock(m_Lock);
            m_Done = true;
        }
        m_Changed.notify_all();
    }

    // Waits until it is set, bound has passed (when given) or cancelled turns true; whether it was
    // set. Looks at cancelled between short waits, so a cancel never needs to wake it.
    bool Wait(const std::atomic<bool>& cancelled, std::optional<std::chrono::milliseconds> bound = std::nullopt) {
        const auto deadline = std::chrono::steady_clock::now() + bound.value_or(std::chrono::milliseconds(0));
        std::unique_lock lock(m_Lock);
        while (!m_Done && !cancelled.load()) {
            if (bound && std::chrono::steady_clock::now() >= deadline) {
                break;
            }
            m_Changed.wait_for(lock, std::chrono::milliseconds(20));
        }
        return m_Done;
    }

private:
    // Protects m_Done.
    std::mutex m_Lock;
    std::condition_variable m_Changed;
    bool m_Done = false;
};

// Calls from the mail check worker into the user interface thread (the thread of context), which
// alone may touch widgets. Posted calls run there in the order posted; a waiting call blocks its
// caller until the call has run there, and never longer than Cancel(): once cancelled (at exit) no
// call runs any more and every wait returns at once, so a worker that waits for the user interface
// thread can never hold up the end of the program. context must outlive every call made.
class CUiThreadCalls {
public:
    explicit CUiThreadCalls(QObject* context) : m_Context(context) {}

    void Cancel() { m_Cancelled->store(true); }
    bool IsCancelled() const { return m_Cancelled->load(); }
    const std::atomic<bool>& CancelledFlag() const { return *m_Cancelled; }

    // Queues call to run on the user interface thread.
    void Post(std::function<void()> call) {
        if (IsCancelled()) {
            return;
        }
        QMetaObject::invokeMethod(
            m_Context,
            [cancelled = m_Cancelled, call = std::move(call)] {
                if (!cancelled->load()) {
                    call();
                }
            },
            Qt::QueuedConnection);
    }

    // Runs call on the user interface thread and returns its result; at once when the caller is
    // that thread. Nothing when cancelled before the call ran.
    template <class R>
    std::optional<R> Call(std::function<R()> call) {
        if (QThread::currentThread() == m_Context->thread()) {
            return IsCancelled() ? std::nullopt : std::optional<R>(call());
        }
        auto result = std::make_shared<std::optional<R>>();
        auto done = std::make_shared<CCompletion>();
        Post([result, done, call = std::move(call)] {
            *result = call();
            done->Set();
        });
        // The result is read only once set: a call that runs after a cancel writes into the
        // shared block, never into this frame.
        if (!done->Wait(*m_Cancelled)) {
            return std::nullopt;
        }
        return std::move(*result);
    }

private:
    QObject* m_Context;
    // Shared with the calls in the queue, which may outlive this object.
    std::shared_ptr<std::atomic<bool>> m_Cancelled = std::make_shared<std::atomic<bool>>(false);
};

}  // namespace sieveclaw
