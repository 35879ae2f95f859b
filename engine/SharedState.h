#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

#include "core/AccountList.h"
#include "core/GuardedList.h"
#include "core/MessageEntry.h"
#include "core/ProfileStore.h"
#include "core/Settings.h"
#include "core/StatusSink.h"
#include "filter/FilterLists.h"

namespace sieveclaw {

// A semaphore with the count 0 or 1: a release while it is already at 1 has no further effect,
// so at most one request is ever pending (std::binary_semaphore makes such a release undefined).
// Spelled like std::binary_semaphore so callers read the same. Safe from any thread.
class CBinarySignal {
public:
    // Sets the count to 1; nothing more when it is already 1.
    void release() {
        {
            const std::lock_guard lock(m_Lock);
            m_Set = true;
        }
        m_Changed.notify_all();
    }

    // Takes the signal when it is set; never waits.
    bool try_acquire() {
        const std::lock_guard lock(m_Lock);
        return Take();
    }

    // Waits up to wait for the signal and takes it.
    template <class Rep, class Period>
    bool try_acquire_for(const std::chrono::duration<Rep, Period>& wait) {
        std::unique_lock lock(m_Lock);
        m_Changed.wait_for(lock, wait, [this] { return m_Set; });
        return Take();
    }

    void acquire() {
        std::unique_lock lock(m_Lock);
        m_Changed.wait(lock, [this] { return m_Set; });
        m_Set = false;
    }

    // True while a release waits to be taken; takes nothing.
    bool IsSet() const {
        const std::lock_guard lock(m_Lock);
        return m_Set;
    }

private:
    bool Take() {
        const bool was = m_Set;
        m_Set = false;
        return was;
    }

    // Protects m_Set; m_Changed announces every release.
    mutable std::mutex m_Lock;
    std::condition_variable m_Changed;
    bool m_Set = false;
};

// Everything the user interface thread and the mail check worker share. The application owns one
// and hands the engine a reference; it must outlive every CEmailThread over it. The lists and the
// settings guard themselves; the members below m_StateLock are read and written through the
// accessors only.
struct CSharedState {
    CProfileStore m_Store{GetProfileStorePath()};
    CSettings m_Settings;
    CAccountList m_Accounts;
    CFilterLists m_Lists;
    // Messages the user moved from the Inbox to the Trash Can, to be deleted on their server.
    GuardedList<MessageEntry> m_TrashDeletions;
    // Held around every read or write of the filter-list files (LoadFilterFile, SaveWordList,
    // SaveFriends), so the worker's filter update and the windows never write them at once.
    std::mutex m_FilterFilesLock;

    // Taken by the worker's stop checks: once released the worker ends.
    CBinarySignal m_StopSignal;
    // "Check All Now": the next turn of the countdown starts a check.
    CBinarySignal m_CheckNowSignal;

    bool IsPaused() const {
        const std::lock_guard lock(m_StateLock);
        return m_Paused;
    }
    void SetPaused(bool paused) {
        const std::lock_guard lock(m_StateLock);
        m_Paused = paused;
    }
    // Pauses when running, resumes when paused; the new state.
    bool TogglePause() {
        const std::lock_guard lock(m_StateLock);
        m_Paused = !m_Paused;
        return m_Paused;
    }

    std::uint32_t GetStatusColour() const {
        const std::lock_guard lock(m_StateLock);
        return m_StatusColour;
    }
    void SetStatusColour(std::uint32_t rgb) {
        const std::lock_guard lock(m_StateLock);
        m_StatusColour = rgb;
    }

    // The text the last error notification refers to.
    std::string GetErrorText() const {
        const std::lock_guard lock(m_StateLock);
        return m_ErrorText;
    }
    void SetErrorText(std::string text) {
        const std::lock_guard lock(m_StateLock);
        m_ErrorText = std::move(text);
    }

private:
    // Protects m_Paused, m_StatusColour and m_ErrorText.
    mutable std::mutex m_StateLock;
    bool m_Paused = false;  // never saved: every run starts checking
    std::uint32_t m_StatusColour = kStatusColourBlack;
    std::string m_ErrorText;
};

}  // namespace sieveclaw
