#pragma once

#include <array>
#include <cstdint>
#include <ctime>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "core/ProfileStore.h"

// The user's preferences and remembered window state: every value of the section "Settings" as
// a member, guarded by one lock, loaded once at start-up and written back as a whole.

namespace sieveclaw {

inline constexpr std::string_view kSettingsSection = "Settings";

// A window's last screen rectangle; all -1 when none is stored.
struct WindowRect {
    int m_Left = -1;
    int m_Top = -1;
    int m_Right = -1;
    int m_Bottom = -1;

    bool operator==(const WindowRect&) const = default;
};

// A list's sort state: the direction and the column last sorted by (-1 = none).
struct ListSortState {
    int m_SortOrder = 3;
    int m_Col2SortBy = -1;

    bool operator==(const ListSortState&) const = default;
};

inline constexpr std::size_t kInboxColumns = 5;
inline constexpr std::size_t kTrashColumns = 6;

// 1 January 2000, 01:01:01 local time: what a missing time stamp reads as.
std::time_t DefaultSettingsTimeStamp();

// The values, each starting at what a fresh store reads as.
struct SettingsValues {
    int m_EmailDelay = 1;  // minutes between checks
    WindowRect m_InboxRect;
    WindowRect m_TrashRect;
    std::string m_FilterPassword;  // plain text; empty = none
    WindowRect m_ViewEmailRect;
    bool m_PlaySounds = true;
    std::time_t m_LastDataUpdateDate = DefaultSettingsTimeStamp();
    std::string m_SoundFilePath;
    int m_Timeout = 2;  // minutes a receive waits
    std::uint32_t m_HotKey = 0;
    bool m_AcceptOnlyFriends = false;
    int m_DeleteAfterDaysOld = 7;
    bool m_AutoDelete = true;
    std::time_t m_LastAutoDeleteTime = DefaultSettingsTimeStamp();
    bool m_AutoDelFileExts = false;
    std::uint32_t m_MaxMsgSize = 1048576;  // bytes
    ListSortState m_AccountsSort;
    ListSortState m_InboxSort;
    ListSortState m_TrashSort;
    std::string m_MailProgram;  // empty = the system's default
    std::vector<std::string> m_Exts{".pif", ".bat"};
    std::array<int, kInboxColumns> m_InboxColWidths{};  // 0 = built-in width
    std::array<int, kTrashColumns> m_TrashColWidths{};
    // Ports that speak TLS from the first byte (the transport's list).
    std::vector<int> m_ImplicitTlsPorts{995, 465};

    bool operator==(const SettingsValues&) const = default;
};

// One stored value of the section as the store holds it, in the order the values are saved.
struct SettingsValueInfo {
    std::string m_Name;
    bool m_IsInteger = true;
    int m_DefaultInt = 0;
    std::string m_DefaultText;
};

// Every stored name of the settings (time stamps and HI/LO numbers as their parts, the column
// widths one by one), in save order: the table, then "ImplicitTlsPorts".
const std::vector<SettingsValueInfo>& SettingsValueTable();

// The values the section holds in parts, read and written whole under the name people use for
// them: "MaxMsgSize" and "HotKey" (a "HI" and a "LO" integer, the 16-bit halves), and
// "LastDataUpdateDate" and "LastAutoDeleteTime" (six integers: month, day, year, hour, minute,
// second of local time). Reads give what LoadSettings gives for them; writes store the parts
// with one file write, as SaveSettings would. False when the store could not write.
inline constexpr std::array<std::string_view, 2> kHiLoSettings{"MaxMsgSize", "HotKey"};
inline constexpr std::array<std::string_view, 2> kTimeStampSettings{"LastDataUpdateDate", "LastAutoDeleteTime"};
std::uint32_t ReadHiLoSetting(const CProfileStore& store, std::string_view name);
[[nodiscard]] bool WriteHiLoSetting(CProfileStore& store, std::string_view name, std::uint32_t value);
std::time_t ReadTimeStampSetting(const CProfileStore& store, std::string_view name);
[[nodiscard]] bool WriteTimeStampSetting(CProfileStore& store, std::string_view name, std::time_t when);

// The extension list as stored: each entry followed by ";". Reading drops the text after the
// last ";" and gives ".pif", ".bat" for an empty list.
std::string JoinExtensionList(const std::vector<std::string>& exts);
std::vector<std::string> SplitExtensionList(std::string_view text);

// The port list as stored ("995;465;"). Reading keeps the entries that are ports 1-65535
// (including one after the last ";") and ignores the rest.
std::string JoinPortList(const std::vector<int>& ports);
std::vector<int> SplitPortList(std::string_view text);

// The dismissable information boxes: an integer named after the box, 1 (or missing) = show,
// 0 = the user asked not to see it again. Read and written one at a time, straight to the store.
inline constexpr std::string_view kMsgNowWorking = "NowWorking";
inline constexpr std::string_view kMsgFriends = "FriendsMsg";
inline constexpr std::string_view kMsgInboxRightClick = "InboxRightClick";
inline constexpr std::string_view kMsgTrashCanWarning = "TrashCanWarning";
inline constexpr std::string_view kMsgRescanEmails = "RescanEmails";
inline constexpr std::string_view kMsgFilterCheck = "FilterCheck";
inline constexpr std::array<std::string_view, 6> kMessageSwitches{
    kMsgNowWorking, kMsgFriends, kMsgInboxRightClick, kMsgTrashCanWarning, kMsgRescanEmails, kMsgFilterCheck};

bool IsMessageShown(const CProfileStore& store, std::string_view box);
// False when the store could not write it.
bool SetMessageShown(CProfileStore& store, std::string_view box, bool shown);

// The settings members of the application, shared by the user interface thread and the mail
// check worker. Every function takes the settings lock for its own duration only.
class CSettings {
public:
    // Until LoadSettings the members hold these: the check interval 0 (no check runs before the
    // stored settings are known), everything else as a fresh store reads.
    CSettings();
    CSettings(const CSettings&) = delete;
    CSettings& operator=(const CSettings&) = delete;

    // Reads every value with its default.
    void LoadSettings(const CProfileStore& store);
    // Writes every value, in table order, with one file write. False when that write failed.
    [[nodiscard]] bool SaveSettings(CProfileStore& store) const;

    // A copy of all members, and a change of any of them under the lock. For the values only the
    // user interface thread uses (window rectangles, sort states, column widths, password...).
    SettingsValues Snapshot() const;
    void Update(const std::function<void(SettingsValues&)>& change);

    // The members the worker shares with the user interface thread.
    int GetEmailDelay() const;
    void SetEmailDelay(int minutes);
    bool GetPlaySounds() const;
    void SetPlaySounds(bool on);
    std::time_t GetLastDataUpdateDate() const;
    void SetLastDataUpdateDate(std::time_t when);
    int GetTimeout() const;
    void SetTimeout(int minutes);
    bool GetAcceptOnlyFriends() const;
    void SetAcceptOnlyFriends(bool on);
    int GetDeleteAfterDaysOld() const;
    void SetDeleteAfterDaysOld(int days);
    bool GetAutoDelete() const;
    void SetAutoDelete(bool on);
    std::time_t GetLastAutoDeleteTime() const;
    void SetLastAutoDeleteTime(std::time_t when);
    bool GetAutoDelFileExts() const;
    void SetAutoDelFileExts(bool on);
    std::uint32_t GetMaxMsgSize() const;
    void SetMaxMsgSize(std::uint32_t bytes);
    std::vector<std::string> GetExts() const;
    void SetExts(std::vector<std::string> exts);
    std::vector<int> GetImplicitTlsPorts() const;
    void SetImplicitTlsPorts(std::vector<int> ports);

private:
    template <class T>
    T Get(T SettingsValues::*member) const {
        std::lock_guard lock(m_Lock);
        return m_Values.*member;
    }
    template <class T>
    void Set(T SettingsValues::*member, T value) {
        std::lock_guard lock(m_Lock);
        m_Values.*member = std::move(value);
    }

    // The settings lock: protects m_Values.
    mutable std::mutex m_Lock;
    SettingsValues m_Values;
};

}  // namespace sieveclaw
