// The sources that start in the registry: Outlook Express, Outlook, Eudora, IncrediMail.

#include <cerrno>
#include <cstring>
#include <utility>

#include "core/ActivityLog.h"
#include "core/IniFile.h"
#include "setup/DiscoverySources.h"

namespace sieveclaw {

namespace {

constexpr std::string_view kOutlookExpressKey = "Software\\Microsoft\\Internet Account Manager\\Accounts";

void TraceAccount(const EmailAccountInfo& record) {
    WriteActivityLogF(
        "CollectEmailAccountInfo - "
        "Account:%s;POP3Server:%s;POP3Port:%s;POP3UserId:%s;SMTPServer:%s;SMTPPort:%s;SMTPUserId:%s;Email Program:%s",
        record.m_AccountName.c_str(), record.m_POP3Server.c_str(), record.m_POP3Port.c_str(),
        record.m_POP3UserId.c_str(), record.m_SMTPServer.c_str(), record.m_SMTPPort.c_str(),
        record.m_SMTPUserId.c_str(), record.m_MailProgram.c_str());
}

}  // namespace

void CollectOutlookExpressAccounts(const CRegistryView& registry, CAccountList& accounts) {
    WriteActivityLog2("CollectEmailAccountInfo - attempting to open ", kOutlookExpressKey);
    const CRegistryKey key = registry.Open(ERegistryRoot::kCurrentUser, kOutlookExpressKey);
    if (!key.IsOpen()) {
        return;
    }
    std::string name;
    for (std::size_t index = 0; key.EnumSubKey(index, name); ++index) {
        if (name.empty() || name.front() != '0') {
            continue;
        }
        const CRegistryKey account = key.Open(name);
        if (!account.IsOpen()) {
            break;
        }
        WriteActivityLog("CollectEmailAccountInfo - opened.  Now checking for Email or Newsgroup account ");
        const std::string server = account.ReadText("POP3 Server");
        if (server.empty()) {
            continue;  // a news or directory account
        }
        WriteActivityLog("CollectEmailAccountInfo - Email account found");
        EmailAccountInfo record;
        record.m_POP3Server = server;
        record.m_POP3Port = account.ReadNumberText("POP3 Port");
        record.m_AccountName = account.ReadText("Account Name");
        record.m_POP3UserId = account.ReadText("POP3 User Name");
        record.m_SMTPPort = account.ReadNumberText("SMTP Port");
        record.m_SMTPServer = account.ReadText("SMTP Server");
        record.m_EmailAddress = account.ReadText("SMTP Email Address");
        record.m_MailProgram = "Outlook Express";
        // "This server requires a secure connection (SSL)": TLS from the first byte. Without it
        // the program spoke plain text, which upgrading when offered serves at least as well.
        if (account.ReadNumberText("POP3 Secure Connection") == "1") {
            record.m_POP3Security = EConnectionSecurity::kSslTls;
        }
        if (account.ReadNumberText("SMTP Secure Connection") == "1") {
            record.m_SMTPSecurity = EConnectionSecurity::kSslTls;
        }
        if (record.m_SMTPUserId.empty()) {
            record.m_SMTPUserId = record.m_POP3UserId;
        }
        if (record.m_SMTPPassword.empty()) {
            record.m_SMTPPassword = record.m_POP3Password;
        }
        // Outlook Express stores 0 for "the usual port".
        if (record.m_SMTPPort == "0") {
            record.m_SMTPPort = "25";
        }
        if (record.m_POP3Port == "0") {
            record.m_POP3Port = "110";
        }
        const ListPos pos = AddAccountUnique(accounts, std::move(record));
        if (const std::optional<EmailAccountInfo> added = accounts.GetAt(pos)) {
            TraceAccount(*added);
        }
    }
    WriteActivityLog("CollectEmailAccountInfo - closing key");
}

void CollectOutlookAccount(const CRegistryView& registry, bool ntFamily, CAccountList& accounts) {
    const std::string path = std::string("Software\\Microsoft\\") + (ntFamily ? "Windows NT" : "Windows") +
                             "\\CurrentVersion\\Windows Messaging Subsystem\\Profiles\\Outlook\\"
                             "13dbb0c8aa05101a9bb000aa002fc45a";
    const CRegistryKey key = registry.Open(ERegistryRoot::kCurrentUser, path);
    if (!key.IsOpen()) {
        // The system's text for a key that is not there, the only way a read-only open fails here.
        WriteActivityLog2("CollectEmailAccountInfo - Failed to find any Outlook settings - ", std::strerror(ENOENT));
        return;
    }
    WriteActivityLog("CollectEmailAccountInfo - Email account found");
    EmailAccountInfo record;
    record.m_POP3UserId = key.ReadText("001e6607");
    record.m_POP3Server = key.ReadText("001e6608");
    record.m_AccountName = key.ReadText("001e3001");
    record.m_POP3Port = "110";
    record.m_SMTPPort = "25";
    record.m_SMTPServer = record.m_POP3Server;
    record.m_SMTPUserId = record.m_POP3UserId;
    record.m_MailProgram = "Outlook";
    AddAccountUnique(accounts, std::move(record));
}

std::optional<std::string> EudoraIniPath(std::string_view commandLine) {
    const std::size_t ini = commandLine.find(".ini");
    if (ini == 0) {
        return std::nullopt;
    }
    std::string_view path = commandLine;
    if (ini != std::string_view::npos) {
        const std::size_t colon = commandLine.rfind(':', ini - 1);
        if (colon != std::string_view::npos) {
            // A ':' at the very start has no drive letter before it.
            path = commandLine.substr(colon == 0 ? 0 : colon - 1);
        }
    }
    return std::string(path);
}

void CollectEudoraAccount(const CRegistryView& registry, const CWindowsDrives& drives, CAccountList& accounts) {
    const CRegistryKey key = registry.Open(ERegistryRoot::kCurrentUser, "Software\\Qualcomm\\Eudora\\CommandLine");
    if (!key.IsOpen()) {
        return;
    }
    const std::optional<std::string> iniPath = EudoraIniPath(key.ReadText("current"));
    if (!iniPath) {
        return;
    }
    // A path given in quotes on the command line keeps its closing quote here.
    std::string_view windowsPath = *iniPath;
    while (!windowsPath.empty() && (windowsPath.back() == '"' || windowsPath.back() == ' ')) {
        windowsPath.remove_suffix(1);
    }
    CIniFile ini;
    if (const std::string path = drives.Resolve(windowsPath); !path.empty()) {
        ini.Load(path);
    }
    EmailAccountInfo record;
    record.m_POP3Server = ini.GetString("Settings", "PopServer");
    record.m_POP3UserId = ini.GetString("Settings", "LoginName");
    record.m_SMTPServer = ini.GetString("Settings", "SMTPServer");
    record.m_AccountName = ini.GetString("Settings", "RealName");
    record.m_EmailAddress = ini.GetString("Settings", "EmailAddress");
    record.m_POP3Port = "110";
    record.m_SMTPPort = "25";
    record.m_SMTPUserId = record.m_POP3UserId;
    record.m_MailProgram = "Eudora";
    AddAccountUnique(accounts, std::move(record));
}

void CollectIncrediMailAccounts(const CRegistryView& registry, CAccountList& accounts) {
    const CRegistryKey identities = registry.Open(ERegistryRoot::kLocalMachine, "Software\\Incredimail\\Identities");
    if (!identities.IsOpen()) {
        return;
    }
    std::string identity;
    for (std::size_t i = 0; identities.EnumSubKey(i, identity); ++i) {
        const CRegistryKey accountsKey = identities.Open(identity + "\\Accounts");
        std::string name;
        for (std::size_t j = 0; accountsKey.EnumSubKey(j, name); ++j) {
            const CRegistryKey account = accountsKey.Open(name);
            if (!account.IsOpen()) {
                continue;
            }
            EmailAccountInfo record;
            record.m_POP3Server = account.ReadText("PopServer");
            record.m_POP3UserId = account.ReadText("PopAccount");
            // Taken as read: a missing port gives "0".
            record.m_POP3Port = account.ReadNumberText("PopPort");
            record.m_SMTPServer = account.ReadText("SmtpServer");
            record.m_SMTPPort = account.ReadNumberText("SmtpPort");
            record.m_SMTPUserId = account.ReadText("SmtpAccount");
            if (record.m_SMTPUserId.empty()) {
                record.m_SMTPUserId = record.m_POP3UserId;
            }
            record.m_AccountName = account.ReadText("DisplayName");
            record.m_EmailAddress = account.ReadText("EmailAddress");
            record.m_MailProgram = "IncrediMail";
            AddAccountUnique(accounts, std::move(record));
        }
    }
}

}  // namespace sieveclaw
