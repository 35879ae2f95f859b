#pragma once

#include <string>
#include <string_view>

// Start with the desktop: an XDG autostart entry, $XDG_CONFIG_HOME/autostart/sieveclaw.desktop,
// that starts the program hidden in the tray ("/m").

namespace sieveclaw {

// The entry's path (an empty or relative XDG_CONFIG_HOME counts as ~/.config).
std::string GetAutostartEntryPath();

// The running program's file (from /proc/self/exe); empty when it cannot be found.
std::string GetCurrentProgramPath();

// The desktop entry that starts programPath with "/m".
std::string BuildAutostartEntry(std::string_view programPath);

// On when the entry exists, is not hidden (Hidden=true) and its Exec line is not empty.
bool IsRunAtStartup();

// On: writes the entry (atomically) for programPath, the running program when empty.
// Off: removes the entry; one that is already missing is fine. False when the entry could not be
// written or removed (or on, no program path is known); what was there is then left unchanged.
bool SetRunAtStartup(bool on, const std::string& programPath = {});

}  // namespace sieveclaw
