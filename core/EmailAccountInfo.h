#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/ConnectionSecurity.h"
#include "core/GuardedList.h"
#include "core/MessageEntry.h"

namespace sieveclaw {

using CMessageEntryList = GuardedList<MessageEntry>;

// One guarded POP3 mailbox with the SMTP settings used on its behalf and its sounds. The fifteen
// members up to m_OnHold are the account's block in the accounts file, the members after them up
// to m_OtherStoredValues its later values; the rest live in memory only.
//
// The record is a plain value: the account list hands out copies (the worker checks a copy), so
// the two message lists are held by shared pointer and every copy of a record works on the same
// lists as the account it was taken from. They are never null, except in a record moved from.
struct EmailAccountInfo {
    // Sound files default to the data folder of this moment.
    EmailAccountInfo();
    // Sound files default to programFolder, which ends in '/'.
    explicit EmailAccountInfo(const std::string& programFolder);

    std::string m_AccountName;
    std::string m_POP3Server;
    std::string m_POP3UserId;
    std::string m_POP3Password;      // plain here, scrambled in the file
    std::string m_POP3Port = "110";  // a text; only a connection turns it into a number
    std::string m_SMTPServer;
    std::int32_t m_SMTPNeedsLogon = 0;  // 1: authenticate with m_SMTPUserId and m_SMTPPassword
    std::string m_SMTPUserId;
    std::string m_SMTPPassword;  // plain here, scrambled in the file
    std::string m_SMTPPort = "25";
    std::int32_t m_PlaySounds = 1;
    std::string m_SpamSoundFile;
    std::string m_NewMailSoundFile;
    std::string m_EmailAddress;
    std::int32_t m_OnHold = 0;  // non-zero: every mail check skips the account

    // Stored in the section after all the accounts' blocks (AccountsFile.h), which readers of
    // the fifteen-line layout never reach. Their defaults are what such a reader did.
    EConnectionSecurity m_POP3Security = EConnectionSecurity::kWhenOffered;
    EConnectionSecurity m_SMTPSecurity = EConnectionSecurity::kWhenOffered;
    // The SHA-256 fingerprint of the one certificate the user chose to trust for the server, in
    // place of the usual verification; that certificate is then accepted and no other. Empty:
    // the usual verification.
    std::string m_POP3Certificate;
    std::string m_SMTPCertificate;
    // Non-zero: messages are downloaded with TOP instead of RETR, so the server keeps them unread
    // for the person's own mail program (servers that hand a message out once mark it on RETR).
    std::int32_t m_LeaveMailUnread = 0;
    // Values of that section this version does not know (key, value), written back unchanged so
    // that a save by this version keeps what a newer one stored.
    std::vector<std::pair<std::string, std::string>> m_OtherStoredValues;

    // The mail program account discovery found the account in; never stored.
    std::string m_MailProgram;

    // Good messages of this account waiting in the Inbox and still on the server.
    std::shared_ptr<CMessageEntryList> m_InboxEntries;
    // Messages the user deleted from the Inbox, to be deleted on the server at the next check.
    std::shared_ptr<CMessageEntryList> m_PendingDeletions;
};

// True when the stored members are equal byte for byte (the in-memory ones do not count).
bool HasSameStoredFields(const EmailAccountInfo& a, const EmailAccountInfo& b);

// Whether an account on this POP3 server leaves mail unread unless told otherwise: on for the
// servers known to hand a message to only one program once it was downloaded with RETR (names
// ending in gmail.com or googlemail.com). Applied where an account is created, edited or
// discovered; a stored account keeps what it has.
bool LeavesMailUnreadByDefault(std::string_view pop3Server);

}  // namespace sieveclaw
