#include "engine/AccountFields.h"

#include <array>

#include "core/AccountsFile.h"
#include "core/TextFile.h"
#include "filter/AddressBookImport.h"

namespace sieveclaw {

namespace {

struct BlankCheck {
    EAccountField m_Field;
    std::string EmailAccountInfo::*m_Member;
    std::string_view m_Message;
};

constexpr std::array<BlankCheck, 5> kIncomingChecks{{
    {EAccountField::kName, &EmailAccountInfo::m_AccountName, "The account name is blank."},
    {EAccountField::kPOP3Server, &EmailAccountInfo::m_POP3Server, "The incoming mail server (POP3) is blank."},
    {EAccountField::kPOP3Port, &EmailAccountInfo::m_POP3Port, "The incoming (POP3) Port is blank."},
    {EAccountField::kPOP3UserId, &EmailAccountInfo::m_POP3UserId,
     "The User Id for the incoming (POP3) account is blank."},
    {EAccountField::kPOP3Password, &EmailAccountInfo::m_POP3Password,
     "The Password for the incoming (POP3) account is blank."},
}};

constexpr std::array<BlankCheck, 2> kOutgoingLogonChecks{{
    {EAccountField::kSMTPUserId, &EmailAccountInfo::m_SMTPUserId,
     "The User Id for the outgoing (SMTP) account is blank."},
    {EAccountField::kSMTPPassword, &EmailAccountInfo::m_SMTPPassword,
     "The Password for the outgoing (SMTP) account is blank."},
}};

constexpr std::array<BlankCheck, 2> kOutgoingServerChecks{{
    {EAccountField::kSMTPServer, &EmailAccountInfo::m_SMTPServer, "The outgoing mail server (SMTP) is blank."},
    {EAccountField::kSMTPPort, &EmailAccountInfo::m_SMTPPort, "The outgoing (SMTP) Port is blank."},
}};

template <std::size_t N>
std::optional<AccountFieldProblem> FirstBlank(const EmailAccountInfo& record, const std::array<BlankCheck, N>& checks) {
    for (const BlankCheck& check : checks) {
        if ((record.*check.m_Member).empty()) {
            return AccountFieldProblem{check.m_Field, std::string(check.m_Message)};
        }
    }
    return std::nullopt;
}

// FirstFieldNotStoredIntact names the member by these labels.
struct StoredLabel {
    std::string_view m_Label;
    EAccountField m_Field;
};

constexpr std::array<StoredLabel, 12> kStoredLabels{{
    {"account name", EAccountField::kName},
    {"POP3 user id", EAccountField::kPOP3UserId},
    {"POP3 password", EAccountField::kPOP3Password},
    {"POP3 server", EAccountField::kPOP3Server},
    {"POP3 port", EAccountField::kPOP3Port},
    {"SMTP server", EAccountField::kSMTPServer},
    {"SMTP port", EAccountField::kSMTPPort},
    {"SMTP user id", EAccountField::kSMTPUserId},
    {"SMTP password", EAccountField::kSMTPPassword},
    {"spam sound file", EAccountField::kSpamSoundFile},
    {"new mail sound file", EAccountField::kNewMailSoundFile},
    {"email address", EAccountField::kEmailAddress},
}};

void Trim(std::string& text) {
    text = std::string(StripWhiteSpace(text));
}

}  // namespace

void TrimAccountFields(EmailAccountInfo& record) {
    for (std::string* text : {&record.m_AccountName, &record.m_POP3Server, &record.m_POP3Port, &record.m_POP3UserId,
                              &record.m_POP3Password, &record.m_SMTPServer, &record.m_SMTPPort, &record.m_SMTPUserId,
                              &record.m_SMTPPassword, &record.m_EmailAddress}) {
        Trim(*text);
    }
}

void UseIncomingServerForOutgoing(EmailAccountInfo& record) {
    record.m_SMTPServer = record.m_POP3Server;
    record.m_SMTPUserId = record.m_POP3UserId;
    record.m_SMTPPassword = record.m_POP3Password;
    record.m_SMTPPort = "25";
}

std::optional<AccountFieldProblem> FirstAccountFieldProblem(const EmailAccountInfo& record,
                                                            const AccountFieldRules& rules) {
    if (auto problem = FirstBlank(record, kIncomingChecks)) {
        return problem;
    }
    if (rules.m_EmailAddress && !IsValidFriendAddress(record.m_EmailAddress)) {
        return AccountFieldProblem{EAccountField::kEmailAddress, "The Email address appears to be invalid."};
    }
    if (rules.m_OutgoingLogon) {
        if (auto problem = FirstBlank(record, kOutgoingLogonChecks)) {
            return problem;
        }
    }
    if (rules.m_OutgoingServer) {
        return FirstBlank(record, kOutgoingServerChecks);
    }
    return std::nullopt;
}

std::optional<AccountFieldProblem> UnstorableFieldProblem(const EmailAccountInfo& record) {
    const std::string_view label = FirstFieldNotStoredIntact(record);
    if (label.empty()) {
        return std::nullopt;
    }
    EAccountField field = EAccountField::kName;
    for (const StoredLabel& stored : kStoredLabels) {
        if (stored.m_Label == label) {
            field = stored.m_Field;
        }
    }
    return AccountFieldProblem{field, "Sieveclaw cannot store the " + std::string(label) +
                                          " as it is typed: the accounts file would not give it back whole.  "
                                          "Please type a different one."};
}

std::optional<AccountFieldProblem> NewAccountNameProblem(const CAccountList& accounts, std::string_view name) {
    if (FindAccount(accounts, name) == kNoPos) {
        return std::nullopt;
    }
    return AccountFieldProblem{EAccountField::kName, DuplicateAccountNameMessage(name)};
}

}  // namespace sieveclaw
