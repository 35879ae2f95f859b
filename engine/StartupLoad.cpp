#include "engine/StartupLoad.h"

#include <filesystem>

#include "core/AccountsFile.h"
#include "core/DataFolder.h"
#include "filter/FilterFiles.h"

namespace sieveclaw {

EAccountsLoad LoadAccountsAtStartup(CSharedState& state) {
    const std::string path = AccountsFilePath();
    std::error_code ignored;
    if (!std::filesystem::exists(path, ignored)) {
        return EAccountsLoad::kNoFile;
    }
    return LoadAccounts(state.m_Accounts, path) ? EAccountsLoad::kLoaded : EAccountsLoad::kUnreadable;
}

bool LoadSettingsAndListsAtStartup(CSharedState& state, std::string& error) {
    if (!state.m_Store.Load()) {
        error = state.m_Store.LastError();
        return false;
    }
    state.m_Settings.LoadSettings(state.m_Store);
    LoadFilterListsAtStartup(state.m_Lists, state.m_Settings, state.m_FilterFilesLock, GetProgramFolder());
    return true;
}

}  // namespace sieveclaw
