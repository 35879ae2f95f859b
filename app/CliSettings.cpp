#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "app/CliCommands.h"
#include "core/ProfileStore.h"
#include "core/Settings.h"

namespace sieveclaw {

namespace {

constexpr const char* kUsage =
    "usage: sieveclaw-cli settings [NAME [VALUE]]\n"
    "  MaxMsgSize and HotKey take a number (0 to 4294967295); LastDataUpdateDate and\n"
    "  LastAutoDeleteTime a local time as \"YYYY-MM-DD HH:MM:SS\". They are stored in parts\n"
    "  (MaxMsgSizeHI/LO, LastAutoDeleteTimeYear...), which may be read and set one by one too.\n";

enum class EComposite { kNone, kHiLo, kTimeStamp };

EComposite CompositeKind(std::string_view name) {
    for (const std::string_view hiLo : kHiLoSettings) {
        if (name == hiLo) {
            return EComposite::kHiLo;
        }
    }
    for (const std::string_view stamp : kTimeStampSettings) {
        if (name == stamp) {
            return EComposite::kTimeStamp;
        }
    }
    return EComposite::kNone;
}

std::string TimeText(std::time_t when) {
    std::tm local{};
    char text[32] = {};
    if (::localtime_r(&when, &local) == nullptr ||
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local) == 0) {
        return "?";
    }
    return text;
}

bool ParseTimeText(const std::string& text, std::time_t& when) {
    std::tm local{};
    const char* end = ::strptime(text.c_str(), "%Y-%m-%d %H:%M:%S", &local);
    if (end == nullptr || *end != '\0') {
        return false;
    }
    local.tm_isdst = -1;
    when = std::mktime(&local);
    return when != static_cast<std::time_t>(-1);
}

std::string ShownComposite(const CProfileStore& store, std::string_view name) {
    return CompositeKind(name) == EComposite::kHiLo ? std::to_string(ReadHiLoSetting(store, name))
                                                    : TimeText(ReadTimeStampSetting(store, name));
}

// Sets a value stored in parts; 0, 1 when the store could not write, 2 for a value it cannot take.
int SetComposite(CProfileStore& store, const std::string& name, const std::string& value) {
    bool written = false;
    if (CompositeKind(name) == EComposite::kHiLo) {
        char* end = nullptr;
        errno = 0;
        const unsigned long long number = std::strtoull(value.c_str(), &end, 10);
        if (value.empty() || value.front() == '-' || *end != '\0' || errno == ERANGE || number > 0xFFFFFFFFULL) {
            std::cerr << "sieveclaw-cli settings: " << name << " takes a number from 0 to 4294967295, not '" << value
                      << "'\n";
            return 2;
        }
        written = WriteHiLoSetting(store, name, static_cast<std::uint32_t>(number));
    } else {
        std::time_t when = 0;
        if (!ParseTimeText(value, when)) {
            std::cerr << "sieveclaw-cli settings: " << name << " takes a local time as \"YYYY-MM-DD HH:MM:SS\", not '"
                      << value << "'\n";
            return 2;
        }
        written = WriteTimeStampSetting(store, name, when);
    }
    if (!written) {
        std::cerr << "sieveclaw-cli settings: " << store.LastError() << "\n";
        return 1;
    }
    return 0;
}

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

const char* SettingsUsage() {
    return kUsage;
}

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
        for (const auto& names : {kHiLoSettings, kTimeStampSettings}) {
            for (const std::string_view name : names) {
                std::cout << name << '=' << ShownComposite(store, name) << '\n';
            }
        }
        std::cout.flush();
        return std::cout ? 0 : 1;
    }
    if (CompositeKind(arguments[0]) != EComposite::kNone) {
        if (arguments.size() == 1) {
            std::cout << arguments[0] << '=' << ShownComposite(store, arguments[0]) << '\n';
            std::cout.flush();
            return std::cout ? 0 : 1;
        }
        return SetComposite(store, arguments[0], arguments[1]);
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
