#pragma once

#include <string>
#include <string_view>

namespace sieveclaw {

// What the countdown line shows while checking is paused.
inline constexpr std::string_view kPausedCountdownText = "Paused.  Click Resume to continue";

// The countdown line for the seconds left until the next check: "%d hours, %d minutes, %d
// seconds" from one whole hour on (hours counted within a day), "%d minutes, %d seconds" from one
// whole minute on, else "%d seconds", where a negative remainder (a check that is due) reads 0.
std::string FormatCountdown(long long remainingSeconds);

}  // namespace sieveclaw
