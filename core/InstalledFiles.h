#pragma once

#include <string>
#include <string_view>

// The files the package installs beside the programs (the default sounds, the user manual), found
// from the running program: <program folder>/../share/..., which holds for an installed program
// whatever its prefix and for one run from the build folder, else the prefix the build was
// configured with.

namespace sieveclaw {

// The installed folder share/<relative> (no trailing '/'); empty when there is none.
std::string FindInstalledFolder(std::string_view relative);

// The default sounds, installed in share/sieveclaw/sounds.
inline constexpr std::string_view kSpamSoundName = "clawed.wav";
inline constexpr std::string_view kNewMailSoundName = "mailin.wav";

// New accounts play the data folder's copies of the default sounds. When path names one of them
// and it is not there yet, the installed one is copied in, so the user may replace it there. True
// when path exists afterwards (any other path: when it exists).
bool EnsureDefaultSoundFile(const std::string& path);

}  // namespace sieveclaw
