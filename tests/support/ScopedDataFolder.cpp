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

CScopedDataFolder::CScopedDataFolder() : m_SavedHome(Saved("SIEVECLAW_HOME")), m_SavedConfig(Saved("XDG_CONFIG_HOME")) {
    std::string pattern = (std::filesystem::temp_directory_path() / "sieveclaw-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::perror("sieveclaw test: cannot create a temporary data folder");
        std::abort();
    }
    m_Path = pattern;
    ::setenv("SIEVECLAW_HOME", m_Path.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (m_Path / "config").c_str(), 1);
}

CScopedDataFolder::~CScopedDataFolder() {
    Restore("SIEVECLAW_HOME", m_SavedHome);
    Restore("XDG_CONFIG_HOME", m_SavedConfig);
    std::error_code error;
    std::filesystem::permissions(m_Path, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, error);
    std::filesystem::remove_all(m_Path, error);
}

}  // namespace sieveclaw::test
