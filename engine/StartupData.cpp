#include "engine/StartupData.h"

#include <optional>

#include "core/AccountsFile.h"
#include "core/DataFolder.h"
#include "filter/FilterFiles.h"

namespace sieveclaw {

std::string StartupData::DamageReport() const {
    std::string report;
    for (const DataFileDamage& damage : m_Damaged) {
        if (!report.empty()) {
            report += '\n';
        }
        report += DamageText(damage);
    }
    return report;
}

StartupData LoadDataAtStartup(CSharedState& state) {
    StartupData data;
    LoadAccountsAtStartup(state, data);
    LoadSettingsAndListsAtStartup(state, data);
    return data;
}

void LoadAccountsAtStartup(CSharedState& state, StartupData& data) {
    std::optional<DataFileDamage> damage;
    const std::string accountsPath = AccountsFilePath();
    data.m_AccountsFileExists = LoadAccounts(state.m_Accounts, accountsPath, &damage) || damage.has_value();
    if (damage) {
        data.m_AccountsDamaged = true;
        data.m_Damaged.push_back(std::move(*damage));
    }
}

void LoadSettingsAndListsAtStartup(CSharedState& state, StartupData& data) {
    if (!state.m_Store.Load()) {
        if (std::optional<DataFileDamage> settings = state.m_Store.Damage()) {
            data.m_Damaged.push_back(std::move(*settings));
        }
    }
    state.m_Settings.LoadSettings(state.m_Store);
    for (DataFileDamage& list :
         LoadFilterListsAtStartup(state.m_Lists, state.m_Settings, state.m_FilterFilesLock, GetProgramFolder())) {
        data.m_Damaged.push_back(std::move(list));
    }
}

}  // namespace sieveclaw
