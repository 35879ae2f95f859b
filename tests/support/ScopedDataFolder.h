#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace sieveclaw::test {

// A fresh temporary data folder for one test: SIEVECLAW_HOME and the XDG folders (XDG_CONFIG_HOME,
// where the autostart entry lives, and the data and config folders the desktop's entries are read
// from, which start empty) point into it until the object goes, then the old values come back and
// the folder is removed.
class CScopedDataFolder {
public:
    CScopedDataFolder();
    CScopedDataFolder(const CScopedDataFolder&) = delete;
    CScopedDataFolder& operator=(const CScopedDataFolder&) = delete;
    ~CScopedDataFolder();

    // The folder, without a trailing '/'.
    const std::filesystem::path& Path() const { return m_Path; }
    // Path() / name as a string.
    std::string File(const std::string& name) const { return (m_Path / name).string(); }

private:
    std::filesystem::path m_Path;
    std::vector<std::pair<const char*, std::optional<std::string>>> m_Saved;
};

}  // namespace sieveclaw::test
