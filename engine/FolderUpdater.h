#pragma once

#include <string>
#include <vector>

#include "core/Updater.h"

namespace sieveclaw {

// The filter update from a folder: every regular file the user (or a package) dropped into
// GetProgramFolder() + "updates/" is a filter-update file. The files are taken where they lie, so
// the merge deletes them from the folder.
class CFolderUpdater : public CUpdater {
public:
    // The folder, ending in '/', as of now.
    static std::string UpdatesFolder();

    // The files in the folder in name order; nothing when it is missing.
    std::vector<std::string> DownloadFilterFiles(const std::string& tempFolder) override;
    // "the folder <path>".
    std::string SourceName() const override;
    std::string FetchDescription() const override;
};

}  // namespace sieveclaw
