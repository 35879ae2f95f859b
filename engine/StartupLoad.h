#pragma once

#include <string>

#include "engine/SharedState.h"

// What both programs load at start-up, in its order: the accounts (first, since a first run
// without any goes to account discovery before anything else is read), then the settings, then
// the filter lists.

namespace sieveclaw {

enum class EAccountsLoad {
    kLoaded,      // the file was read (it may hold no account)
    kNoFile,      // there is no accounts file: the first run
    kUnreadable,  // the file exists but cannot be read: nothing may be saved over it
};

// The accounts file of the data folder, appended to state.m_Accounts.
EAccountsLoad LoadAccountsAtStartup(CSharedState& state);

// The settings file into state.m_Settings, then the filter lists (the extensions, "wordlist.txt",
// "newfilters.txt" merged and deleted, "friends.txt"). False, with error saying why and nothing
// loaded, when the settings file exists but cannot be read.
bool LoadSettingsAndListsAtStartup(CSharedState& state, std::string& error);

}  // namespace sieveclaw
