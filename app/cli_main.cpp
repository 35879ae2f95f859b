// sieveclaw-cli: the filter's work without windows.

#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "app/CliCommands.h"
#include "core/CommandLine.h"
#include "core/DataFolder.h"

namespace {

struct CliCommand {
    const char* m_Name;
    int (*m_Run)(const std::vector<std::string>& arguments);
    // The synopsis and what the command does, as the overall usage lists it.
    const char* m_Summary;
    // The command's own detailed usage, or nullptr when the summary says it all.
    const char* (*m_Details)();
};

const CliCommand kCommands[] = {
    {"headers", sieveclaw::RunHeadersCommand,
     "  headers --server HOST [--port N] [--implicit-tls] --user NAME\n"
     "      lists the waiting messages: number, To, From, Subject, Date\n"
     "      (password from SIEVECLAW_PASSWORD, otherwise asked for)\n",
     nullptr},
    {"parse", sieveclaw::RunParseCommand,
     "  parse FILE [--stored] [--body]\n"
     "      runs the body parser on a message (--stored: a message file of the inbox or\n"
     "      spam folder) and prints To, From, Subject, Date and one line per attachment;\n"
     "      --body prints the parsed body instead\n",
     nullptr},
    {"settings", sieveclaw::RunSettingsCommand,
     "  settings [NAME [VALUE]]\n"
     "      lists every setting, shows one, or sets one\n",
     sieveclaw::SettingsUsage},
    {"accounts", sieveclaw::RunAccountsCommand,
     "  accounts list | add OPTIONS | edit NAME OPTIONS | remove NAME | hold NAME | enable NAME\n"
     "      shows or changes the accounts\n",
     sieveclaw::AccountsUsage},
    {"judge", sieveclaw::RunJudgeCommand,
     "  judge FILE...\n"
     "      judges each message (raw or stored) against the lists: 'spam<TAB>reason' or 'good'\n",
     nullptr},
    {"lists", sieveclaw::RunListsCommand,
     "  lists [/a] show|add|remove friends|from|body|exts [TEXT]\n"
     "  lists [/a] import-words FILE --to from|body | import-friends FILE\n"
     "      shows or changes the filter lists as the Filters and Friends windows do\n",
     sieveclaw::ListsUsage},
    {"check", sieveclaw::RunCheckCommand,
     "  check\n"
     "      checks every account once as the program does, printing each step, then the\n"
     "      Inbox and Trash Can counts; exit 0 when every account not on hold logged on\n",
     nullptr},
    {"run", sieveclaw::RunRunCommand,
     "  run\n"
     "      checks every EmailDelay minutes in the foreground until SIGINT or SIGTERM\n",
     nullptr},
    {"salvage", sieveclaw::RunSalvageCommand,
     "  salvage FILE\n"
     "      sends a stored spam message to its account's own address (the Trash Can's Salvage)\n",
     nullptr},
    {"bounce", sieveclaw::RunBounceCommand,
     "  bounce FILE\n"
     "      sends the stored sender an 'Undeliverable' notice and deletes the spam file\n",
     nullptr},
    {"discover", sieveclaw::RunDiscoverCommand,
     "  discover [--save]\n"
     "      lists the POP3 accounts other mail programs know (Wine prefix included);\n"
     "      --save adds the new ones to the accounts, without passwords\n",
     sieveclaw::DiscoverUsage},
};

void PrintUsage(std::ostream& out) {
    out << "usage: sieveclaw-cli [/l] COMMAND ...\n"
           "       sieveclaw-cli --help | --version | COMMAND --help\n";
    for (const CliCommand& command : kCommands) {
        out << command.m_Summary;
    }
    out << "  /l as the first argument writes the activity log spam.log in the data folder.\n"
           "  The data folder is $SIEVECLAW_HOME, else $XDG_DATA_HOME/sieveclaw (see sieveclaw-cli(1)).\n";
}

void PrintCommandUsage(const CliCommand& command) {
    std::cout << "usage: sieveclaw-cli [/l]" << std::string_view(command.m_Summary).substr(1);
    if (command.m_Details != nullptr) {
        std::cout << command.m_Details();
    }
}

bool IsHelp(std::string_view argument) {
    return argument == "--help" || argument == "-h";
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
        PrintUsage(std::cerr);
        return 2;
    }
    const std::string command = arguments.front();
    arguments.erase(arguments.begin());
    if (command == "--version") {
        std::cout << "sieveclaw-cli " << SIEVECLAW_VERSION << "\n";
        return 0;
    }
    const bool help = IsHelp(command) || command == "help";
    for (const CliCommand& known : kCommands) {
        const bool named = help ? !arguments.empty() && arguments.front() == known.m_Name : command == known.m_Name;
        if (named && (help || (!arguments.empty() && IsHelp(arguments.front())))) {
            PrintCommandUsage(known);
            return 0;
        }
        if (named) {
            return known.m_Run(arguments);
        }
    }
    if (help && arguments.empty()) {
        PrintUsage(std::cout);
        return 0;
    }
    std::cerr << "sieveclaw-cli: unknown command '" << (help ? arguments.front() : command) << "'\n";
    PrintUsage(std::cerr);
    return 2;
}
