#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "core/EmailAccountInfo.h"
#include "core/StatusSink.h"
#include "core/UserPrompt.h"

// What the engine's tests share: a sink that records every notification in order, a prompt that
// records its boxes, and a quick way to make an account.

namespace sieveclaw::test {

// One notification as the sink received it.
struct Notice {
    enum class EKind { kStatus, kStatusText, kClaw, kReload, kError, kScanningIcon, kColour, kSound };
    EKind m_Kind;
    int m_Code = 0;  // status code, reload window (0 Inbox, 1 Trash), error style
    std::int64_t m_Value = 0;
    std::string m_Text;  // status text, error text, sound path
    bool m_Wait = false;
};

// Records from any thread. The hook, when set, runs on the notifying thread (the worker) after
// each notice is recorded, so a test can act at a chosen step of a check.
class CRecordingSink : public CStatusSink {
public:
    using EKind = Notice::EKind;

    void PostStatus(int code, std::int64_t value) override { Add({EKind::kStatus, code, value, {}, false}); }
    void PostStatusText(int code, std::string text) override {
        Add({EKind::kStatusText, code, 0, std::move(text), false});
    }
    void PostClawAnimation() override { Add({EKind::kClaw, 0, 0, {}, false}); }
    void RequestReload(EListWindow window, bool wait) override {
        Add({EKind::kReload, window == EListWindow::kTrash ? 1 : 0, 0, {}, wait});
    }
    void PostError(std::string text, int style) override { Add({EKind::kError, style, 0, std::move(text), false}); }
    void SetScanningIcon() override { Add({EKind::kScanningIcon, 0, 0, {}, false}); }
    void SetStatusColour(std::uint32_t rgb) override {
        Add({EKind::kColour, 0, static_cast<std::int64_t>(rgb), {}, false});
    }
    void PlaySound(const std::string& path, bool wait) override { Add({EKind::kSound, 0, 0, path, wait}); }

    void SetHook(std::function<void(const Notice&)> hook) {
        const std::lock_guard lock(m_Mutex);
        m_Hook = std::move(hook);
    }

    std::vector<Notice> All() const {
        const std::lock_guard lock(m_Mutex);
        return m_Notices;
    }
    void Clear() {
        const std::lock_guard lock(m_Mutex);
        m_Notices.clear();
    }
    std::size_t Count(EKind kind) const {
        const std::lock_guard lock(m_Mutex);
        std::size_t count = 0;
        for (const Notice& notice : m_Notices) {
            count += notice.m_Kind == kind ? 1 : 0;
        }
        return count;
    }
    // Status codes (numeric and text ones) in the order they came.
    std::vector<int> Codes() const {
        const std::lock_guard lock(m_Mutex);
        std::vector<int> codes;
        for (const Notice& notice : m_Notices) {
            if (notice.m_Kind == EKind::kStatus || notice.m_Kind == EKind::kStatusText) {
                codes.push_back(notice.m_Code);
            }
        }
        return codes;
    }
    std::size_t CountCode(int code) const {
        std::size_t count = 0;
        for (const int posted : Codes()) {
            count += posted == code ? 1 : 0;
        }
        return count;
    }
    std::vector<std::string> TextsOf(int code) const {
        const std::lock_guard lock(m_Mutex);
        std::vector<std::string> texts;
        for (const Notice& notice : m_Notices) {
            if (notice.m_Kind == EKind::kStatusText && notice.m_Code == code) {
                texts.push_back(notice.m_Text);
            }
        }
        return texts;
    }
    std::vector<std::int64_t> ValuesOf(int code) const {
        const std::lock_guard lock(m_Mutex);
        std::vector<std::int64_t> values;
        for (const Notice& notice : m_Notices) {
            if (notice.m_Kind == EKind::kStatus && notice.m_Code == code) {
                values.push_back(notice.m_Value);
            }
        }
        return values;
    }
    std::vector<Notice> OfKind(EKind kind) const {
        const std::lock_guard lock(m_Mutex);
        std::vector<Notice> found;
        for (const Notice& notice : m_Notices) {
            if (notice.m_Kind == kind) {
                found.push_back(notice);
            }
        }
        return found;
    }

    // Waits until pred(All()) holds or the limit passes; the last answer of pred.
    bool WaitFor(const std::function<bool(const std::vector<Notice>&)>& pred,
                 std::chrono::milliseconds limit = std::chrono::seconds(10)) const {
        std::unique_lock lock(m_Mutex);
        return m_Changed.wait_for(lock, limit, [&] { return pred(m_Notices); });
    }
    bool WaitForCount(EKind kind, std::size_t count, std::chrono::milliseconds limit = std::chrono::seconds(10)) const {
        return WaitFor(
            [kind, count](const std::vector<Notice>& notices) {
                std::size_t seen = 0;
                for (const Notice& notice : notices) {
                    seen += notice.m_Kind == kind ? 1 : 0;
                }
                return seen >= count;
            },
            limit);
    }

private:
    void Add(Notice notice) {
        std::function<void(const Notice&)> hook;
        {
            const std::lock_guard lock(m_Mutex);
            m_Notices.push_back(notice);
            hook = m_Hook;
        }
        m_Changed.notify_all();
        if (hook) {
            hook(notice);
        }
    }

    // Protects m_Notices and m_Hook; m_Changed announces every notice.
    mutable std::mutex m_Mutex;
    mutable std::condition_variable m_Changed;
    std::vector<Notice> m_Notices;
    std::function<void(const Notice&)> m_Hook;
};

// Records the boxes; every dismissable box counts as shown.
class CRecordingPrompt : public CUserPrompt {
public:
    void ShowDismissable(const std::string& switchName, const std::string& text) override {
        m_Dismissable.emplace_back(switchName, text);
    }
    void ShowError(const std::string& text) override { m_Errors.push_back(text); }
    void ShowInformation(const std::string& text) override { m_Information.push_back(text); }
    EAnswer AskYesNoCancel(const std::string&) override { return EAnswer::kNo; }
    std::optional<std::string> ChooseFileToOpen(const std::string&, const std::string&) override {
        return std::nullopt;
    }

    std::vector<std::pair<std::string, std::string>> m_Dismissable;
    std::vector<std::string> m_Errors;
    std::vector<std::string> m_Information;
};

inline EmailAccountInfo MakeAccount(const std::string& name, const std::string& user, const std::string& password,
                                    int port) {
    EmailAccountInfo account;
    account.m_AccountName = name;
    account.m_POP3Server = "127.0.0.1";
    account.m_POP3UserId = user;
    account.m_POP3Password = password;
    account.m_POP3Port = std::to_string(port);
    account.m_SpamSoundFile = "/sounds/" + name + "-spam.wav";
    account.m_NewMailSoundFile = "/sounds/" + name + "-mail.wav";
    return account;
}

}  // namespace sieveclaw::test
