#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <string>

#include <QApplication>
#include <QPointer>
#include <QWidget>

namespace sieveclaw::test {

// Answers the modal windows a test opens, one step each, in order: a step waits for the active
// modal window (up to a bound, so a window that never comes fails the test instead of hanging it)
// and hands it to its answer. The window the last step answered counts again only once another one
// (or none) was active in between. Answers may open further modal windows and wait in them; the
// next step is looked for meanwhile. Once a step failed, or a window stays open long after the
// last step, every modal window is closed as it comes, so that the test ends. User interface
// thread only.
class CModalAnswerer {
public:
    using Answer = std::function<void(QWidget*)>;

    CModalAnswerer();
    ~CModalAnswerer();
    CModalAnswerer(const CModalAnswerer&) = delete;
    CModalAnswerer& operator=(const CModalAnswerer&) = delete;

    // A step for the next modal window, which must be a W.
    template <class W>
    CModalAnswerer& Then(std::function<void(W*)> answer) {
        m_Steps.push_back([this, answer = std::move(answer)](QWidget* window) {
            if (auto* typed = qobject_cast<W*>(window)) {
                answer(typed);
            } else {
                Fail(std::string("expected a ") + W::staticMetaObject.className() + ", got a " +
                     window->metaObject()->className());
            }
        });
        return *this;
    }

    // Empty once every step ran; otherwise what went wrong (a window of the wrong kind, or one that
    // did not come in time, which is then closed so that the test goes on).
    std::string Failure() const;

private:
    void Poll();
    void Fail(std::string why);

    std::deque<Answer> m_Steps;
    QPointer<QWidget> m_LastAnswered;
    bool m_LeftLast = true;
    std::chrono::steady_clock::time_point m_StepStart;
    std::string m_Failure;
    std::shared_ptr<bool> m_Token;
};

// Closes the window with Enter on its default button, as a user who accepts it.
void PressOk(QWidget* window);

}  // namespace sieveclaw::test
