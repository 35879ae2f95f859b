#pragma once

#include <string>
#include <vector>

#include "core/DataFileDamage.h"
#include "engine/SharedState.h"

// What both programs load at start-up, in its order, and what becomes of a data file that does
// not read whole: the desktop program shows the same damage the command line prints.

namespace sieveclaw {

// What loading the data folder came to.
struct StartupData {
    // Every data file that exists but cannot be read or does not read whole, in loading order.
    // None of them will be written over by this process; while any is listed no check may run,
    // since it would run on accounts or lists that are not the user's.
    std::vector<DataFileDamage> m_Damaged;
    bool m_AccountsFileExists = false;
    // The accounts file does not read whole: the list holds no account, and none may be set up in
    // its place (the first run would save over the file the user still has).
    bool m_AccountsDamaged = false;

    bool IsWhole() const { return m_Damaged.empty(); }
    // The damaged files, one a line, each with its line and what is wrong.
    std::string DamageReport() const;
};

// Loads the accounts, the settings and the filter lists (the word list, "newfilters.txt" merged
// and deleted, the friends, the extensions) of the data folder into state.
StartupData LoadDataAtStartup(CSharedState& state);

// The same in the desktop program's two steps, between which it settles the first run and asks
// for missing email addresses: the accounts, then the settings and the lists.
void LoadAccountsAtStartup(CSharedState& state, StartupData& data);
void LoadSettingsAndListsAtStartup(CSharedState& state, StartupData& data);

}  // namespace sieveclaw
