#include "core/DataFolder.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace sieveclaw {

namespace {

std::string WithSlash(std::string folder) {
    if (folder.empty() || folder.back() != '/') {
        folder += '/';
    }
    return folder;
}

}  // namespace

std::string EnvironmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

std::string GetHomeFolder() {
    std::string home = EnvironmentValue("HOME");
    if (home.empty()) {
        if (const passwd* entry = ::getpwuid(::getuid()); entry != nullptr && entry->pw_dir != nullptr) {
            home = entry->pw_dir;
        }
    }
    return home;
}

std::string GetConfigHome() {
    // An XDG variable that is empty or relative is invalid and must be ignored.
    std::string config = EnvironmentValue("XDG_CONFIG_HOME");
    if (config.empty() || config.front() != '/') {
        config = GetHomeFolder() + "/.config";
    }
    while (config.size() > 1 && config.back() == '/') {
        config.pop_back();
    }
    return config;
}

std::string GetProgramFolder() {
    if (std::string own = EnvironmentValue("SIEVECLAW_HOME"); !own.empty()) {
        return WithSlash(std::move(own));
    }
    // An XDG variable that is empty or relative is invalid and must be ignored.
    std::string data = EnvironmentValue("XDG_DATA_HOME");
    if (data.empty() || data.front() != '/') {
        data = GetHomeFolder() + "/.local/share";
    }
    return WithSlash(data) + "sieveclaw/";
}

bool EnsureProgramFolder() {
    namespace fs = std::filesystem;
    const fs::path folder = GetProgramFolder();
    std::error_code error;
    if (fs::is_directory(folder, error)) {
        return true;
    }
    fs::create_directories(folder, error);
    if (error) {
        return false;
    }
    fs::permissions(folder, fs::perms::owner_all, fs::perm_options::replace, error);
    return fs::is_directory(folder, error);
}

}  // namespace sieveclaw
