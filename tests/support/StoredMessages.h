#pragma once

#include <optional>
#include <string>

#include "core/AccountList.h"
#include "mail/CEmailMsg.h"
#include "mail/MessageFiles.h"

// Messages as the mail check leaves them in the data folder, for the tests of the list windows
// and their commands. The Inbox and spam folders must exist.

namespace sieveclaw::test {

// A message of its header lines (CR LF each) and a body.
inline std::string StoredMessageText(const std::string& from, const std::string& subject, const std::string& date,
                                     const std::string& body, const std::string& contentType = "text/plain") {
    std::string text = "From: " + from + "\r\nTo: me@example.org\r\nSubject: " + subject + "\r\n";
    if (!date.empty()) {
        text += "Date: " + date + "\r\n";
    }
    return text + "Content-Type: " + contentType + "\r\n\r\n" + body + "\r\n";
}

// Stores message in the Inbox folder for account and lists it in the account's Inbox entries as
// the check lists it (the fields as the header gives them). The file's path, or nothing.
inline std::optional<std::string> ReceiveMessage(CAccountList& accounts, const std::string& account,
                                                 const std::string& message) {
    CEmailMsg email;
    email.m_RawText = message;
    std::optional<std::string> path = SaveEmailToFolder(InboxFolder(), email, account, "");
    const std::optional<EmailAccountInfo> info = accounts.GetAt(FindAccount(accounts, account));
    if (!path || !info) {
        return std::nullopt;
    }
    MessageEntry entry;
    std::string reason;
    ReadReasonLine(*path, entry, reason);
    entry.m_FilePath = *path;
    info->m_InboxEntries->Append(entry);
    return path;
}

// Stores message in the spam folder for account under reason (the text after "REASON:").
inline std::string StoreSpamMessage(const std::string& account, const std::string& message, const std::string& reason) {
    CEmailMsg email;
    email.m_RawText = message;
    return SaveEmailToFolder(SpamFolder(), email, account, reason).value_or("");
}

}  // namespace sieveclaw::test
