#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "core/AccountList.h"
#include "core/DataFileDamage.h"
#include "engine/StartupData.h"

// The rules of the desktop program's start-up that need no window: its switches, the welcome
// text, the email address every account must have, and what a damaged data folder makes it say.

namespace sieveclaw {

struct StartupSwitches {
    bool m_Minimised = false;      // "/m": hidden in the tray, no welcome
    bool m_Administrator = false;  // "/a": added filter entries also go to the administrator files
};

// Each switch counts only as a whole argument, exactly and in its letter case. ("/l" is the
// activity log's, read where the command line is remembered.)
StartupSwitches ReadStartupSwitches(const std::vector<std::string>& arguments);

// The "NowWorking" welcome for the check interval in minutes and the number of accounts.
std::string NowWorkingText(int emailDelay, std::size_t accountCount);

inline constexpr std::string_view kInvalidEmailAddressMessage =
    "The email address does not appear to be valid.  Please correct it.";

// The address dialog's rule: an "@" that is not the first character, and a "." among the last
// four characters.
bool IsAcceptableEmailAddress(std::string_view text);

// The accounts whose email address is empty, in list order.
std::vector<ListPos> AccountsWithoutAddress(const CAccountList& accounts);

// Stores the address the user gave for the account at pos and saves the accounts file.
SaveResult StoreEmailAddressAndSave(CAccountList& accounts, ListPos pos, const std::string& address);

// What the desktop program shows before it ends on files that do not read whole.
std::string DamagedAtStartupText(const StartupData& data);

}  // namespace sieveclaw
