#pragma once

#include <string>

// The data folder: where every file of the program lives (accounts, lists, inbox, spam, log).
// $SIEVECLAW_HOME when set, else $XDG_DATA_HOME/sieveclaw/, else ~/.local/share/sieveclaw/.

namespace sieveclaw {

// The value of an environment variable, empty when it is not set.
std::string EnvironmentValue(const char* name);

// $HOME, or the user's home folder from the password database when it is not set.
std::string GetHomeFolder();

// $XDG_CONFIG_HOME, or ~/.config when it is empty or relative. Without a trailing '/'.
std::string GetConfigHome();

// The folder, always ending in '/'. Computed on each call, so a test can point it elsewhere.
std::string GetProgramFolder();

// Creates the folder (and its parents) when missing, readable by the user only.
// Returns false when it does not exist afterwards.
bool EnsureProgramFolder();

}  // namespace sieveclaw
