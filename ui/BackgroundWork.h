#pragma once

#include <functional>
#include <optional>
#include <thread>

#include <QApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <QPointer>
#include <QWidget>

namespace sieveclaw {

// Runs work on a thread of its own under the wait cursor and returns its result, while this
// thread's events keep flowing: the window repaints and moves, but takes no input until the work
// is done (it is disabled meanwhile), as a blocking test would leave it. work must not touch a
// widget.
template <class Result>
Result RunInBackground(QWidget* window, const std::function<Result()>& work) {
    std::optional<Result> result;
    QEventLoop loop;
    QPointer<QWidget> guarded(window);
    if (guarded) {
        guarded->setEnabled(false);
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    std::thread worker([&result, &work, &loop] {
        result = work();
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    worker.join();
    QApplication::restoreOverrideCursor();
    if (guarded) {
        guarded->setEnabled(true);
    }
    return std::move(*result);
}

// The wait cursor for the life of the object, for work that must stay on this thread (it asks the
// user things on the way).
class CWaitCursor {
public:
    CWaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~CWaitCursor() { QApplication::restoreOverrideCursor(); }
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;
};

}  // namespace sieveclaw
