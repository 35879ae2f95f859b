#pragma once

#include <string>
#include <vector>

namespace sieveclaw {

// sieveclaw-cli headers --server HOST [--port N] [--implicit-tls] --user NAME
// Prints one line per waiting message: number, To, From, Subject, Date, tab-separated.
int RunHeadersCommand(const std::vector<std::string>& arguments);

// sieveclaw-cli parse FILE [--stored] [--body | --decoded]
// Runs the body parser on a raw message (or a stored message file) and prints what it found; with
// --decoded, the message as people read it: header texts, each text part's text, file names.
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

// sieveclaw-cli check
// Loads the data folder as the program does at start-up and checks every account once, printing
// each notification as it comes and then the accounts with their Inbox and Trash Can counts.
// 0 when every account not on hold logged on, 1 otherwise.
int RunCheckCommand(const std::vector<std::string>& arguments);

// sieveclaw-cli run
// The mail check worker in the foreground, checking every EmailDelay minutes until SIGINT or
// SIGTERM, which end it cleanly (the open connection is logged off). 0 after such a stop, 2 when
// there is no account to check, 1 on other failures.
int RunRunCommand(const std::vector<std::string>& arguments);

// sieveclaw-cli salvage FILE
// The Trash Can's salvage of one spam file: sends it to its account's own address through that
// account's SMTP server, printing each stage; the file is deleted once the server took it and
// stays otherwise. 0 when sent, 1 when not, 2 for a wrong call.
int RunSalvageCommand(const std::vector<std::string>& arguments);

// sieveclaw-cli bounce FILE
// The Trash Can's bounce: the "Undeliverable: " notice to the stored sender through the account's
// SMTP server, then the spam file is deleted (sent or not). 0 when the notice was sent, 1 when
// not, 2 for a wrong call.
int RunBounceCommand(const std::vector<std::string>& arguments);

// sieveclaw-cli discover [--save]
// The accounts other mail programs on the machine know, one line each (name, POP3 server, port,
// user id, SMTP server, SMTP port, email address, mail program); --save adds the new ones to the
// accounts file, without passwords. 0 when some were found (and saved), 1 when none or the save
// failed, 2 for a wrong call.
int RunDiscoverCommand(const std::vector<std::string>& arguments);

// The detailed usage of the commands that have more options than a line can say.
const char* AccountsUsage();
const char* DiscoverUsage();
const char* ListsUsage();
const char* SettingsUsage();

}  // namespace sieveclaw
