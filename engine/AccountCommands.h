#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "core/AccountList.h"
#include "core/DataFileDamage.h"
#include "core/EmailAccountInfo.h"

// What the account commands of the Preferences dialog, the main window and the first-run wizard do
// to the account list. The Preferences commands save the accounts file at once and answer with the
// save's result, whose m_Error the window shows: the list is changed either way, as the user saw it
// change, but a damaged file is never written over.

namespace sieveclaw {

// Copies the members the account settings dialog edits (everything stored except the hold flag)
// from one record into another, leaving the rest of target (its hold flag, its message lists)
// as it was.
void CopyAccountSettings(const EmailAccountInfo& source, EmailAccountInfo& target);

// Appends the record and saves the file.
SaveResult AddAccountAndSave(CAccountList& accounts, EmailAccountInfo record);

// The first account named name takes the settings of record; not saved when there is none.
SaveResult EditAccountAndSave(CAccountList& accounts, std::string_view name, const EmailAccountInfo& record);

// Removes the first account named name and saves the file; not saved when there is none.
SaveResult DeleteAccountAndSave(CAccountList& accounts, std::string_view name);

// Flips the hold flag of the first account named name and saves the file, with the result in
// saved. The new flag, nothing when there is no such account.
std::optional<std::int32_t> ToggleHoldAndSave(CAccountList& accounts, std::string_view name, SaveResult& saved);

// Removes the first account named name without saving (the wizard's accounts are saved when it is
// finished); false when there is none.
bool RemoveAccountNamed(CAccountList& accounts, std::string_view name);

}  // namespace sieveclaw
