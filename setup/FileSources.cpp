// The sources that read files on drive C and in the home folder: Pegasus Mail and the Netscape
// family.

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>
#include <utility>

#include "core/AsciiCase.h"
#include "core/IniFile.h"
#include "core/PrefsFile.h"
#include "core/TextFile.h"
#include "setup/DiscoverySources.h"

namespace sieveclaw {

namespace {

namespace fs = std::filesystem;

// The entry of folder named name, matched exactly first, then without regard to letter case.
std::string FindEntry(const std::string& folder, std::string_view name) {
    std::error_code error;
    const std::string exact = folder + "/" + std::string(name);
    if (fs::exists(exact, error)) {
        return exact;
    }
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const std::string entry = it->path().filename().string();
        if (EqualsNoCase(entry, name)) {
            return folder + "/" + entry;
        }
    }
    return {};
}

constexpr std::string_view kPegasusSection = "Pegasus Mail for Windows - built-in TCP/IP Mail";

}  // namespace

std::string ResolveNoCase(const std::string& base, std::string_view relative) {
    std::error_code error;
    if (base.empty() || !fs::exists(base, error)) {
        return {};
    }
    std::string path = base;
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    while (!relative.empty()) {
        const std::size_t end = relative.find_first_of("\\/");
        const std::string_view part = relative.substr(0, end);
        relative = end == std::string_view::npos ? std::string_view() : relative.substr(end + 1);
        if (part.empty() || part == ".") {
            continue;
        }
        if (part == "..") {
            return {};  // discovery never needs to climb out of the folder it was given
        }
        path = FindEntry(path, part);
        if (path.empty()) {
            return {};
        }
    }
    return path;
}

std::string CWindowsDrives::Resolve(std::string_view windowsPath) const {
    if (windowsPath.size() < 2 || windowsPath[1] != ':' || m_WinePrefix.empty()) {
        return {};
    }
    const char letter = static_cast<char>(std::tolower(static_cast<unsigned char>(windowsPath[0])));
    if (letter < 'a' || letter > 'z') {
        return {};
    }
    const std::string drive =
        letter == 'c' ? m_WinePrefix + "/drive_c" : m_WinePrefix + "/dosdevices/" + std::string(1, letter) + ":";
    return ResolveNoCase(drive, windowsPath.substr(2));
}

std::vector<std::string> SubFolderNames(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code error;
    if (folder.empty()) {
        return names;
    }
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        std::error_code kindError;
        if (it->is_directory(kindError)) {
            names.push_back(it->path().filename().string());
        }
    }
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        const std::string upperA = AsciiUppered(a);
        const std::string upperB = AsciiUppered(b);
        return upperA != upperB ? upperA < upperB : a < b;
    });
    return names;
}

void CollectPegasusMailAccounts(const CWindowsDrives& drives, CAccountList& accounts) {
    const std::string mailFolder = drives.Resolve("c:\\pmail\\mail\\");
    for (const std::string& user : SubFolderNames(mailFolder)) {
        const std::string iniPath = ResolveNoCase(mailFolder, user + "/pmail.ini");
        std::error_code error;
        if (iniPath.empty() || !fs::is_regular_file(iniPath, error)) {
            continue;
        }
        CIniFile ini;
        ini.Load(iniPath);
        EmailAccountInfo record;
        record.m_POP3Server = ini.GetString(kPegasusSection, "Host where POP3 mail account is located");
        record.m_POP3UserId = ini.GetString(kPegasusSection, "POP3 mail account (username on host)");
        record.m_SMTPServer = ini.GetString(kPegasusSection, "SMTP relay host for outgoing mail");
        record.m_EmailAddress = ini.GetString(kPegasusSection, "Alternative From: field for message");
        record.m_AccountName = record.m_POP3UserId;
        record.m_SMTPUserId = record.m_POP3UserId;
        record.m_POP3Port = "110";
        record.m_SMTPPort = "25";
        record.m_MailProgram = "Pegasus Mail";
        AddAccountUnique(accounts, std::move(record));
    }
}

namespace {

// The pairs of a prefs.js, or false when there is no readable one.
bool ReadPrefs(const std::string& folder, std::string_view relative, PreferencePairs& pairs) {
    const std::string path = ResolveNoCase(folder, relative);
    std::string text;
    std::error_code error;
    if (path.empty() || !fs::is_regular_file(path, error) || !ReadFileBytes(path, text)) {
        return false;
    }
    pairs = ParsePreferencePairs(text);
    return true;
}

}  // namespace

void CollectNetscape7Accounts(const std::vector<std::string>& profilesFolders, CAccountList& accounts) {
    for (const std::string& profiles : profilesFolders) {
        for (const std::string& profile : SubFolderNames(profiles)) {
            for (const std::string& inner : SubFolderNames(profiles + "/" + profile)) {
                PreferencePairs pairs;
                if (!ReadPrefs(profiles, profile + "/" + inner + "/prefs.js", pairs)) {
                    continue;
                }
                for (int n = 1;; ++n) {
                    const std::string server =
                        FindPreference(pairs, "mail.account.account" + std::to_string(n) + ".server");
                    if (server.empty()) {
                        break;
                    }
                    const std::string prefix = "mail.server." + server + ".";
                    if (!EqualsNoCase(FindPreference(pairs, prefix + "type"), "pop3")) {
                        continue;
                    }
                    EmailAccountInfo record;
                    record.m_AccountName = FindPreference(pairs, prefix + "name");
                    record.m_EmailAddress = record.m_AccountName;
                    record.m_POP3Server = FindPreference(pairs, prefix + "hostname");
                    record.m_POP3UserId = FindPreference(pairs, prefix + "userName");
                    record.m_SMTPServer = record.m_POP3Server;
                    record.m_SMTPUserId = record.m_POP3UserId;
                    record.m_MailProgram = "Netscape";
                    AddAccount(accounts, std::move(record));
                }
            }
        }
    }
}

void CollectNetscape4Accounts(const CWindowsDrives& drives, CAccountList& accounts) {
    const std::string users = drives.Resolve("C:\\program Files\\Netscape\\Users\\");
    for (const std::string& user : SubFolderNames(users)) {
        PreferencePairs pairs;
        if (!ReadPrefs(users, user + "/prefs.js", pairs)) {
            continue;
        }
        const std::string address = FindPreference(pairs, "mail.identity.useremail");
        if (address.empty()) {
            continue;
        }
        EmailAccountInfo record;
        record.m_EmailAddress = address;
        record.m_POP3UserId = FindPreference(pairs, "mail.pop_name");
        record.m_SMTPUserId = FindPreference(pairs, "mail.smtp_name");
        record.m_POP3Server = FindPreference(pairs, "network.hosts.pop_server");
        record.m_SMTPServer = FindPreference(pairs, "network.hosts.smtp_server");
        record.m_MailProgram = "Netscape";
        record.m_AccountName = address;
        AddAccount(accounts, std::move(record));
    }
}

}  // namespace sieveclaw
