#include "core/InstalledFiles.h"

#include <filesystem>
#include <system_error>

#include "core/DataFolder.h"
#include "core/RunAtStartup.h"

namespace sieveclaw {

namespace fs = std::filesystem;

std::string FindInstalledFolder(std::string_view relative) {
    std::error_code error;
    const std::string program = GetCurrentProgramPath();
    if (!program.empty()) {
        const fs::path beside = fs::path(program).parent_path().parent_path() / "share" / relative;
        if (fs::is_directory(beside, error)) {
            return beside.lexically_normal().string();
        }
    }
#ifdef SIEVECLAW_DATADIR
    const fs::path configured = fs::path(SIEVECLAW_DATADIR) / relative;
    if (fs::is_directory(configured, error)) {
        return configured.string();
    }
#endif
    return {};
}

bool EnsureDefaultSoundFile(const std::string& path) {
    std::error_code error;
    if (fs::exists(path, error)) {
        return true;
    }
    const fs::path wanted(path);
    const std::string name = wanted.filename().string();
    if ((name != kSpamSoundName && name != kNewMailSoundName) ||
        wanted.parent_path() != fs::path(GetProgramFolder()).parent_path()) {
        return false;
    }
    const std::string sounds = FindInstalledFolder("sieveclaw/sounds");
    if (sounds.empty() || !EnsureProgramFolder()) {
        return false;
    }
    // Copied under a temporary name and renamed, so that a sound played meanwhile is never half a
    // file.
    const fs::path partial = wanted.string() + ".part";
    fs::copy_file(fs::path(sounds) / name, partial, fs::copy_options::overwrite_existing, error);
    if (!error) {
        fs::rename(partial, wanted, error);
    }
    if (error) {
        fs::remove(partial, error);
        return false;
    }
    return true;
}

}  // namespace sieveclaw
