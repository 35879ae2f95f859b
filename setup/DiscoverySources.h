#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/AccountList.h"
#include "core/RegistryView.h"

// The single sources of account discovery, in the order they run. Each adds what it finds at the
// end of the list and contributes nothing when its program is missing.

namespace sieveclaw {

// Windows paths ("C:\pmail\mail\") inside a Wine prefix: drive C is drive_c, other drives are
// the prefix's dosdevices links. Names match without regard to ASCII letter case, as on the
// Windows file system.
class CWindowsDrives {
public:
    explicit CWindowsDrives(std::string winePrefix) : m_WinePrefix(std::move(winePrefix)) {}
    // The Linux path of an existing file or folder, or empty.
    std::string Resolve(std::string_view windowsPath) const;

private:
    std::string m_WinePrefix;
};

// The existing entry at base + relative (segments separated by '\' or '/'), each segment matched
// exactly first and then without regard to ASCII letter case; empty when any is missing.
std::string ResolveNoCase(const std::string& base, std::string_view relative);

// The names of the folders (links to folders included) in folder, in the order the Windows file
// system lists them (letter case ignored). Empty when it cannot be read.
std::vector<std::string> SubFolderNames(const std::string& folder);

void CollectOutlookExpressAccounts(const CRegistryView& registry, CAccountList& accounts);
void CollectOutlookAccount(const CRegistryView& registry, bool ntFamily, CAccountList& accounts);
void CollectEudoraAccount(const CRegistryView& registry, const CWindowsDrives& drives, CAccountList& accounts);
void CollectIncrediMailAccounts(const CRegistryView& registry, CAccountList& accounts);
void CollectPegasusMailAccounts(const CWindowsDrives& drives, CAccountList& accounts);
// profilesFolders: the folders whose sub-folders are profiles with prefs.js one level deeper.
void CollectNetscape7Accounts(const std::vector<std::string>& profilesFolders, CAccountList& accounts);
void CollectNetscape4Accounts(const CWindowsDrives& drives, CAccountList& accounts);

// The Linux mail programs, after the seven above. homeFolder and configFolder without '/'.
// Thunderbird: every profile folder in ~/.thunderbird with a prefs.js.
void CollectThunderbirdAccounts(const std::string& homeFolder, CAccountList& accounts);
// Evolution: the POP3 sources in <config>/evolution/sources, with their identity and transport.
void CollectEvolutionAccounts(const std::string& configFolder, CAccountList& accounts);
// Claws Mail: the POP3 accounts of ~/.claws-mail/accountrc.
void CollectClawsMailAccounts(const std::string& homeFolder, CAccountList& accounts);

// The ini path in Eudora's command line: from the drive letter before the first ".ini" to the
// end, or the whole line when there is no ".ini" or no ':' before it. Nothing when the line
// starts with ".ini".
std::optional<std::string> EudoraIniPath(std::string_view commandLine);

}  // namespace sieveclaw
