#pragma once

#include <string>
#include <string_view>

namespace sieveclaw {

// text with every control byte but the line feed (kept when keepLineFeeds, where a CR LF becomes
// a line feed too), and every C1 control written in UTF-8, shown as '?': names from the data folder and texts from mail or a server must
// never reach a terminal as escape sequences.
std::string PrintableText(std::string_view text, bool keepLineFeeds = false);

}  // namespace sieveclaw
