#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/CliCommands.h"
#include "app/CliStatusPrinter.h"
#include "app/PasswordPrompt.h"
#include "core/AccountList.h"
#include "core/AccountsFile.h"
#include "core/ConnectionSecurity.h"
#include "core/DataFolder.h"
#include "core/LeadingNumber.h"
#include "core/ProfileStore.h"
#include "core/Settings.h"
#include "core/TextFile.h"
#include "engine/AccountFields.h"

namespace sieveclaw {

namespace {

constexpr const char* kUsage =
    "usage: sieveclaw-cli accounts list\n"
    "       sieveclaw-cli accounts add --name NAME --pop3-server HOST --pop3-user USER [OPTION...]\n"
    "       sieveclaw-cli accounts edit NAME [OPTION...] [--new-password] [--new-smtp-password]\n"
    "       sieveclaw-cli accounts remove|hold|enable NAME\n"
    "options: --name NAME  --pop3-server HOST  --pop3-port N  --pop3-user USER  --email ADDRESS\n"
    "         --smtp-server HOST  --smtp-port N  --smtp-logon yes|no  --smtp-user USER\n"
    "         --play-sounds yes|no  --spam-sound FILE  --mail-sound FILE\n"
    "         --security ssl-tls|starttls|when-offered  --smtp-security ssl-tls|starttls|when-offered\n"
    "         --leave-unread yes|no\n"
    "add: the POP3 password is taken from SIEVECLAW_PASSWORD, otherwise asked for. The SMTP\n"
    "  server defaults to the POP3 server, the SMTP port to 25 and the SMTP user to the POP3 user;\n"
    "  the SMTP password is taken from SIEVECLAW_SMTP_PASSWORD, else is the POP3 password when the\n"
    "  two users are the same, else is asked for. A server's connection security defaults to\n"
    "  ssl-tls on a port of the implicit-TLS list (ImplicitTlsPorts, 995 and 465) and to starttls\n"
    "  elsewhere. Mail is left unread on the server (downloaded with TOP, not RETR) by default on\n"
    "  servers whose name ends in gmail.com or googlemail.com.\n"
    "edit: changes only the fields given; a new POP3 server without --leave-unread takes that\n"
    "  server's default. The passwords are kept unless --new-password (POP3) or\n"
    "  --new-smtp-password (SMTP) is given; these take SIEVECLAW_PASSWORD or\n"
    "  SIEVECLAW_SMTP_PASSWORD, otherwise ask.\n"
    "remove, hold, enable: act on the first account of that name (names are case-sensitive).\n"
    "Names, servers, ports, users, passwords and the address are trimmed at both ends.\n";

int UsageError(const std::string& error) {
    std::cerr << "sieveclaw-cli accounts: " << error << "\n" << kUsage;
    return 2;
}

// A value the command cannot take: the message is enough, the usage would bury it.
int InvalidValue(const std::string& error) {
    std::cerr << "sieveclaw-cli accounts: " << error << "\n";
    return 2;
}

int Failure(const std::string& error) {
    std::cerr << "sieveclaw-cli accounts: " << error << "\n";
    return 1;
}

std::string TrimBoth(std::string_view text) {
    return std::string(StripWhiteSpace(text));
}

struct AccountOptions {
    std::optional<std::string> m_Name;
    std::optional<std::string> m_POP3Server;
    std::optional<std::string> m_POP3Port;
    std::optional<std::string> m_POP3User;
    std::optional<std::string> m_Email;
    std::optional<std::string> m_SMTPServer;
    std::optional<std::string> m_SMTPPort;
    std::optional<std::string> m_SMTPUser;
    std::optional<std::string> m_SpamSound;
    std::optional<std::string> m_MailSound;
    std::optional<std::int32_t> m_SMTPLogon;
    std::optional<std::int32_t> m_PlaySounds;
    std::optional<std::int32_t> m_LeaveUnread;
    std::optional<EConnectionSecurity> m_POP3Security;
    std::optional<EConnectionSecurity> m_SMTPSecurity;
    bool m_NewPassword = false;
    bool m_NewSMTPPassword = false;
};

struct TextOption {
    std::string_view m_Name;
    std::optional<std::string> AccountOptions::*m_Value;
    bool m_Trim;
};

constexpr TextOption kTextOptions[] = {
    {"--name", &AccountOptions::m_Name, true},
    {"--pop3-server", &AccountOptions::m_POP3Server, true},
    {"--pop3-port", &AccountOptions::m_POP3Port, true},
    {"--pop3-user", &AccountOptions::m_POP3User, true},
    {"--email", &AccountOptions::m_Email, true},
    {"--smtp-server", &AccountOptions::m_SMTPServer, true},
    {"--smtp-port", &AccountOptions::m_SMTPPort, true},
    {"--smtp-user", &AccountOptions::m_SMTPUser, true},
    {"--spam-sound", &AccountOptions::m_SpamSound, false},
    {"--mail-sound", &AccountOptions::m_MailSound, false},
};

bool ParseYesNo(const std::string& text, std::optional<std::int32_t>& value) {
    if (text != "yes" && text != "no") {
        return false;
    }
    value = text == "yes" ? 1 : 0;
    return true;
}

bool IsPort(const std::string& text) {
    if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    const int value = std::atoi(text.c_str());
    return value >= 1 && value <= 65535;
}

bool ParseAccountOptions(const std::vector<std::string>& arguments, std::size_t first, bool forEdit,
                         AccountOptions& options, std::string& error) {
    for (std::size_t i = first; i < arguments.size(); ++i) {
        const std::string& name = arguments[i];
        if (forEdit && name == "--new-password") {
            options.m_NewPassword = true;
            continue;
        }
        if (forEdit && name == "--new-smtp-password") {
            options.m_NewSMTPPassword = true;
            continue;
        }
        if (i + 1 >= arguments.size()) {
            error = name.starts_with("--") ? "option '" + name + "' needs a value" : "unexpected '" + name + "'";
            return false;
        }
        const std::string& value = arguments[++i];
        bool known = false;
        for (const TextOption& option : kTextOptions) {
            if (name == option.m_Name) {
                options.*option.m_Value = option.m_Trim ? TrimBoth(value) : value;
                known = true;
            }
        }
        if (known) {
            continue;
        }
        if (name == "--smtp-logon" || name == "--play-sounds" || name == "--leave-unread") {
            std::optional<std::int32_t>& answer = name == "--smtp-logon"    ? options.m_SMTPLogon
                                                  : name == "--play-sounds" ? options.m_PlaySounds
                                                                            : options.m_LeaveUnread;
            if (!ParseYesNo(value, answer)) {
                error = "option '" + name + "' takes yes or no, not '" + value + "'";
                return false;
            }
            continue;
        }
        if (name == "--security" || name == "--smtp-security") {
            const std::optional<EConnectionSecurity> security = ParseSecurityName(value);
            if (!security) {
                error = "option '" + name + "' takes ssl-tls, starttls or when-offered, not '" + value + "'";
                return false;
            }
            (name == "--security" ? options.m_POP3Security : options.m_SMTPSecurity) = security;
            continue;
        }
        error = "unknown option '" + name + "'";
        return false;
    }
    for (const auto* port : {&options.m_POP3Port, &options.m_SMTPPort}) {
        if (*port && !IsPort(**port)) {
            error = "a port must be a number from 1 to 65535, not '" + **port + "'";
            return false;
        }
    }
    return true;
}

void ApplyOptions(const AccountOptions& options, EmailAccountInfo& record) {
    const bool newServer = options.m_POP3Server && *options.m_POP3Server != record.m_POP3Server;
    const std::pair<const std::optional<std::string>*, std::string*> texts[] = {
        {&options.m_Name, &record.m_AccountName},        {&options.m_POP3Server, &record.m_POP3Server},
        {&options.m_POP3Port, &record.m_POP3Port},       {&options.m_POP3User, &record.m_POP3UserId},
        {&options.m_Email, &record.m_EmailAddress},      {&options.m_SMTPServer, &record.m_SMTPServer},
        {&options.m_SMTPPort, &record.m_SMTPPort},       {&options.m_SMTPUser, &record.m_SMTPUserId},
        {&options.m_SpamSound, &record.m_SpamSoundFile}, {&options.m_MailSound, &record.m_NewMailSoundFile},
    };
    for (const auto& [option, member] : texts) {
        if (*option) {
            *member = **option;
        }
    }
    if (options.m_SMTPLogon) {
        record.m_SMTPNeedsLogon = *options.m_SMTPLogon;
    }
    if (options.m_PlaySounds) {
        record.m_PlaySounds = *options.m_PlaySounds;
    }
    if (options.m_LeaveUnread) {
        record.m_LeaveMailUnread = *options.m_LeaveUnread;
    } else if (newServer) {
        record.m_LeaveMailUnread = LeavesMailUnreadByDefault(record.m_POP3Server) ? 1 : 0;
    }
    if (options.m_POP3Security) {
        record.m_POP3Security = *options.m_POP3Security;
    }
    if (options.m_SMTPSecurity) {
        record.m_SMTPSecurity = *options.m_SMTPSecurity;
    }
}

// What a new account gets where the command does not say: TLS from the first byte on the ports
// that speak it, STARTTLS required elsewhere.
void DefaultSecurities(const AccountOptions& options, EmailAccountInfo& record) {
    CProfileStore store(GetProfileStorePath());
    CSettings settings;
    if (store.Load()) {
        settings.LoadSettings(store);
    }
    const std::vector<int> implicitPorts = settings.GetImplicitTlsPorts();
    if (!options.m_POP3Security) {
        record.m_POP3Security = DefaultSecurityForPort(LeadingNumber<int>(record.m_POP3Port), implicitPorts);
    }
    if (!options.m_SMTPSecurity) {
        record.m_SMTPSecurity = DefaultSecurityForPort(LeadingNumber<int>(record.m_SMTPPort), implicitPorts);
    }
}

// The variable when set, otherwise typed without echo; trimmed as the dialog trims it.
std::optional<std::string> ObtainPassword(const char* variable, const std::string& prompt) {
    if (const char* fromEnvironment = std::getenv(variable); fromEnvironment != nullptr) {
        return TrimBoth(fromEnvironment);
    }
    if (auto typed = ReadPasswordWithoutEcho(prompt)) {
        return TrimBoth(*typed);
    }
    return std::nullopt;
}

// The account settings dialog's checks, in its order, for the fields the command sets.
std::string BlankFieldError(const EmailAccountInfo& record) {
    const auto problem = FirstAccountFieldProblem(record, {false, true, record.m_SMTPNeedsLogon != 0});
    return problem ? problem->m_Message : std::string();
}

// Refuses what the accounts file could not give back as typed, before anything is saved.
std::string UnstorableFieldError(const EmailAccountInfo& record) {
    const std::string_view field = FirstFieldNotStoredIntact(record);
    if (field.empty()) {
        return {};
    }
    return "the " + std::string(field) +
           " cannot be stored in the accounts file as it is (it holds a line end, or ends in a character "
           "the file would drop); choose another";
}

// Loads the file; false (with the reason printed) when it exists but is damaged, since saving over
// it would lose the accounts it holds.
bool LoadForCommand(CAccountList& list) {
    std::optional<DataFileDamage> damage;
    if (LoadAccounts(list, &damage) || !damage) {
        return true;
    }
    Failure(RefusedSaveText(*damage));
    return false;
}

int SaveForCommand(const CAccountList& list, const std::string& done) {
    if (const SaveResult saved = SaveAccounts(list); !saved) {
        return Failure(saved.m_Error);
    }
    std::cout << done << "\n";
    return 0;
}

int ListAccounts(const CAccountList& list) {
    for (const EmailAccountInfo& record : list.Snapshot()) {
        std::cout << PrintableText(record.m_AccountName) << '\t' << PrintableText(record.m_POP3Server) << ':'
                  << PrintableText(record.m_POP3Port) << '\t' << PrintableText(record.m_POP3UserId) << '\t'
                  << PrintableText(record.m_EmailAddress) << "\tPOP3 " << SecurityLabel(record.m_POP3Security)
                  << "\tSMTP " << SecurityLabel(record.m_SMTPSecurity);
        if (record.m_LeaveMailUnread != 0) {
            std::cout << "\tleaves mail unread";
        }
        if (record.m_OnHold != 0) {
            std::cout << "\ton hold";
        }
        std::cout << '\n';
    }
    std::cout.flush();
    return std::cout ? 0 : 1;
}

int AddAccountCommand(CAccountList& list, const std::vector<std::string>& arguments) {
    AccountOptions options;
    std::string error;
    if (!ParseAccountOptions(arguments, 1, false, options, error)) {
        return UsageError(error);
    }
    if (!options.m_Name || !options.m_POP3Server || !options.m_POP3User) {
        return UsageError("add needs --name, --pop3-server and --pop3-user");
    }
    EmailAccountInfo record;
    ApplyOptions(options, record);
    DefaultSecurities(options, record);
    if (!options.m_SMTPServer) {
        record.m_SMTPServer = record.m_POP3Server;
    }
    if (!options.m_SMTPUser) {
        record.m_SMTPUserId = record.m_POP3UserId;
    }
    // Refuse a taken name before asking for any password.
    if (!record.m_AccountName.empty() && FindAccount(list, record.m_AccountName) != kNoPos) {
        return Failure(DuplicateAccountNameMessage(record.m_AccountName));
    }

    const auto password = ObtainPassword("SIEVECLAW_PASSWORD", "POP3 password for " + record.m_POP3UserId + ": ");
    if (!password) {
        return UsageError("no POP3 password (set SIEVECLAW_PASSWORD or type it)");
    }
    record.m_POP3Password = *password;
    if (std::getenv("SIEVECLAW_SMTP_PASSWORD") == nullptr && record.m_SMTPUserId == record.m_POP3UserId) {
        record.m_SMTPPassword = record.m_POP3Password;
    } else if (const auto smtp =
                   ObtainPassword("SIEVECLAW_SMTP_PASSWORD", "SMTP password for " + record.m_SMTPUserId + ": ")) {
        record.m_SMTPPassword = *smtp;
    } else {
        return UsageError("no SMTP password (set SIEVECLAW_SMTP_PASSWORD or type it)");
    }

    if (error = BlankFieldError(record); error.empty()) {
        error = UnstorableFieldError(record);
    }
    if (!error.empty()) {
        return InvalidValue(error);
    }
    const std::string name = record.m_AccountName;
    AddAccount(list, std::move(record));
    return SaveForCommand(list, "Account '" + PrintableText(name) + "' added.");
}

int EditAccountCommand(CAccountList& list, const std::vector<std::string>& arguments) {
    AccountOptions options;
    std::string error;
    if (!ParseAccountOptions(arguments, 2, true, options, error)) {
        return UsageError(error);
    }
    const std::string& name = arguments[1];
    const ListPos pos = FindAccount(list, name);
    std::optional<EmailAccountInfo> record = list.GetAt(pos);
    if (!record) {
        return Failure("no account named '" + PrintableText(name) + "'");
    }
    ApplyOptions(options, *record);
    // An edited account may take any name, even one already in use.
    if (options.m_NewPassword) {
        const auto password =
            ObtainPassword("SIEVECLAW_PASSWORD", "New POP3 password for " + record->m_POP3UserId + ": ");
        if (!password) {
            return UsageError("no POP3 password (set SIEVECLAW_PASSWORD or type it)");
        }
        record->m_POP3Password = *password;
    }
    if (options.m_NewSMTPPassword) {
        const auto password =
            ObtainPassword("SIEVECLAW_SMTP_PASSWORD", "New SMTP password for " + record->m_SMTPUserId + ": ");
        if (!password) {
            return UsageError("no SMTP password (set SIEVECLAW_SMTP_PASSWORD or type it)");
        }
        record->m_SMTPPassword = *password;
    }
    if (error = BlankFieldError(*record); error.empty()) {
        error = UnstorableFieldError(*record);
    }
    if (!error.empty()) {
        return InvalidValue(error);
    }
    const std::string newName = record->m_AccountName;
    list.ModifyAt(pos, [&record](EmailAccountInfo& stored) { stored = std::move(*record); });
    return SaveForCommand(list, "Account '" + PrintableText(newName) + "' changed.");
}

}  // namespace

const char* AccountsUsage() {
    return kUsage;
}

int RunAccountsCommand(const std::vector<std::string>& arguments) {
    if (arguments.empty()) {
        return UsageError("which accounts command?");
    }
    const std::string& command = arguments[0];
    const bool named = command == "edit" || command == "remove" || command == "hold" || command == "enable";
    if (command != "list" && command != "add" && !named) {
        return UsageError("unknown accounts command '" + command + "'");
    }
    if (named && arguments.size() < 2) {
        return UsageError(command + " needs the account's name");
    }
    const std::size_t fixedArguments = command == "list" ? 1 : 2;
    if (command != "add" && command != "edit" && arguments.size() > fixedArguments) {
        return UsageError("unexpected '" + arguments[fixedArguments] + "'");
    }

    CAccountList list;
    if (!LoadForCommand(list)) {
        return 1;
    }
    if (command == "list") {
        return ListAccounts(list);
    }
    if (command == "add") {
        return AddAccountCommand(list, arguments);
    }
    if (command == "edit") {
        return EditAccountCommand(list, arguments);
    }

    const std::string& name = arguments[1];
    const ListPos pos = FindAccount(list, name);
    if (pos == kNoPos) {
        return Failure("no account named '" + PrintableText(name) + "'");
    }
    if (command == "remove") {
        list.RemoveAt(pos);
        return SaveForCommand(list, "Account '" + PrintableText(name) + "' removed.");
    }
    const std::int32_t hold = command == "hold" ? 1 : 0;
    list.ModifyAt(pos, [hold](EmailAccountInfo& record) { record.m_OnHold = hold; });
    return SaveForCommand(list, "Account '" + PrintableText(name) + (hold != 0 ? "' is on hold." : "' is enabled."));
}

}  // namespace sieveclaw
