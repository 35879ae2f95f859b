#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/SharedState.h"

// What the Preferences dialog stores: the program-wide settings, the extension list and starting
// with the desktop.

namespace sieveclaw {

inline constexpr std::string_view kIntervalCorrectionMessage =
    "The Sieveclaw time interval should be between 1 minute and 120 minutes (2 hours).  The Delay will be "
    "corrected for you.";
inline constexpr int kMinEmailDelay = 1;
inline constexpr int kMaxEmailDelay = 120;
inline constexpr std::uint32_t kMinMaxMsgSize = 1048576;
inline constexpr std::uint32_t kMaxMaxMsgSize = 10485760;

// The interval as typed, brought into 1..120 (0 and less become 1, more than 120 becomes 120);
// corrected says whether kIntervalCorrectionMessage is due.
int CorrectedEmailDelay(int minutes, bool& corrected);

// The size field's text read as the number it shows: every ',' removed (the field shows thousands
// separators) and groupSeparator too (the user's locale may use another), then the leading decimal
// digits. Nothing when there are none. A size outside the field's range is taken at its nearer end:
// a size of a few bytes would keep every message from being looked at.
std::optional<std::uint32_t> MaxMsgSizeFromText(std::string_view text, std::string_view groupSeparator = ",");

// A click on a list's sort column: the direction becomes 2 when it was 1 or 3, otherwise 1.
int NextSortOrder(int current);

// What the dialog shows when it ends with OK.
struct PreferencesChoice {
    int m_EmailDelay = 1;  // already corrected
    bool m_RunAtStartup = false;
    std::uint32_t m_HotKey = 0;  // modifier flags << 16 | virtual-key code
    bool m_AcceptOnlyFriends = false;
    bool m_AutoDelFileExts = false;
    std::vector<std::string> m_Exts;
    std::optional<std::uint32_t> m_MaxMsgSize;  // nothing: the field held no number
    std::optional<std::string> m_MailProgram;   // nothing: no mail program selected
};

// Stores the choice in the settings and the filter lists (the extension list emptied and refilled
// in the given order, in one step, so the mail check never sees it half-filled), switches starting
// with the desktop, and saves the settings file. False when the settings file or the autostart
// entry could not be written (what could be stored is stored).
[[nodiscard]] bool StorePreferences(CSharedState& state, const PreferencesChoice& choice);

}  // namespace sieveclaw
