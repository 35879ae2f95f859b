#pragma once

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "core/AccountList.h"
#include "core/ActivityLog.h"
#include "core/DataFolder.h"
#include "core/TextFile.h"
#include "setup/AccountDiscovery.h"
#include "tests/support/ScopedDataFolder.h"

namespace sieveclaw::test {

// A machine of its own for one test: a data folder with the activity log on, and beside it an
// empty home folder and an empty Wine prefix that the test fills with the mail programs' files.
class CDiscoveryMachine {
public:
    CDiscoveryMachine() {
        std::filesystem::create_directories(m_Data.Path() / "home");
        std::filesystem::create_directories(m_Data.Path() / "wine" / "drive_c");
        m_Places.m_HomeFolder = m_Data.File("home");
        m_Places.m_ConfigFolder = m_Data.File("home/.config");
        m_Places.m_WinePrefix = m_Data.File("wine");
        m_Places.m_WindowsUserName = "jo";
        SetActivityLogEnabled(true);
    }
    ~CDiscoveryMachine() { SetActivityLogEnabled(false); }

    // Writes text to the file at relative (below the data folder), making its folders.
    void Write(const std::string& relative, const std::string& text) const {
        const std::filesystem::path path = m_Data.Path() / relative;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << text;
    }
    void UserReg(const std::string& body) const { Write("wine/user.reg", "WINE REGISTRY Version 2\n\n" + body); }
    void SystemReg(const std::string& body) const { Write("wine/system.reg", "WINE REGISTRY Version 2\n\n" + body); }

    // The activity log's lines without their time stamps.
    std::vector<std::string> LogLines() const {
        std::string text;
        ReadFileBytes(GetProgramFolder() + "spam.log", text);
        std::vector<std::string> lines;
        CLineReader reader(text);
        std::string_view line;
        while (reader.Next(line)) {
            line = TrimTrailingWhiteSpace(line);
            lines.emplace_back(line.size() > 11 ? line.substr(11) : line);
        }
        return lines;
    }

    const DiscoveryPlaces& Places() const { return m_Places; }
    DiscoveryPlaces& Places() { return m_Places; }
    std::string Path(const std::string& relative) const { return m_Data.File(relative); }

private:
    CScopedDataFolder m_Data;
    DiscoveryPlaces m_Places;
};

inline std::vector<EmailAccountInfo> Discover(const DiscoveryPlaces& places) {
    CAccountList list;
    DiscoverEmailAccounts(list, places);
    return list.Snapshot();
}

}  // namespace sieveclaw::test
