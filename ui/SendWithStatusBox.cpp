#include "ui/SendWithStatusBox.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <thread>

#include <QApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <QTimer>

#include "ui/CSMTPStatusDlg.h"

namespace sieveclaw {

namespace {

// How often the waiting thread looks whether the send is over.
constexpr std::chrono::milliseconds kPoll{20};

// Hands every box to the prompt on the thread of receiver and waits for its answer, so that the
// sending thread never touches a widget.
class CPromptOnWindowThread : public CUserPrompt {
public:
    CPromptOnWindowThread(QObject* receiver, CUserPrompt& prompt) : m_Receiver(receiver), m_Prompt(prompt) {}

    void ShowDismissable(const std::string& switchName, const std::string& text) override {
        Run([&] { m_Prompt.ShowDismissable(switchName, text); });
    }
    void ShowError(const std::string& text) override {
        Run([&] { m_Prompt.ShowError(text); });
    }
    void ShowInformation(const std::string& text) override {
        Run([&] { m_Prompt.ShowInformation(text); });
    }
    void ShowPlain(const std::string& text) override {
        Run([&] { m_Prompt.ShowPlain(text); });
    }
    EAnswer AskYesNoCancel(const std::string& text) override {
        EAnswer answer = EAnswer::kCancel;
        Run([&] { answer = m_Prompt.AskYesNoCancel(text); });
        return answer;
    }
    std::optional<std::string> ChooseFileToOpen(const std::string& filter, const std::string& extension) override {
        std::optional<std::string> chosen;
        Run([&] { chosen = m_Prompt.ChooseFileToOpen(filter, extension); });
        return chosen;
    }

private:
    template <class Call>
    void Run(Call call) {
        QMetaObject::invokeMethod(m_Receiver, call, Qt::BlockingQueuedConnection);
    }

    QObject* m_Receiver;
    CUserPrompt& m_Prompt;
};

}  // namespace

ESendOutcome SendWithStatusBox(QWidget* owner, CUserPrompt& prompt, const SendFn& send) {
    // Lives until the sender has ended; stages still queued for it then go with it.
    const auto owned = std::make_unique<CSMTPStatusDlg>(owner);
    CSMTPStatusDlg* box = owned.get();
    box->show();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    CPromptOnWindowThread boxes(box, prompt);
    const SendStatusFn status = [box](ESendBoxLine line, const std::string& text) {
        QMetaObject::invokeMethod(
            box, [box, line, text] { box->SetLine(line, text); }, Qt::QueuedConnection);
    };
    std::optional<ESendOutcome> outcome;
    std::atomic<bool> done{false};
    std::thread sender([&] {
        outcome = send(status, boxes);
        done = true;
    });
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done) {
            loop.quit();
        }
    });
    poll.start(kPoll);
    loop.exec();
    // A loop that ended early (the program is quitting) still waits, answering the boxes asked for.
    while (!done) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        std::this_thread::sleep_for(kPoll);
    }
    sender.join();
    // The stages queued last are shown before the box goes.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    QApplication::restoreOverrideCursor();
    return *outcome;
}

}  // namespace sieveclaw
