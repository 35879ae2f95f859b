#pragma once

#include <string>

#include "core/AccountList.h"
#include "core/UserPrompt.h"

// Account discovery: on the first run, the POP3 accounts that mail programs on the machine
// already know become account records, so that the user need not type servers and user ids.
// Windows mail programs are looked for in the Wine prefix (its registry files and drive C), the
// Linux ones in the home folder. Passwords are never taken from the mail programs.

namespace sieveclaw {

// Where the sources look. Folders without a trailing '/'.
struct DiscoveryPlaces {
    std::string m_HomeFolder;
    std::string m_ConfigFolder;  // $XDG_CONFIG_HOME or ~/.config
    std::string m_WinePrefix;
    // The Windows user whose Application Data folder holds Mozilla profiles.
    std::string m_WindowsUserName;
    // Outlook keeps its profile under "Windows NT" on NT-family systems, which Wine presents.
    bool m_WindowsNtFamily = true;
};

// The home folder, the configuration folder, $WINEPREFIX (or ~/.wine) and $USER (or the login
// name).
DiscoveryPlaces DefaultDiscoveryPlaces();

// The first-run account wizard over the account list: the user keeps the accounts wanted,
// completes passwords and tests the connections. The windows implement it; sieveclaw-cli and
// tests answer it directly.
class CAccountWizard {
public:
    virtual ~CAccountWizard() = default;
    // True when the user finished it; the list then holds the accounts to keep.
    virtual bool Run(CAccountList& accounts) = 0;
};

inline constexpr const char* kNoAccountMessage =
    "Sieveclaw cannot run without an email account set up.  When you are ready, please run Sieveclaw "
    "again and setup an email account.";

// Runs every source in its fixed order, adding what they find at the end of the list, with the
// trace lines of the search. No wizard.
void DiscoverEmailAccounts(CAccountList& accounts, const DiscoveryPlaces& places);

// The first-run step: discovery, then the wizard over what was found. 1 when the wizard was
// finished (the accounts are then saved), 0 when nothing was found (no message) or the wizard
// was cancelled (the prompt shows kNoAccountMessage). Records found stay in the list either way.
int CollectEmailAccountInfo(CAccountList& accounts, CAccountWizard& wizard, CUserPrompt& prompt,
                            const DiscoveryPlaces& places);
int CollectEmailAccountInfo(CAccountList& accounts, CAccountWizard& wizard, CUserPrompt& prompt);

}  // namespace sieveclaw
