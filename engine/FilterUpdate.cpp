#include "engine/FilterUpdate.h"

#include <ctime>
#include <filesystem>
#include <system_error>
#include <vector>

#include "core/ActivityLog.h"

namespace sieveclaw {

FilterUpdateResult RunFilterUpdate(CSharedState& state, CUpdater& updater) {
    std::error_code error;
    std::string tempFolder = std::filesystem::temp_directory_path(error).string();
    if (error) {
        tempFolder = "/tmp";
    }
    FilterUpdateResult merged;
    const std::vector<std::string> files = updater.DownloadFilterFiles(tempFolder);
    if (!files.empty()) {
        merged = MergeFilterUpdateFiles(state.m_Lists, files, state.m_FilterFilesLock);
        WriteActivityLogF("EmailThread - Filter update: %zu entries read, %zu files merged", merged.m_EntriesRead,
                          merged.m_FilesDeleted);
    }
    state.m_Settings.SetLastDataUpdateDate(std::time(nullptr));
    if (!state.m_Settings.SaveSettings(state.m_Store)) {
        WriteActivityLog2("EmailThread - Could not save the settings: ", state.m_Store.LastError());
    }
    return merged;
}

std::string FilterUpdateReport(const FilterUpdateResult& result, const CUpdater& updater) {
    if (result.m_EntriesRead == 0) {
        return "There were no new filters in " + updater.SourceName() + ".";
    }
    std::string report = "The filters were updated from " + updater.SourceName() + ": " +
                         std::to_string(result.m_EntriesRead) + (result.m_EntriesRead == 1 ? " entry" : " entries") +
                         " read, " + (result.m_ListsGrew ? "the lists grew." : "all of them already in the lists.");
    if (result.m_ListsGrew && !result.m_Saved) {
        report += "  The word list could not be saved; the files stay for the next update.";
    }
    return report;
}

}  // namespace sieveclaw
