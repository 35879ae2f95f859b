#include "engine/Preferences.h"

#include <algorithm>

#include "core/LeadingNumber.h"
#include "core/RunAtStartup.h"

namespace sieveclaw {

int CorrectedEmailDelay(int minutes, bool& corrected) {
    corrected = minutes < kMinEmailDelay || minutes > kMaxEmailDelay;
    return std::clamp(minutes, kMinEmailDelay, kMaxEmailDelay);
}

std::optional<std::uint32_t> MaxMsgSizeFromText(std::string_view text, std::string_view groupSeparator) {
    std::string digits(text);
    std::erase(digits, ',');
    for (std::size_t at = 0; !groupSeparator.empty() && (at = digits.find(groupSeparator, at)) != std::string::npos;) {
        digits.erase(at, groupSeparator.size());
    }
    long long value = 0;
    if (!ReadLeadingNumber(digits, value)) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(std::clamp<long long>(value, kMinMaxMsgSize, kMaxMaxMsgSize));
}

int NextSortOrder(int current) {
    return current == 1 || current == 3 ? 2 : 1;
}

bool StorePreferences(CSharedState& state, const PreferencesChoice& choice) {
    CSettings& settings = state.m_Settings;
    settings.SetEmailDelay(choice.m_EmailDelay);
    const bool autostart = SetRunAtStartup(choice.m_RunAtStartup);
    settings.Update([&choice](SettingsValues& values) {
        values.m_HotKey = choice.m_HotKey;
        if (choice.m_MailProgram) {
            values.m_MailProgram = *choice.m_MailProgram;
        }
    });
    settings.SetAcceptOnlyFriends(choice.m_AcceptOnlyFriends);
    settings.SetAutoDelFileExts(choice.m_AutoDelFileExts);
    settings.SetExts(choice.m_Exts);
    state.m_Lists.m_Exts.Assign(choice.m_Exts);
    if (choice.m_MaxMsgSize) {
        settings.SetMaxMsgSize(*choice.m_MaxMsgSize);
    }
    const bool saved = settings.SaveSettings(state.m_Store);
    return saved && autostart;
}

}  // namespace sieveclaw
