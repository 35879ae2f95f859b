#include <cerrno>
#include <climits>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "app/CliCommands.h"
#include "core/ProfileStore.h"
#include "core/Settings.h"

namespace sieveclaw {

namespace {

constexpr const char* kUsage = "usage: sieveclaw-cli settings [NAME [VALUE]]\n";

// Every name the command knows: the settings in save order, then the message switches.
std::vector<SettingsValueInfo> KnownValues() {
    std::vector<SettingsValueInfo> known = SettingsValueTable();
    for (const std::string_view box : kMessageSwitches) {
        known.push_back({std::string(box), true, 1, {}});
    }
    return known;
}

std::optional<SettingsValueInfo> FindValue(const std::string& name) {
    for (SettingsValueInfo& info : KnownValues()) {
        if (info.m_Name == name) {
            return std::move(info);
        }
    }
    return std::nullopt;
}

// Integers as the program reads them; texts escaped as the file holds them, so that every value
// is one line and can be given back unchanged.
std::string Shown(const CProfileStore& store, const SettingsValueInfo& info) {
    if (info.m_IsInteger) {
        return std::to_string(store.GetProfileInt(kSettingsSection, info.m_Name, info.m_DefaultInt));
    }
    return EscapeProfileValue(store.GetProfileString(kSettingsSection, info.m_Name, info.m_DefaultText));
}

bool ParseWholeInt(const std::string& text, int& value) {
    if (text.empty()) {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    const long parsed = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0' || errno == ERANGE || parsed < INT_MIN || parsed > INT_MAX) {
        return false;
    }
    value = static_cast<int>(parsed);
    return true;
}

}  // namespace

int RunSettingsCommand(const std::vector<std::string>& arguments) {
    if (arguments.size() > 2) {
        std::cerr << "sieveclaw-cli settings: too many arguments\n" << kUsage;
        return 2;
    }
    CProfileStore store(GetProfileStorePath());
    if (!store.Load()) {
        const std::optional<DataFileDamage> damage = store.Damage();
        std::cerr << "sieveclaw-cli settings: " << (damage ? RefusedSaveText(*damage) : store.LastError()) << "\n";
        return 1;
    }

    if (arguments.empty()) {
        for (const SettingsValueInfo& info : KnownValues()) {
            std::cout << info.m_Name << '=' << Shown(store, info) << '\n';
        }
        std::cout.flush();
        return std::cout ? 0 : 1;
    }

    const std::optional<SettingsValueInfo> info = FindValue(arguments[0]);
    if (!info) {
        std::cerr << "sieveclaw-cli settings: unknown setting '" << arguments[0]
                  << "' (without arguments the command lists every setting)\n";
        return 2;
    }
    if (arguments.size() == 1) {
        std::cout << info->m_Name << '=' << Shown(store, *info) << '\n';
        std::cout.flush();
        return std::cout ? 0 : 1;
    }

    const std::string& value = arguments[1];
    bool written = false;
    if (info->m_IsInteger) {
        int number = 0;
        if (!ParseWholeInt(value, number)) {
            std::cerr << "sieveclaw-cli settings: " << info->m_Name << " takes a whole number, not '" << value << "'\n";
            return 2;
        }
        written = store.WriteProfileInt(kSettingsSection, info->m_Name, number);
    } else {
        written = store.WriteProfileString(kSettingsSection, info->m_Name, UnescapeProfileValue(value));
    }
    if (!written) {
        std::cerr << "sieveclaw-cli settings: " << store.LastError() << "\n";
        return 1;
    }
    return 0;
}

}  // namespace sieveclaw
