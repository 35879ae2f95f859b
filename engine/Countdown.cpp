#include "engine/Countdown.h"

namespace sieveclaw {

std::string FormatCountdown(long long remainingSeconds) {
    // The arithmetic truncates toward zero throughout, as the line always has, so a remainder of
    // a day or more shows its hours within the day.
    const long long r = remainingSeconds;
    const long long hours = r / 3600 - 24 * (r / 86400);
    const long long minutes = r / 60 - 60 * (r / 3600);
    long long seconds = r - 60 * (r / 60);
    if (hours > 0) {
        return std::to_string(hours) + " hours, " + std::to_string(minutes) + " minutes, " + std::to_string(seconds) +
               " seconds";
    }
    if (minutes > 0) {
        return std::to_string(minutes) + " minutes, " + std::to_string(seconds) + " seconds";
    }
    if (seconds < 0) {
        seconds = 0;
    }
    return std::to_string(seconds) + " seconds";
}

}  // namespace sieveclaw
