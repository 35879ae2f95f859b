// Desktop entries and mimeapps.list files over arbitrary bytes: no crash, a program found has a
// name and a command, an Exec line splits into a program and its arguments, and every default
// handler named is a non-empty id without a separator.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/MailPrograms.h"
#include "fuzz/FuzzRequire.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (const auto program = sieveclaw::ReadMailProgramEntry(text, "fuzz.desktop")) {
        Require(!program->m_Name.empty() && !program->m_Command.empty());
        Require(program->m_DesktopId == "fuzz.desktop");
        Require(sieveclaw::MatchDefaultMailProgram({*program}, program->m_Command) == program->m_Name);
    }
    const std::vector<std::string> arguments = sieveclaw::SplitExecLine(text);
    Require(arguments.empty() || !arguments.front().empty());
    for (const std::string& id : sieveclaw::ReadDefaultMailtoHandlers(text)) {
        Require(!id.empty() && id.find(';') == std::string::npos);
    }
    return 0;
}
