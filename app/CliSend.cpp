// sieveclaw-cli salvage and bounce: the Trash Can's two sending actions on one spam file.

#include <filesystem>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "app/CliCommands.h"
#include "app/CliStatusPrinter.h"
#include "core/AccountList.h"
#include "core/AccountsFile.h"
#include "core/ProfileStore.h"
#include "core/Settings.h"
#include "engine/SendMessageFile.h"
#include "mail/MessageFiles.h"

namespace sieveclaw {

namespace {

enum class ESendCommand { kSalvage, kBounce };

int RunSendCommand(ESendCommand command, const std::vector<std::string>& arguments) {
    const char* name = command == ESendCommand::kSalvage ? "salvage" : "bounce";
    if (arguments.size() != 1 || arguments.front().empty() || arguments.front().starts_with("--")) {
        std::cerr << "usage: sieveclaw-cli " << name << " FILE\n";
        return 2;
    }
    const std::string& file = arguments.front();
    std::error_code missing;
    if (!std::filesystem::is_regular_file(file, missing)) {
        std::cerr << "sieveclaw-cli " << name << ": no message file " << file << "\n";
        return 1;
    }

    CAccountList accounts;
    std::optional<DataFileDamage> damage;
    if (!LoadAccounts(accounts, &damage)) {
        std::cerr << "sieveclaw-cli " << name << ": "
                  << (damage ? DamageText(*damage) : "no accounts file " + AccountsFilePath()) << "\n";
        return 1;
    }
    CProfileStore store(GetProfileStorePath());
    if (!store.Load()) {
        std::cerr << "sieveclaw-cli " << name << ": " << store.LastError() << "\n";
        return 1;
    }
    CSettings settings;
    settings.LoadSettings(store);
    CTransportOptions transport;
    transport.m_Timeout = [&settings] { return settings.GetTimeout(); };
    transport.m_ImplicitTlsPorts = settings.GetImplicitTlsPorts();

    CCliUserPrompt prompt(store, std::cout, std::cerr);
    const SendStatusFn status = [](ESendBoxLine line, const std::string& text) {
        std::cout << (line == ESendBoxLine::kHeadline ? "" : "Status: ") << text << std::endl;
    };
    // What the Trash Can row shows, for the result line.
    MessageEntry stored;
    std::string reason;
    ReadReasonLine(file, stored, reason);
    const std::string account = ReadAccountLine(file);

    ESendOutcome outcome = ESendOutcome::kNoAccount;
    if (command == ESendCommand::kSalvage) {
        // The salvaged list lives as long as the program; this one ends with the command.
        GuardedList<MessageEntry> salvaged;
        outcome = SalvageSpamFile(file, accounts, salvaged, status, prompt, transport);
    } else {
        outcome = BounceSpamFile(file, accounts, status, prompt, transport);
    }

    switch (outcome) {
        case ESendOutcome::kNoAccount:
            std::cerr << "sieveclaw-cli " << name << ": the account '" << PrintableText(account) << "' of " << file
                      << " is not configured; nothing was sent\n";
            return 1;
        case ESendOutcome::kSent:
            if (command == ESendCommand::kSalvage) {
                std::cout << "Salvaged: '" << PrintableText(stored.m_Subject) << "' from "
                          << PrintableText(stored.m_From) << " was sent to the account '" << PrintableText(account)
                          << "'; the spam file is deleted.\n";
            } else {
                std::cout << "Bounced: the notice went to " << PrintableText(stored.m_From)
                          << "; the spam file is deleted.\n";
            }
            return 0;
        case ESendOutcome::kNotSent:
            if (command == ESendCommand::kSalvage) {
                std::cerr << "Not salvaged: the message was not sent; the spam file stays.\n";
            } else {
                std::cerr << "Not bounced: the notice was not sent; the spam file is deleted all the same.\n";
            }
            return 1;
    }
    return 1;
}

}  // namespace

int RunSalvageCommand(const std::vector<std::string>& arguments) {
    return RunSendCommand(ESendCommand::kSalvage, arguments);
}

int RunBounceCommand(const std::vector<std::string>& arguments) {
    return RunSendCommand(ESendCommand::kBounce, arguments);
}

}  // namespace sieveclaw
