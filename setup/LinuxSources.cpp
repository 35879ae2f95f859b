// The mail programs of Linux desktops, read after the Windows ones: Thunderbird, Evolution and
// Claws Mail. Each reads its program's own configuration files and adds POP3 accounts only.

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <utility>

#include "core/IniFile.h"
#include "core/PrefsFile.h"
#include "core/TextFile.h"
#include "setup/DiscoverySources.h"

namespace sieveclaw {

namespace {

namespace fs = std::filesystem;

// The first item of a comma-separated list ("id1,id2").
std::string FirstListItem(std::string_view list) {
    return std::string(StripWhiteSpace(list.substr(0, list.find(','))));
}

std::vector<std::string> ListItems(std::string_view list) {
    std::vector<std::string> items;
    while (!list.empty()) {
        const std::size_t comma = list.find(',');
        const std::string_view item = StripWhiteSpace(list.substr(0, comma));
        if (!item.empty()) {
            items.emplace_back(item);
        }
        list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
    }
    return items;
}

// A port as text: the one configured when there is one, else the usual one for the security.
std::string PortText(std::optional<std::int64_t> configured, bool implicitTls, const char* tlsPort,
                     const char* plainPort) {
    if (configured && *configured > 0 && *configured <= 65535) {
        return std::to_string(*configured);
    }
    return implicitTls ? tlsPort : plainPort;
}

// Thunderbird's socketType and try_ssl: 3 is TLS from the first byte, 2 STARTTLS required; 1
// (STARTTLS when offered) and 0 or none (plain text) are served by upgrading when offered.
constexpr std::int64_t kThunderbirdImplicitTls = 3;
constexpr std::int64_t kThunderbirdStartTls = 2;

EConnectionSecurity ThunderbirdSecurity(std::optional<std::int64_t> socketType) {
    if (socketType == kThunderbirdImplicitTls) {
        return EConnectionSecurity::kSslTls;
    }
    return socketType == kThunderbirdStartTls ? EConnectionSecurity::kStartTls : EConnectionSecurity::kWhenOffered;
}

// Evolution's [Security] Method.
EConnectionSecurity EvolutionSecurity(const std::string& method) {
    if (method == "ssl-on-alternate-port") {
        return EConnectionSecurity::kSslTls;
    }
    return method == "starttls-on-standard-port" ? EConnectionSecurity::kStartTls : EConnectionSecurity::kWhenOffered;
}

// Claws Mail's ssl_pop and ssl_smtp: 1 is TLS from the first byte, 2 STARTTLS.
EConnectionSecurity ClawsSecurity(const std::string& ssl) {
    if (ssl == "1") {
        return EConnectionSecurity::kSslTls;
    }
    return ssl == "2" ? EConnectionSecurity::kStartTls : EConnectionSecurity::kWhenOffered;
}

void CollectThunderbirdProfile(const CPreferences& prefs, CAccountList& accounts) {
    std::vector<std::string> accountIds = ListItems(prefs.Text("mail.accountmanager.accounts").value_or(""));
    if (accountIds.empty()) {
        for (const std::string& key : prefs.Keys()) {
            constexpr std::string_view kPrefix = "mail.account.";
            constexpr std::string_view kSuffix = ".server";
            if (key.size() > kPrefix.size() + kSuffix.size() && key.compare(0, kPrefix.size(), kPrefix) == 0 &&
                key.compare(key.size() - kSuffix.size(), kSuffix.size(), kSuffix) == 0) {
                accountIds.push_back(key.substr(kPrefix.size(), key.size() - kPrefix.size() - kSuffix.size()));
            }
        }
    }
    for (const std::string& accountId : accountIds) {
        const std::string server = prefs.Text("mail.account." + accountId + ".server").value_or("");
        const std::string serverPrefix = "mail.server." + server + ".";
        if (server.empty() || !EqualsNoCase(prefs.Text(serverPrefix + "type").value_or(""), "pop3")) {
            continue;
        }
        EmailAccountInfo record;
        record.m_POP3Server = prefs.Text(serverPrefix + "hostname").value_or("");
        record.m_POP3UserId = prefs.Text(serverPrefix + "userName").value_or("");
        record.m_AccountName = prefs.Text(serverPrefix + "name").value_or(record.m_POP3Server);
        record.m_POP3Security = ThunderbirdSecurity(prefs.Number(serverPrefix + "socketType"));
        record.m_POP3Port = PortText(prefs.Number(serverPrefix + "port"),
                                     record.m_POP3Security == EConnectionSecurity::kSslTls, "995", "110");
        const std::string identity =
            FirstListItem(prefs.Text("mail.account." + accountId + ".identities").value_or(""));
        std::string smtp;
        if (!identity.empty()) {
            record.m_EmailAddress = prefs.Text("mail.identity." + identity + ".useremail").value_or("");
            smtp = prefs.Text("mail.identity." + identity + ".smtpServer").value_or("");
        }
        if (smtp.empty()) {
            smtp = prefs.Text("mail.smtp.defaultserver").value_or("");
        }
        record.m_SMTPUserId = record.m_POP3UserId;
        if (!smtp.empty()) {
            const std::string smtpPrefix = "mail.smtpserver." + smtp + ".";
            record.m_SMTPServer = prefs.Text(smtpPrefix + "hostname").value_or("");
            record.m_SMTPSecurity = ThunderbirdSecurity(prefs.Number(smtpPrefix + "try_ssl"));
            record.m_SMTPPort = PortText(prefs.Number(smtpPrefix + "port"),
                                         record.m_SMTPSecurity == EConnectionSecurity::kSslTls, "465", "25");
            if (const std::string user = prefs.Text(smtpPrefix + "username").value_or(""); !user.empty()) {
                record.m_SMTPUserId = user;
            }
        }
        record.m_MailProgram = "Thunderbird";
        AddAccountUnique(accounts, std::move(record));
    }
}

std::optional<std::int64_t> IniNumber(const CIniFile& ini, std::string_view section, std::string_view key) {
    const std::string text = ini.GetString(section, key);
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    return std::stoll(text);
}

// Evolution's sources by their uid (the file name without ".source").
std::vector<std::pair<std::string, CIniFile>> EvolutionSources(const std::string& folder) {
    std::vector<std::pair<std::string, CIniFile>> sources;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const fs::path& path = it->path();
        if (path.extension() == ".source") {
            CIniFile ini;
            if (ini.Load(path.string())) {
                sources.emplace_back(path.stem().string(), std::move(ini));
            }
        }
    }
    std::sort(sources.begin(), sources.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    return sources;
}

const CIniFile* FindSource(const std::vector<std::pair<std::string, CIniFile>>& sources, const std::string& uid) {
    const auto found = std::find_if(sources.begin(), sources.end(), [&uid](const auto& s) { return s.first == uid; });
    return found != sources.end() ? &found->second : nullptr;
}

}  // namespace

void CollectThunderbirdAccounts(const std::string& homeFolder, CAccountList& accounts) {
    if (homeFolder.empty()) {
        return;
    }
    const std::string root = homeFolder + "/.thunderbird";
    for (const std::string& profile : SubFolderNames(root)) {
        std::string text;
        if (!ReadFileBytes(root + "/" + profile + "/prefs.js", text)) {
            continue;
        }
        CPreferences prefs;
        prefs.Parse(text);
        CollectThunderbirdProfile(prefs, accounts);
    }
}

void CollectEvolutionAccounts(const std::string& configFolder, CAccountList& accounts) {
    if (configFolder.empty()) {
        return;
    }
    const auto sources = EvolutionSources(configFolder + "/evolution/sources");
    for (const auto& [uid, source] : sources) {
        if (!EqualsNoCase(source.GetString("Mail Account", "BackendName"), "pop") ||
            source.GetString("Data Source", "Enabled") == "false") {
            continue;
        }
        EmailAccountInfo record;
        record.m_AccountName = source.GetString("Data Source", "DisplayName");
        record.m_POP3Server = source.GetString("Authentication", "Host");
        record.m_POP3UserId = source.GetString("Authentication", "User");
        record.m_POP3Security = EvolutionSecurity(source.GetString("Security", "Method"));
        record.m_POP3Port = PortText(IniNumber(source, "Authentication", "Port"),
                                     record.m_POP3Security == EConnectionSecurity::kSslTls, "995", "110");
        record.m_SMTPUserId = record.m_POP3UserId;
        if (const CIniFile* identity = FindSource(sources, source.GetString("Mail Account", "IdentityUid"))) {
            record.m_EmailAddress = identity->GetString("Mail Identity", "Address");
            if (const CIniFile* transport =
                    FindSource(sources, identity->GetString("Mail Submission", "TransportUid"))) {
                record.m_SMTPServer = transport->GetString("Authentication", "Host");
                record.m_SMTPSecurity = EvolutionSecurity(transport->GetString("Security", "Method"));
                record.m_SMTPPort = PortText(IniNumber(*transport, "Authentication", "Port"),
                                             record.m_SMTPSecurity == EConnectionSecurity::kSslTls, "465", "25");
                if (const std::string user = transport->GetString("Authentication", "User"); !user.empty()) {
                    record.m_SMTPUserId = user;
                }
            }
        }
        record.m_MailProgram = "Evolution";
        AddAccountUnique(accounts, std::move(record));
    }
}

void CollectClawsMailAccounts(const std::string& homeFolder, CAccountList& accounts) {
    if (homeFolder.empty()) {
        return;
    }
    CIniFile ini;
    if (!ini.Load(homeFolder + "/.claws-mail/accountrc")) {
        return;
    }
    std::vector<std::string> done;  // the first section of a name is the one the reader sees
    for (const std::string& section : ini.SectionNames()) {
        if (section.compare(0, 8, "Account:") != 0 || std::find(done.begin(), done.end(), section) != done.end()) {
            continue;
        }
        done.push_back(section);
        // protocol 0 is POP3.
        if (ini.GetString(section, "protocol") != "0") {
            continue;
        }
        EmailAccountInfo record;
        record.m_AccountName = ini.GetString(section, "account_name");
        record.m_POP3Server = ini.GetString(section, "receive_server");
        record.m_POP3UserId = ini.GetString(section, "user_id");
        record.m_EmailAddress = ini.GetString(section, "address");
        record.m_POP3Security = ClawsSecurity(ini.GetString(section, "ssl_pop"));
        record.m_POP3Port =
            PortText(ini.GetString(section, "set_popport") == "1" ? IniNumber(ini, section, "pop_port") : std::nullopt,
                     record.m_POP3Security == EConnectionSecurity::kSslTls, "995", "110");
        record.m_SMTPServer = ini.GetString(section, "smtp_server");
        record.m_SMTPSecurity = ClawsSecurity(ini.GetString(section, "ssl_smtp"));
        record.m_SMTPPort = PortText(
            ini.GetString(section, "set_smtpport") == "1" ? IniNumber(ini, section, "smtp_port") : std::nullopt,
            record.m_SMTPSecurity == EConnectionSecurity::kSslTls, "465", "25");
        record.m_SMTPUserId = ini.GetString(section, "smtp_user_id");
        if (record.m_SMTPUserId.empty()) {
            record.m_SMTPUserId = record.m_POP3UserId;
        }
        record.m_MailProgram = "Claws Mail";
        AddAccountUnique(accounts, std::move(record));
    }
}

}  // namespace sieveclaw
