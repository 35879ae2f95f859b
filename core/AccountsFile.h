#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/AccountList.h"
#include "core/DataFileDamage.h"
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
// password is unscrambled), LF or CR LF, any length; a leading UTF-8 byte-order mark is passed
// over. Integer lines and the count read like atoi: leading digits with an optional sign,
// anything else 0.
//
// A file that does not read whole is damaged, and is never written over (DataFileDamage.h): a
// first line that is neither the header nor a number, a count that is not a number or below 0,
// an integer line that is not a number (the usual sign of a line lost or added further up), a
// file that ends inside the blocks its count promises, lines after the blocks that are not the
// later values, and later values that name no account or cannot be read back. A file of blanks
// only holds no account and is not damaged.

namespace sieveclaw {

inline constexpr std::string_view kAccountsFileHeader = "Sieveclaw Datastream Version 1.1";
inline constexpr std::string_view kAccountValuesHeader = "Sieveclaw Account Values Version 1";

// GetProgramFolder() + "accounts.txt", computed on each call.
std::string AccountsFilePath();

// The accounts the text holds, in file order. Nothing for a count of 0 or less. A file shorter
// than its count promises gives a last record whose missing lines read empty (integers 0), but
// no record is made for an account that would start past the end of the text, so a wild count
// costs nothing. programFolder (ending in '/') gives the sound defaults of a fresh record. When
// damage is given it gets the first place where the text does not read whole (path left empty),
// or nothing.
std::vector<EmailAccountInfo> ParseAccountsText(std::string_view text, const std::string& programFolder,
                                                std::optional<DataFileDamage>* damage = nullptr);

// The first damage in an accounts file's text, or nothing when it reads whole.
std::optional<DataFileDamage> FindAccountsTextDamage(std::string_view text);

// The file in the current format. A value holding a line feed (after scrambling) is written up
// to that line feed only: it cannot be stored whole, and spilling onto the next line would shift
// every value after it.
std::string FormatAccountsText(const std::vector<EmailAccountInfo>& records);

// Appends the accounts of the file at path to the list. False (nothing appended) when the file is
// missing or damaged; for a damaged one, damage (when given) says where, and every later save of
// this process over it is refused.
bool LoadAccounts(CAccountList& list, const std::string& path, std::optional<DataFileDamage>* damage = nullptr);
bool LoadAccounts(CAccountList& list, std::optional<DataFileDamage>* damage = nullptr);

// Replaces the file at path with the whole list, atomically and readable by its owner only
// (it holds passwords). Refused when the file there is damaged (or was at its load); fails when
// it could not be written; either way the old file is untouched and m_Error says why.
// The one-argument form writes AccountsFilePath(), creating the data folder when missing.
SaveResult SaveAccounts(const CAccountList& list, const std::string& path);
SaveResult SaveAccounts(const CAccountList& list);

// The label ("POP3 password", "account name", ...) of the first stored member that would not
// read back from the file as it is, or empty when all would. A value is lost in part when it
// ends in white space or holds a line feed; for the passwords this applies to the scrambled
// bytes, so a password ending in a byte that scrambles to white space is cut too.
std::string_view FirstFieldNotStoredIntact(const EmailAccountInfo& record);

}  // namespace sieveclaw
