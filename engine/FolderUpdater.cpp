#include "engine/FolderUpdater.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "core/DataFolder.h"

namespace sieveclaw {

std::string CFolderUpdater::UpdatesFolder() {
    return GetProgramFolder() + "updates/";
}

std::vector<std::string> CFolderUpdater::DownloadFilterFiles(const std::string& /*tempFolder*/) {
    std::vector<std::string> paths;
    std::error_code error;
    std::filesystem::directory_iterator it(UpdatesFolder(), error);
    for (; !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
        std::error_code typeError;
        if (it->is_regular_file(typeError)) {
            paths.push_back(it->path().string());
        }
    }
    // Name order, so that files numbered by their sender merge in the order they were meant to.
    std::sort(paths.begin(), paths.end());
    return paths;
}

std::string CFolderUpdater::SourceName() const {
    return "the folder " + UpdatesFolder();
}

std::string CFolderUpdater::FetchDescription() const {
    return "take the new filters it finds in " + UpdatesFolder() + " and then delete those files";
}

}  // namespace sieveclaw
