#include "ui/QueuedStatusSink.h"

#include <memory>
#include <utility>

namespace sieveclaw {

namespace {

// The codes whose newest value makes the ones before it pointless.
bool IsProgressCode(int code) {
    return code == kStatusProgress || code == kStatusBytesDownloaded || code == kStatusCountdown ||
           code == kStatusGettingHeader || code == kStatusGettingMessage;
}

}  // namespace

void CQueuedStatusSink::PostLatest(int code, std::int64_t value, std::string text) {
    std::shared_ptr<CPending> queued;
    {
        const std::lock_guard lock(m_PendingLock);
        if (m_Pending && m_Pending->m_Code == code) {
            m_Pending->m_Value = value;
            m_Pending->m_Text = std::move(text);
            return;
        }
        m_Pending = std::make_shared<CPending>(CPending{code, value, std::move(text)});
        queued = m_Pending;
    }
    m_Calls.Post([this, queued] {
        CPending shown;
        {
            const std::lock_guard lock(m_PendingLock);
            shown = *queued;
            if (m_Pending == queued) {
                m_Pending.reset();
            }
        }
        m_Receiver.OnSetStatus(shown.m_Code, shown.m_Value, shown.m_Text);
    });
}

void CQueuedStatusSink::EndRun() {
    const std::lock_guard lock(m_PendingLock);
    m_Pending.reset();
}

void CQueuedStatusSink::PostStatus(int code, std::int64_t value) {
    if (IsProgressCode(code)) {
        PostLatest(code, value, {});
        return;
    }
    EndRun();
    m_Calls.Post([this, code, value] { m_Receiver.OnSetStatus(code, value, {}); });
}

void CQueuedStatusSink::PostStatusText(int code, std::string text) {
    if (IsProgressCode(code)) {
        PostLatest(code, 0, std::move(text));
        return;
    }
    EndRun();
    m_Calls.Post([this, code, text = std::move(text)] { m_Receiver.OnSetStatus(code, 0, text); });
}

void CQueuedStatusSink::PostClawAnimation() {
    EndRun();
    m_Calls.Post([this] { m_Receiver.OnClawAnimation(); });
}

void CQueuedStatusSink::RequestReload(EListWindow window, bool wait) {
    EndRun();
    if (!wait) {
        m_Calls.Post([this, window] { m_Receiver.OnReloadRequest(window); });
        return;
    }
    m_Calls.Call<bool>([this, window] {
        m_Receiver.OnReloadRequest(window);
        return true;
    });
}

void CQueuedStatusSink::PostError(std::string text, int style) {
    EndRun();
    m_Calls.Post([this, text = std::move(text), style] { m_Receiver.OnShowError(text, style); });
}

void CQueuedStatusSink::SetScanningIcon() {
    EndRun();
    m_Calls.Post([this] { m_Receiver.OnScanningIcon(); });
}

void CQueuedStatusSink::SetStatusColour(std::uint32_t rgb) {
    EndRun();
    m_Calls.Post([this, rgb] { m_Receiver.OnStatusColour(rgb); });
}

void CQueuedStatusSink::PlaySound(const std::string& path, bool wait) {
    EndRun();
    auto ended = std::make_shared<CCompletion>();
    m_Calls.Post([this, path, ended] { m_Receiver.OnPlaySound(path, [ended] { ended->Set(); }); });
    if (wait) {
        ended->Wait(m_Calls.CancelledFlag(), kSoundWaitBound);
    }
}

void CQueuedPrompt::Show(std::function<void()> box) {
    m_Calls.Call<bool>([box = std::move(box)] {
        box();
        return true;
    });
}

void CQueuedPrompt::ShowDismissable(const std::string& switchName, const std::string& text) {
    Show([this, switchName, text] { m_Prompt.ShowDismissable(switchName, text); });
}

void CQueuedPrompt::ShowError(const std::string& text) {
    Show([this, text] { m_Prompt.ShowError(text); });
}

void CQueuedPrompt::ShowInformation(const std::string& text) {
    Show([this, text] { m_Prompt.ShowInformation(text); });
}

void CQueuedPrompt::ShowPlain(const std::string& text) {
    Show([this, text] { m_Prompt.ShowPlain(text); });
}

CUserPrompt::EAnswer CQueuedPrompt::AskYesNoCancel(const std::string& text) {
    return m_Calls.Call<EAnswer>([this, text] { return m_Prompt.AskYesNoCancel(text); }).value_or(EAnswer::kCancel);
}

std::optional<std::string> CQueuedPrompt::ChooseFileToOpen(const std::string& filter,
                                                          const std::string& defaultExtension) {
    return m_Calls
        .Call<std::optional<std::string>>(
            [this, filter, defaultExtension] { return m_Prompt.ChooseFileToOpen(filter, defaultExtension); })
        .value_or(std::nullopt);
}

}  // namespace sieveclaw
