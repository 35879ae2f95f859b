#pragma once

#include <functional>
#include <string>

#include "core/AccountList.h"
#include "core/EmailAccountInfo.h"
#include "core/GuardedList.h"
#include "core/MessageEntry.h"
#include "core/UserPrompt.h"
#include "net/TransportOptions.h"

// Sending a stored message file through an account's outgoing server: the transport of the two
// actions that send mail, salvage (the spam goes to the account's own address and arrives again
// as ordinary mail) and bounce (the sender gets an "Undeliverable" notice). Runs on the calling
// thread and blocks it for the whole exchange; the transport's wait hook keeps a window thread's
// events flowing.

namespace sieveclaw {

// The two texts of the status box: its headline, then the stage it has reached.
enum class ESendBoxLine { kHeadline, kStatus };
using SendStatusFn = std::function<void(ESendBoxLine line, const std::string& text)>;

inline constexpr const char* kSalvageHeadline = "This email is being salvaged.  One moment please...";
inline constexpr const char* kBounceHeadline = "This email is being sent back.  One moment please...";

// Loads the message file, sets its To, From and Subject, logs on to the account's SMTP server
// (with its user id and password when the account says the server needs a logon, protected as
// the account's SMTP connection security asks) and sends the
// processed body and attachments; an HTML body goes with the two HTML header lines. status gets
// the headline (kSalvageHeadline when headline is empty) and every stage; the failure boxes go to
// prompt. True exactly when the server took the message. An unreadable file is sent with an
// empty body. The whole exchange ends within twice the Timeout plus SendingAllowance of the
// message, whatever the server does.
bool SendMessageFile(const std::string& filePath, const EmailAccountInfo& account, const std::string& to,
                     const std::string& from, const std::string& subject, const std::string& headline,
                     const SendStatusFn& status, CUserPrompt& prompt, const CTransportOptions& transport);

enum class ESendOutcome {
    kSent,
    kNotSent,    // the server could not be reached or refused the message
    kNoAccount,  // the file's account is not configured: nothing was tried
};

// The Trash Can's salvage of one spam file: the message goes to the address of the account named
// in the file, with the stored From and Subject. Once sent, the stored To, From, Subject and Date
// join the salvaged list (so the filter lets the message through when it arrives again) and the
// file is deleted; otherwise the file stays.
ESendOutcome SalvageSpamFile(const std::string& filePath, const CAccountList& accounts,
                             GuardedList<MessageEntry>& salvaged, const SendStatusFn& status, CUserPrompt& prompt,
                             const CTransportOptions& transport);

// The viewer's salvage of the spam file it shows: the message goes to the address of the account
// named accountName, with the stored From and Subject. Once sent, the account's address and the
// stored From and Subject join the salvaged list (the message arrives again with that To) and the
// file is deleted; otherwise the file stays.
ESendOutcome SalvageViewedFile(const std::string& filePath, const std::string& accountName,
                               const MessageEntry& stored, const CAccountList& accounts,
                               GuardedList<MessageEntry>& salvaged, const SendStatusFn& status, CUserPrompt& prompt,
                               const CTransportOptions& transport);

// The text of the "Undeliverable" notice for a stored message.
std::string BounceNoticeText(const MessageEntry& stored);

// The Trash Can's bounce of one spam file: the notice, written to a file of its own in the
// temporary folder and sent from there to the stored sender, from the stored recipient, with the
// subject "Undeliverable: " and the stored Subject. Sent or not, the notice's file and the spam
// file are deleted afterwards; the spam file stays only when its account is not configured.
ESendOutcome BounceSpamFile(const std::string& filePath, const CAccountList& accounts, const SendStatusFn& status,
                            CUserPrompt& prompt, const CTransportOptions& transport);

}  // namespace sieveclaw
