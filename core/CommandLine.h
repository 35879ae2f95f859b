#pragma once

#include <string>
#include <vector>

// The program's command line, remembered once at start-up so that deep layers (the activity
// log, the administrator flag) can ask about it without being handed argc/argv.

namespace sieveclaw {

// Call once from main() before any other thread starts. argv[0] (the program) is not kept.
void SetCommandLine(int argc, const char* const* argv);
void SetCommandLine(std::vector<std::string> arguments);

// The arguments after the program name.
const std::vector<std::string>& CommandLineArguments();

}  // namespace sieveclaw
