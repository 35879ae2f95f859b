// sieveclaw-cli: the filter's work without windows.

#include <iostream>
#include <string>
#include <vector>

#include "app/CliCommands.h"
#include "core/CommandLine.h"
#include "core/DataFolder.h"

namespace {

void PrintUsage() {
    std::cerr << "usage: sieveclaw-cli [/l] COMMAND ...\n"
                 "  headers --server HOST [--port N] [--implicit-tls] --user NAME\n"
                 "      lists the waiting messages: number, To, From, Subject, Date\n"
                 "      (password from SIEVECLAW_PASSWORD, otherwise asked for)\n"
                 "  parse FILE [--stored] [--body]\n"
                 "      runs the body parser on a message (--stored: a message file of the inbox or\n"
                 "      spam folder) and prints To, From, Subject, Date and one line per attachment;\n"
                 "      --body prints the parsed body instead\n"
                 "  settings [NAME [VALUE]]\n"
                 "      lists every setting, shows one, or sets one\n"
                 "  accounts list | add OPTIONS | edit NAME OPTIONS | remove NAME | hold NAME | enable NAME\n"
                 "      shows or changes the accounts ('sieveclaw-cli accounts' alone lists the options)\n"
                 "  judge FILE...\n"
                 "      judges each message (raw or stored) against the lists: 'spam<TAB>reason' or 'good'\n"
                 "  lists [/a] show|add|remove friends|from|body|exts [TEXT]\n"
                 "  lists [/a] import-words FILE --to from|body | import-friends FILE\n"
                 "      shows or changes the filter lists as the Filters and Friends windows do\n"
                 "  check\n"
                 "      checks every account once as the program does, printing each step, then the\n"
                 "      Inbox and Trash Can counts; exit 0 when every account not on hold logged on\n"
                 "  run\n"
                 "      checks every EmailDelay minutes in the foreground until SIGINT or SIGTERM\n"
                 "  salvage FILE\n"
                 "      sends a stored spam message to its account's own address (the Trash Can's Salvage)\n"
                 "  bounce FILE\n"
                 "      sends the stored sender an 'Undeliverable' notice and deletes the spam file\n"
                 "  discover [--save]\n"
                 "      lists the POP3 accounts other mail programs know (Wine prefix included);\n"
                 "      --save adds the new ones to the accounts, without passwords\n"
                 "  /l as the first argument writes the activity log spam.log in the data folder.\n";
}

}  // namespace

int main(int argc, char** argv) {
    sieveclaw::SetCommandLine(argc, argv);
    std::vector<std::string> arguments = sieveclaw::CommandLineArguments();
    if (!arguments.empty() && arguments.front() == "/l") {
        arguments.erase(arguments.begin());
        sieveclaw::EnsureProgramFolder();
    }
    if (arguments.empty()) {
        PrintUsage();
        return 2;
    }
    const std::string command = arguments.front();
    arguments.erase(arguments.begin());
    if (command == "headers") {
        return sieveclaw::RunHeadersCommand(arguments);
    }
    if (command == "parse") {
        return sieveclaw::RunParseCommand(arguments);
    }
    if (command == "settings") {
        return sieveclaw::RunSettingsCommand(arguments);
    }
    if (command == "accounts") {
        return sieveclaw::RunAccountsCommand(arguments);
    }
    if (command == "judge") {
        return sieveclaw::RunJudgeCommand(arguments);
    }
    if (command == "lists") {
        return sieveclaw::RunListsCommand(arguments);
    }
    if (command == "check") {
        return sieveclaw::RunCheckCommand(arguments);
    }
    if (command == "run") {
        return sieveclaw::RunRunCommand(arguments);
    }
    if (command == "salvage") {
        return sieveclaw::RunSalvageCommand(arguments);
    }
    if (command == "bounce") {
        return sieveclaw::RunBounceCommand(arguments);
    }
    if (command == "discover") {
        return sieveclaw::RunDiscoverCommand(arguments);
    }
    std::cerr << "sieveclaw-cli: unknown command '" << command << "'\n";
    PrintUsage();
    return 2;
}
