#include "engine/FolderUpdater.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "core/DataFolder.h"
#include "core/TextFile.h"

namespace sieveclaw {

std::string CFolderUpdater::UpdatesFolder() {
    return GetProgramFolder() + "updates/";
}

std::vector<std::string> CFolderUpdater::DownloadFilterFiles(const std::string& /*tempFolder*/) {
    // Name order, so that files numbered by their sender merge in the order they were meant to.
    return FilesInFolder(UpdatesFolder());
}

std::string CFolderUpdater::SourceName() const {
    return "the folder " + UpdatesFolder();
}

std::string CFolderUpdater::FetchDescription() const {
    return "take the new filters it finds in " + UpdatesFolder() + " and then delete those files";
}

}  // namespace sieveclaw
