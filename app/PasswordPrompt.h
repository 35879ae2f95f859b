#pragma once

#include <optional>
#include <string>

namespace sieveclaw {

// Asks on the terminal without echoing what is typed. Nothing when there is no terminal or the
// input ended.
std::optional<std::string> ReadPasswordWithoutEcho(const std::string& prompt);

}  // namespace sieveclaw
