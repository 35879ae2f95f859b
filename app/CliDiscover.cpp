#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <system_error>
#include <vector>

#include "app/CliCommands.h"
#include "app/CliStatusPrinter.h"
#include "core/AccountList.h"
#include "core/AccountsFile.h"
#include "core/IniFile.h"
#include "setup/AccountDiscovery.h"

namespace sieveclaw {

namespace {

constexpr const char* kUsage =
    "usage: sieveclaw-cli discover [--save]\n"
    "Looks for the POP3 accounts other mail programs on this machine know (Windows ones in the Wine\n"
    "prefix $WINEPREFIX or ~/.wine) and prints one line per account: name, POP3 server, POP3 port,\n"
    "user id, SMTP server, SMTP port, email address, mail program, tab-separated. --save adds them to\n"
    "the accounts, leaving out those already there (same POP3 server and user id); no password is\n"
    "read, so set them with 'sieveclaw-cli accounts edit NAME --new-password'.\n";

bool AlreadyStored(const CAccountList& stored, const EmailAccountInfo& found) {
    return stored.FindIf([&found](const EmailAccountInfo& record) {
        return EqualsNoCase(record.m_POP3Server, found.m_POP3Server) && record.m_POP3UserId == found.m_POP3UserId;
    }) != kNoPos;
}

int SaveFound(const std::vector<EmailAccountInfo>& found) {
    CAccountList stored;
    std::optional<DataFileDamage> damage;
    if (!LoadAccounts(stored, &damage) && damage) {
        std::cerr << "sieveclaw-cli discover: " << RefusedSaveText(*damage) << "\n";
        return 1;
    }
    std::size_t added = 0;
    for (const EmailAccountInfo& record : found) {
        if (AlreadyStored(stored, record)) {
            continue;
        }
        AddAccountUnique(stored, record);
        ++added;
    }
    if (added > 0) {
        if (const SaveResult saved = SaveAccounts(stored); !saved) {
            std::cerr << "sieveclaw-cli discover: " << saved.m_Error << "\n";
            return 1;
        }
    }
    std::cerr << added << " account(s) added to " << AccountsFilePath()
              << (added > 0 ? "; set their passwords with 'sieveclaw-cli accounts edit NAME --new-password'" : "")
              << "\n";
    return 0;
}

}  // namespace

const char* DiscoverUsage() {
    return kUsage;
}

int RunDiscoverCommand(const std::vector<std::string>& arguments) {
    bool save = false;
    for (const std::string& argument : arguments) {
        if (argument == "--save") {
            save = true;
        } else {
            std::cerr << "sieveclaw-cli discover: unknown option '" << PrintableText(argument) << "'\n" << kUsage;
            return 2;
        }
    }
    CAccountList accounts;
    DiscoverEmailAccounts(accounts, DefaultDiscoveryPlaces());
    const std::vector<EmailAccountInfo> found = accounts.Snapshot();
    for (const EmailAccountInfo& record : found) {
        std::cout << PrintableText(record.m_AccountName) << '\t' << PrintableText(record.m_POP3Server) << '\t'
                  << PrintableText(record.m_POP3Port) << '\t' << PrintableText(record.m_POP3UserId) << '\t'
                  << PrintableText(record.m_SMTPServer) << '\t' << PrintableText(record.m_SMTPPort) << '\t'
                  << PrintableText(record.m_EmailAddress) << '\t' << PrintableText(record.m_MailProgram) << '\n';
    }
    std::cout.flush();
    if (found.empty()) {
        std::cerr << "sieveclaw-cli discover: no mail program with a POP3 account was found\n";
        return 1;
    }
    return save ? SaveFound(found) : 0;
}

}  // namespace sieveclaw
