#pragma once

#include <string>
#include <vector>

namespace sieveclaw {

// sieveclaw-cli headers --server HOST [--port N] [--implicit-tls] --user NAME
// Prints one line per waiting message: number, To, From, Subject, Date, tab-separated.
int RunHeadersCommand(const std::vector<std::string>& arguments);

// sieveclaw-cli parse FILE [--stored] [--body]
// Runs the body parser on a raw message (or a stored message file) and prints what it found.
int RunParseCommand(const std::vector<std::string>& arguments);

// sieveclaw-cli settings [NAME [VALUE]]
int RunSettingsCommand(const std::vector<std::string>& arguments);

// sieveclaw-cli accounts list | add | edit NAME | remove NAME | hold NAME | enable NAME
int RunAccountsCommand(const std::vector<std::string>& arguments);

// sieveclaw-cli lists [/a] show|add|remove friends|from|body|exts [TEXT]
//                      | import-words FILE --to from|body | import-friends FILE
// The Filters and Friends dialogs' operations; changes are saved as the dialogs save them.
int RunListsCommand(const std::vector<std::string>& arguments);

// sieveclaw-cli judge FILE...
// Judges each message file against the lists of the data folder: "spam", a tab and the reason,
// or "good", one line per file.
int RunJudgeCommand(const std::vector<std::string>& arguments);

}  // namespace sieveclaw
