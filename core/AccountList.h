#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "core/EmailAccountInfo.h"
#include "core/GuardedList.h"

// The accounts in insertion order, which is the order of the file, of the main window's rows and
// of every mail check. Each operation locks the list for its own step only.

namespace sieveclaw {

using CAccountList = GuardedList<EmailAccountInfo>;

// The position of the first account whose name equals name byte for byte (case counts), or
// kNoPos.
ListPos FindAccount(const CAccountList& list, std::string_view name);

// Appends the record at the end; its position.
ListPos AddAccount(CAccountList& list, EmailAccountInfo record);

std::size_t AccountCount(const CAccountList& list);

// The add of account discovery: a name already in the list gets " - " and the record's mail
// program appended, once, without a second test, so two accounts may still share a name.
ListPos AddAccountUnique(CAccountList& list, EmailAccountInfo record);

// "You already have an account named '<name>'.  Please type a different name." — the refusal of
// a new account whose name is taken.
std::string DuplicateAccountNameMessage(std::string_view name);

}  // namespace sieveclaw
