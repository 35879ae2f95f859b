#include "tests/ui/ModalAnswerer.h"

#include <memory>

#include <QDialog>
#include <QTimer>
#include <QtTest/QTest>

namespace sieveclaw::test {

namespace {

constexpr std::chrono::seconds kStepBound{20};
constexpr int kPollMilliseconds = 20;

void CloseWindow(QWidget* window) {
    if (auto* dialog = qobject_cast<QDialog*>(window)) {
        dialog->reject();
    } else if (window != nullptr) {
        window->close();
    }
}

}  // namespace

CModalAnswerer::CModalAnswerer()
    : m_StepStart(std::chrono::steady_clock::now()), m_Token(std::make_shared<bool>(true)) {
    QTimer::singleShot(kPollMilliseconds, [this, token = std::weak_ptr<bool>(m_Token)] {
        if (token.lock()) {
            Poll();
        }
    });
}

CModalAnswerer::~CModalAnswerer() = default;

// Each poll arms the next one before it answers: an answer may wait in a window's own event loop,
// and the steps after it must still be found meanwhile.
void CModalAnswerer::Poll() {
    QTimer::singleShot(kPollMilliseconds, [this, token = std::weak_ptr<bool>(m_Token)] {
        if (token.lock()) {
            Poll();
        }
    });
    QWidget* window = QApplication::activeModalWidget();
    if (window != m_LastAnswered) {
        m_LeftLast = true;
    }
    if (!m_Failure.empty()) {
        CloseWindow(window);
        return;
    }
    const bool overdue = std::chrono::steady_clock::now() - m_StepStart > kStepBound;
    if (m_Steps.empty()) {
        // A window left open after the last step would hold the test for ever.
        if (window != nullptr && overdue) {
            Fail("a modal window stayed open after the last step");
            CloseWindow(window);
        }
        return;
    }
    if (window == nullptr || (window == m_LastAnswered && !m_LeftLast)) {
        if (overdue) {
            Fail("a modal window did not come in time (" + std::to_string(m_Steps.size()) + " steps left)");
            CloseWindow(window);
        }
        return;
    }
    m_LastAnswered = window;
    m_LeftLast = false;
    Answer answer = std::move(m_Steps.front());
    m_Steps.pop_front();
    m_StepStart = std::chrono::steady_clock::now();
    answer(window);
}

void CModalAnswerer::Fail(std::string why) {
    if (m_Failure.empty()) {
        m_Failure = std::move(why);
    }
    m_Steps.clear();
}

std::string CModalAnswerer::Failure() const {
    if (!m_Failure.empty() || m_Steps.empty()) {
        return m_Failure;
    }
    return std::to_string(m_Steps.size()) + " modal windows were not answered";
}

void PressOk(QWidget* window) {
    QTest::keyClick(window, Qt::Key_Return);
}

}  // namespace sieveclaw::test
