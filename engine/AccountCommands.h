#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "core/AccountList.h"
#include "core/EmailAccountInfo.h"

// What the account commands of the Preferences dialog, the main window and the first-run wizard do
// to the account list. The Preferences commands save the accounts file at once; where they answer
// true or false, false also means the save failed (the list is changed either way, as the user saw
// it change).

namespace sieveclaw {

// Copies the members the account settings dialog edits (everything stored except the hold flag)
// from one record into another, leaving the rest of target (its hold flag, its message lists)
// as it was.
void CopyAccountSettings(const EmailAccountInfo& source, EmailAccountInfo& target);

// Appends the record and saves the file.
bool AddAccountAndSave(CAccountList& accounts, EmailAccountInfo record);

// The first account named name takes the settings of record; false when there is none (nothing is
// saved then) or the save failed.
bool EditAccountAndSave(CAccountList& accounts, std::string_view name, const EmailAccountInfo& record);

// Removes the first account named name and saves the file; false when there is none.
bool DeleteAccountAndSave(CAccountList& accounts, std::string_view name);

// Flips the hold flag of the first account named name and saves the file. The new flag, nothing
// when there is no such account.
std::optional<std::int32_t> ToggleHoldAndSave(CAccountList& accounts, std::string_view name);

// Removes the first account named name without saving (the wizard's accounts are saved when it is
// finished); false when there is none.
bool RemoveAccountNamed(CAccountList& accounts, std::string_view name);

}  // namespace sieveclaw
