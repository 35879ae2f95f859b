#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/AccountList.h"
#include "core/EmailAccountInfo.h"

// The accounts file, "accounts.txt" in the data folder: one value a line, CR LF line ends.
//
//   Sieveclaw Datastream Version 1.1
//   <number of accounts>
//   then 15 lines per account: SMTP needs logon, name, POP3 user id, POP3 password (scrambled),
//   POP3 server, POP3 port, SMTP server, SMTP port, SMTP user id, SMTP password (scrambled),
//   play sounds, spam sound file, new mail sound file, email address, on hold.
//
// After the last account's block the values that came later, one a line:
//
//   Sieveclaw Account Values Version 1
//   <account number, from 1> <key>=<value>       for example "1 pop3-security=ssl-tls"
//
// Keys: "pop3-security" and "smtp-security" (always written), "pop3-certificate" and
// "smtp-certificate" (the SHA-256 fingerprint of a certificate the user trusts for that server;
// written only when there is one).
//
// Readers of the fifteen-line layout stop after the blocks their count promises, so they never
// see this section. A key this version does not know is kept with its account and written back.
// A value is cut at its first line feed, as the block's values are.
//
// Files of the older format have no header: the first line is the count and each account has
// only the first 13 of those lines. Lines are read with trailing white space trimmed (before a
// password is unscrambled), LF or CR LF, any length. Integer lines and the count read like
// atoi: leading digits with an optional sign, anything else 0.

namespace sieveclaw {

inline constexpr std::string_view kAccountsFileHeader = "Sieveclaw Datastream Version 1.1";
inline constexpr std::string_view kAccountValuesHeader = "Sieveclaw Account Values Version 1";

// GetProgramFolder() + "accounts.txt", computed on each call.
std::string AccountsFilePath();

// The accounts the text holds, in file order. Nothing for a count of 0 or less. A file shorter
// than its count promises gives a last record whose missing lines read empty (integers 0), but
// no record is made for an account that would start past the end of the text, so a wild count
// costs nothing. programFolder (ending in '/') gives the sound defaults of a fresh record.
std::vector<EmailAccountInfo> ParseAccountsText(std::string_view text, const std::string& programFolder);

// The file in the current format. A value holding a line feed (after scrambling) is written up
// to that line feed only: it cannot be stored whole, and spilling onto the next line would shift
// every value after it.
std::string FormatAccountsText(const std::vector<EmailAccountInfo>& records);

// Appends the accounts of the file at path to the list. False (nothing appended) when the file
// cannot be read.
bool LoadAccounts(CAccountList& list, const std::string& path);
bool LoadAccounts(CAccountList& list);

// Replaces the file at path with the whole list, atomically and readable by its owner only
// (it holds passwords). False when it could not be written; the old file is then untouched.
// The one-argument form writes AccountsFilePath(), creating the data folder when missing.
bool SaveAccounts(const CAccountList& list, const std::string& path);
bool SaveAccounts(const CAccountList& list);

// The label ("POP3 password", "account name", ...) of the first stored member that would not
// read back from the file as it is, or empty when all would. A value is lost in part when it
// ends in white space or holds a line feed; for the passwords this applies to the scrambled
// bytes, so a password ending in a byte that scrambles to white space is cut too.
std::string_view FirstFieldNotStoredIntact(const EmailAccountInfo& record);

}  // namespace sieveclaw
