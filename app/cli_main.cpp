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
    std::cerr << "sieveclaw-cli: unknown command '" << command << "'\n";
    PrintUsage();
    return 2;
}
