#include "setup/AccountDiscovery.h"

#include <pwd.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>
#include <vector>

#include "core/AccountsFile.h"
#include "core/ActivityLog.h"
#include "core/DataFolder.h"
#include "core/RegistryView.h"
#include "setup/DiscoverySources.h"

namespace sieveclaw {

namespace {

namespace fs = std::filesystem;

// The Mozilla profiles folders: the Windows user's Application Data in the places Wine versions
// have kept it, then the Linux suite's own folder. One folder reached twice (through Wine's
// links) is read once.
std::vector<std::string> MozillaProfilesFolders(const DiscoveryPlaces& places) {
    std::vector<std::string> candidates;
    if (!places.m_WinePrefix.empty() && !places.m_WindowsUserName.empty()) {
        const std::string driveC = places.m_WinePrefix + "/drive_c";
        const std::string& user = places.m_WindowsUserName;
        for (const std::string& relative : {"Documents and Settings/" + user + "/Application Data/Mozilla/Profiles",
                                            "users/" + user + "/Application Data/Mozilla/Profiles",
                                            "users/" + user + "/AppData/Roaming/Mozilla/Profiles"}) {
            candidates.push_back(ResolveNoCase(driveC, relative));
        }
    }
    if (!places.m_HomeFolder.empty()) {
        candidates.push_back(ResolveNoCase(places.m_HomeFolder, ".mozilla"));
    }
    std::vector<std::string> folders;
    for (const std::string& candidate : candidates) {
        if (candidate.empty()) {
            continue;
        }
        bool seen = false;
        for (const std::string& folder : folders) {
            std::error_code error;
            seen = seen || fs::equivalent(folder, candidate, error);
        }
        if (!seen) {
            folders.push_back(candidate);
        }
    }
    return folders;
}

}  // namespace

DiscoveryPlaces DefaultDiscoveryPlaces() {
    DiscoveryPlaces places;
    places.m_HomeFolder = GetHomeFolder();
    places.m_ConfigFolder = GetConfigHome();
    places.m_WinePrefix = GetWinePrefixFolder();
    places.m_WindowsUserName = EnvironmentValue("USER");
    if (places.m_WindowsUserName.empty()) {
        if (const passwd* entry = ::getpwuid(::getuid()); entry != nullptr && entry->pw_name != nullptr) {
            places.m_WindowsUserName = entry->pw_name;
        }
    }
    return places;
}

void DiscoverEmailAccounts(CAccountList& accounts, const DiscoveryPlaces& places) {
    const CRegistryView registry =
        places.m_WinePrefix.empty() ? CRegistryView() : CRegistryView::FromWinePrefix(places.m_WinePrefix);
    const CWindowsDrives drives(places.m_WinePrefix);
    const std::size_t before = AccountCount(accounts);

    WriteActivityLog("CollectEmailAccountInfo - searchng for Outlook Express data");
    CollectOutlookExpressAccounts(registry, accounts);
    WriteActivityLog("CollectEmailAccountInfo - searchng for Outlook data");
    CollectOutlookAccount(registry, places.m_WindowsNtFamily, accounts);
    CollectEudoraAccount(registry, drives, accounts);
    WriteActivityLog("CollectEmailAccountInfo - searchng for IncrediMail data");
    CollectIncrediMailAccounts(registry, accounts);
    WriteActivityLog("CollectEmailAccountInfo - searchng for PegasusMail data");
    CollectPegasusMailAccounts(drives, accounts);
    WriteActivityLog("CollectEmailAccountInfo - searchng for Netscape 7.0 mail data");
    CollectNetscape7Accounts(MozillaProfilesFolders(places), accounts);
    WriteActivityLog("CollectEmailAccountInfo - searchng for Netscape 4.79 mail data");
    CollectNetscape4Accounts(drives, accounts);
    CollectThunderbirdAccounts(places.m_HomeFolder, accounts);
    CollectEvolutionAccounts(places.m_ConfigFolder, accounts);
    CollectClawsMailAccounts(places.m_HomeFolder, accounts);

    // What the mail programs do not say, the server decides, as for an account typed in.
    std::size_t index = 0;
    for (ListPos pos = accounts.First(); pos != kNoPos; pos = accounts.Next(pos), ++index) {
        if (index >= before) {
            accounts.ModifyAt(pos, [](EmailAccountInfo& record) {
                record.m_LeaveMailUnread = LeavesMailUnreadByDefault(record.m_POP3Server) ? 1 : 0;
            });
        }
    }
}

int CollectEmailAccountInfo(CAccountList& accounts, CAccountWizard& wizard, CUserPrompt& prompt,
                            const DiscoveryPlaces& places) {
    WriteActivityLog("CollectEmailAccountInfo - entererd");
    DiscoverEmailAccounts(accounts, places);
    int result = 0;
    if (AccountCount(accounts) == 0) {
        WriteActivityLog("CollectEmailAccountInfo - Did not find any email accounts to copy account info from");
    } else {
        WriteActivityLog("CollectEmailAccountInfo - Launching account info wizard");
        if (wizard.Run(accounts)) {
            if (!SaveAccounts(accounts)) {
                // The accounts still serve this session; the next start finds none stored and asks again.
                WriteActivityLog("CollectEmailAccountInfo - could not save the accounts");
            }
            result = 1;
        } else {
            prompt.ShowInformation(kNoAccountMessage);
            WriteActivityLog("CollectEmailAccountInfo - Accounts wizard was cancelled");
        }
    }
    WriteActivityLog("CollectEmailAccountInfo - leaving");
    return result;
}

int CollectEmailAccountInfo(CAccountList& accounts, CAccountWizard& wizard, CUserPrompt& prompt) {
    return CollectEmailAccountInfo(accounts, wizard, prompt, DefaultDiscoveryPlaces());
}

}  // namespace sieveclaw
