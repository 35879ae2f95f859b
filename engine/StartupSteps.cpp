#include "engine/StartupSteps.h"

#include "core/AccountsFile.h"
#include "filter/AddressBookImport.h"

namespace sieveclaw {

StartupSwitches ReadStartupSwitches(const std::vector<std::string>& arguments) {
    StartupSwitches switches;
    for (const std::string& argument : arguments) {
        switches.m_Minimised = switches.m_Minimised || argument == "/m";
        switches.m_Administrator = switches.m_Administrator || argument == "/a";
    }
    return switches;
}

std::string NowWorkingText(int emailDelay, std::size_t accountCount) {
    return "Sieveclaw is now working to make your life easier!  Every " + std::to_string(emailDelay) + " minute" +
           (emailDelay >= 2 ? "s" : "") + " Sieveclaw will check your email account" + (accountCount >= 2 ? "s" : "") +
           " for spam.  You can check your Trash Can or your Inbox by clicking the Sieveclaw icon in the tray (by "
           "your clock.)\n\nThere is no need to run your email program all the time.  Sieveclaw will tell you when "
           "you have good email and/or spam.  You will hear a \"bweep\" sound when you have good email, and you will "
           "hear a buzzer sound when you have spam.";
}

bool IsAcceptableEmailAddress(std::string_view text) {
    // The same rule as the account settings' address and a friend's.
    return IsValidFriendAddress(text);
}

std::vector<ListPos> AccountsWithoutAddress(const CAccountList& accounts) {
    std::vector<ListPos> missing;
    for (ListPos pos = accounts.First(); pos != kNoPos; pos = accounts.Next(pos)) {
        accounts.VisitAt(pos, [&](const EmailAccountInfo& account) {
            if (account.m_EmailAddress.empty()) {
                missing.push_back(pos);
            }
        });
    }
    return missing;
}

SaveResult StoreEmailAddressAndSave(CAccountList& accounts, ListPos pos, const std::string& address) {
    accounts.ModifyAt(pos, [&address](EmailAccountInfo& account) { account.m_EmailAddress = address; });
    return SaveAccounts(accounts);
}

std::string DamagedAtStartupText(const StartupData& data) {
    return "Sieveclaw will not check your email, because these files do not read whole (they are left as they "
           "are):\n\n" +
           data.DamageReport() + "\n\nRepair them or move them away, then start Sieveclaw again.";
}

}  // namespace sieveclaw
