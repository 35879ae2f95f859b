#include "tests/ui/ModalAnswerer.h"

#include <algorithm>
#include <memory>

#include <QDialog>
#include <QTimer>
#include <QtTest/QTest>

namespace sieveclaw::test {

namespace {

constexpr std::chrono::seconds kStepBound{20};
constexpr int kPollMilliseconds = 20;

}  // namespace

CModalAnswerer::CModalAnswerer() : m_StepStart(std::chrono::steady_clock::now()), m_Token(std::make_shared<bool>(true)) {
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
    if (m_Steps.empty()) {
        return;
    }
    QWidget* window = QApplication::activeModalWidget();
    const bool known = std::any_of(m_Answered.begin(), m_Answered.end(),
                                   [window](const QPointer<QWidget>& answered) { return answered == window; });
    if (window == nullptr || known) {
        if (std::chrono::steady_clock::now() - m_StepStart > kStepBound) {
            Fail("a modal window did not come in time (" + std::to_string(m_Steps.size()) + " steps left)");
            m_Steps.clear();
            if (auto* dialog = qobject_cast<QDialog*>(window)) {
                dialog->reject();
            }
        }
        return;
    }
    m_Answered.emplace_back(window);
    Answer answer = std::move(m_Steps.front());
    m_Steps.pop_front();
    m_StepStart = std::chrono::steady_clock::now();
    answer(window);
}

void CModalAnswerer::Fail(std::string why) {
    if (m_Failure.empty()) {
        m_Failure = std::move(why);
    }
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
