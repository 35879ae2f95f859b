#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The mail programs of the desktop: the applications whose desktop entries say they handle
// mailto: links, and the one the desktop starts for such a link. Desktop entries are read from
// the "applications" folders of $XDG_DATA_HOME and $XDG_DATA_DIRS, the default from the
// mimeapps.list files of $XDG_CONFIG_HOME, $XDG_CONFIG_DIRS and those folders, in the order the
// desktop reads them.

namespace sieveclaw {

struct MailProgram {
    std::string m_Name;       // the entry's Name, what the user picks
    std::string m_DesktopId;  // "org.example.Mail.desktop"
    std::string m_Command;    // the entry's Exec line
};

// One desktop entry's text. Nothing unless it is an application (not hidden) with a name and a
// command whose MimeType list holds x-scheme-handler/mailto.
std::optional<MailProgram> ReadMailProgramEntry(std::string_view text, std::string desktopId);

// The desktop ids a mimeapps.list text gives as the default handlers of mailto: links, in order.
std::vector<std::string> ReadDefaultMailtoHandlers(std::string_view text);

// Every installed mail program, each desktop id once (the first folder that holds it wins), in
// the order of their names without regard to letter case.
std::vector<MailProgram> FindMailPrograms();

// The command of the desktop's default mail program; empty when none is set or it is not
// installed.
std::string DefaultMailtoCommand();

// A desktop entry's Exec line as the program and its arguments: split at blanks outside double
// quotes, a backslash inside quotes keeping the next character, "%%" read as "%" and the field
// codes (%u, %U, %f and the like) left out, since the mail program is started without a message
// or file. Empty when the line holds no program (or an unclosed quote).
std::vector<std::string> SplitExecLine(std::string_view exec);

// The command of "&Get Your Email": the Exec line of the mail program named chosen (the
// "MailProgram" setting) when it is installed, else the desktop's default mail program's; empty
// when neither is there.
std::string MailProgramCommand(std::string_view chosen);

// The name of the first program whose command occurs in defaultCommand, the mail program the user
// has been using; empty when none does.
std::string MatchDefaultMailProgram(const std::vector<MailProgram>& programs, std::string_view defaultCommand);

}  // namespace sieveclaw
