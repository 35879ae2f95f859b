#include "core/CommandLine.h"

#include "core/ActivityLog.h"

namespace sieveclaw {

namespace {
std::vector<std::string>& Arguments() {
    static std::vector<std::string> arguments;
    return arguments;
}
}  // namespace

void SetCommandLine(int argc, const char* const* argv) {
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) {
        arguments.emplace_back(argv[i]);
    }
    SetCommandLine(std::move(arguments));
}

void SetCommandLine(std::vector<std::string> arguments) {
    Arguments() = std::move(arguments);
    // The switch is exact and case-sensitive, and only counts as the first argument.
    SetActivityLogEnabled(!Arguments().empty() && Arguments().front() == "/l");
}

const std::vector<std::string>& CommandLineArguments() {
    return Arguments();
}

}  // namespace sieveclaw
