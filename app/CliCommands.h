#pragma once

#include <string>
#include <vector>

namespace sieveclaw {

// sieveclaw-cli headers --server HOST [--port N] [--implicit-tls] --user NAME
// Prints one line per waiting message: number, To, From, Subject, Date, tab-separated.
int RunHeadersCommand(const std::vector<std::string>& arguments);

}  // namespace sieveclaw
