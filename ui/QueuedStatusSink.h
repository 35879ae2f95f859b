#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "core/StatusSink.h"
#include "core/UserPrompt.h"
#include "ui/UiThreadCall.h"

namespace sieveclaw {

// What the main window does with the notifications of the mail check, on the user interface
// thread.
class CStatusReceiver {
public:
    virtual ~CStatusReceiver() = default;
    // A status code with its value; text is the value of codes 1, 5, 7, 9 and 14 (else empty).
    virtual void OnSetStatus(int code, std::int64_t value, const std::string& text) = 0;
    virtual void OnClawAnimation() = 0;
    // The open list window of that kind, if any, reads its folder again.
    virtual void OnReloadRequest(EListWindow window) = 0;
    virtual void OnShowError(const std::string& text, int style) = 0;
    virtual void OnScanningIcon() = 0;
    virtual void OnStatusColour(std::uint32_t rgb) = 0;
    // Starts the sound; ended runs once when it has ended or could not be played.
    virtual void OnPlaySound(const std::string& path, std::function<void()> ended) = 0;
};

// The worker's status sink in the desktop program: every notification becomes a call queued to
// the user interface thread, so the worker never touches a widget. The two notifications the
// worker waits for (the Trash Can's reload, the spam sound) wait until the user interface thread
// has carried them out, the sound at most kSoundWaitBound (a sound device may report a sound as
// playing forever), and neither longer than the calls are cancelled at exit. A run of notifications
// of one code that only says how far something got (the progress, the bytes, the countdown, "n of
// m") becomes one call that shows the last of them: a worker posting faster than the window draws
// never piles up a backlog that would hold up the user interface thread.
class CQueuedStatusSink : public CStatusSink {
public:
    static constexpr std::chrono::milliseconds kSoundWaitBound{10000};

    CQueuedStatusSink(CUiThreadCalls& calls, CStatusReceiver& receiver) : m_Calls(calls), m_Receiver(receiver) {}

    void PostStatus(int code, std::int64_t value) override;
    void PostStatusText(int code, std::string text) override;
    void PostClawAnimation() override;
    void RequestReload(EListWindow window, bool wait) override;
    void PostError(std::string text, int style) override;
    void SetScanningIcon() override;
    void SetStatusColour(std::uint32_t rgb) override;
    void PlaySound(const std::string& path, bool wait) override;

private:
    // The newest notification of a run that has not been shown yet.
    struct CPending {
        int m_Code = 0;
        std::int64_t m_Value = 0;
        std::string m_Text;
    };
    // Queues code, or folds it into the queued notification of the same run.
    void PostLatest(int code, std::int64_t value, std::string text);
    // Any other notification ends the run, so that the window shows them in their order.
    void EndRun();

    CUiThreadCalls& m_Calls;
    CStatusReceiver& m_Receiver;
    // Protects m_Pending (the worker writes it, the user interface thread takes it).
    std::mutex m_PendingLock;
    std::shared_ptr<CPending> m_Pending;
};

// The boxes the worker asks for (the filter update's), shown by prompt on the user interface
// thread while the worker waits; cancelled at exit, a box counts as not answered.
class CQueuedPrompt : public CUserPrompt {
public:
    CQueuedPrompt(CUiThreadCalls& calls, CUserPrompt& prompt) : m_Calls(calls), m_Prompt(prompt) {}

    void ShowDismissable(const std::string& switchName, const std::string& text) override;
    void ShowError(const std::string& text) override;
    void ShowInformation(const std::string& text) override;
    void ShowPlain(const std::string& text) override;
    EAnswer AskYesNoCancel(const std::string& text) override;
    std::optional<std::string> ChooseFileToOpen(const std::string& filter,
                                                const std::string& defaultExtension) override;

private:
    void Show(std::function<void()> box);

    CUiThreadCalls& m_Calls;
    CUserPrompt& m_Prompt;
};

}  // namespace sieveclaw
