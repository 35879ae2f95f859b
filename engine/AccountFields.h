#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/AccountList.h"
#include "core/EmailAccountInfo.h"

// The checks an account's fields pass before the account is stored: the account settings
// dialog's, which sieveclaw-cli's accounts command shares.

namespace sieveclaw {

// The fields a check can send the user back to.
enum class EAccountField {
    kName,
    kPOP3Server,
    kPOP3Port,
    kPOP3UserId,
    kPOP3Password,
    kEmailAddress,
    kSMTPUserId,
    kSMTPPassword,
    kSMTPServer,
    kSMTPPort,
    kSpamSoundFile,
    kNewMailSoundFile,
};

struct AccountFieldProblem {
    EAccountField m_Field;
    std::string m_Message;
};

// Which checks apply. The dialog asks for all of them, the outgoing ones only when the user
// asked for a different outgoing server; the command line, which has no such box, asks for the
// outgoing logon only when the server needs one, and leaves the address to be asked at start-up.
struct AccountFieldRules {
    bool m_EmailAddress = true;
    bool m_OutgoingServer = true;
    bool m_OutgoingLogon = true;
};

// White space removed at both ends of the name, both servers, ports, user ids and passwords and
// the email address, as the dialog reads its fields.
void TrimAccountFields(EmailAccountInfo& record);

// Without a different outgoing server the outgoing one is the incoming one: the SMTP server, user
// id and password become the POP3 ones and the SMTP port "25".
void UseIncomingServerForOutgoing(EmailAccountInfo& record);

// The first check the record fails, in the dialog's order: a blank name, POP3 server, port, user
// id or password; an email address IsValidFriendAddress refuses; a blank SMTP user id, password,
// server or port.
std::optional<AccountFieldProblem> FirstAccountFieldProblem(const EmailAccountInfo& record,
                                                            const AccountFieldRules& rules = {});

// A field the accounts file could not give back as typed (a password whose last character it
// would drop, for one), which would otherwise be lost without a word.
std::optional<AccountFieldProblem> UnstorableFieldProblem(const EmailAccountInfo& record);

// A new account may not take the name of one in the list (exact comparison, so a name differing in
// letter case is another name); an edited one may take any name.
std::optional<AccountFieldProblem> NewAccountNameProblem(const CAccountList& accounts, std::string_view name);

}  // namespace sieveclaw
