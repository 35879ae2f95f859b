#include "tests/support/ScopedDataFolder.h"

#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <system_error>

namespace sieveclaw::test {

namespace {

std::optional<std::string> Saved(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
}

void Restore(const char* name, const std::optional<std::string>& value) {
    if (value) {
        ::setenv(name, value->c_str(), 1);
    } else {
        ::unsetenv(name);
    }
}

}  // namespace

CScopedDataFolder::CScopedDataFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "sieveclaw-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::perror("sieveclaw test: cannot create a temporary data folder");
        std::abort();
    }
    m_Path = pattern;
    const std::pair<const char*, std::filesystem::path> pointed[] = {
        {"SIEVECLAW_HOME", m_Path},
        {"XDG_CONFIG_HOME", m_Path / "config"},
        {"XDG_CONFIG_DIRS", m_Path / "config-dirs"},
        {"XDG_DATA_HOME", m_Path / "data"},
        {"XDG_DATA_DIRS", m_Path / "data-dirs"},
    };
    for (const auto& [name, path] : pointed) {
        m_Saved.emplace_back(name, Saved(name));
        ::setenv(name, path.c_str(), 1);
    }
}

CScopedDataFolder::~CScopedDataFolder() {
    for (const auto& [name, value] : m_Saved) {
        Restore(name, value);
    }
    std::error_code error;
    std::filesystem::permissions(m_Path, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, error);
    std::filesystem::remove_all(m_Path, error);
}

}  // namespace sieveclaw::test
