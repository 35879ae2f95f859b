#include "core/MailPrograms.h"

#include <algorithm>
#include <filesystem>
#include <set>

#include "core/AsciiCase.h"
#include "core/DataFolder.h"
#include "core/IniFile.h"
#include "core/TextFile.h"

namespace sieveclaw {

namespace {

constexpr std::string_view kDesktopEntry = "Desktop Entry";
constexpr std::string_view kMailtoType = "x-scheme-handler/mailto";

// The texts of a ';'-separated list (desktop entries end it with a ';'), without empty pieces.
std::vector<std::string> SplitList(std::string_view text) {
    std::vector<std::string> pieces;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find(';'), text.size());
        const std::string_view piece = StripWhiteSpace(text.substr(0, end));
        if (!piece.empty()) {
            pieces.emplace_back(piece);
        }
        text.remove_prefix(std::min(end + 1, text.size()));
    }
    return pieces;
}

// Folders of a colon-separated variable, or the fallback when it is empty; relative ones are
// ignored, as the desktop ignores them.
std::vector<std::string> FolderList(const char* variable, std::string_view fallback) {
    std::string value = EnvironmentValue(variable);
    if (value.empty()) {
        value = std::string(fallback);
    }
    std::vector<std::string> folders;
    std::string_view rest = value;
    while (!rest.empty()) {
        const std::size_t end = std::min(rest.find(':'), rest.size());
        const std::string_view folder = rest.substr(0, end);
        if (!folder.empty() && folder.front() == '/') {
            folders.emplace_back(folder);
        }
        rest.remove_prefix(std::min(end + 1, rest.size()));
    }
    return folders;
}

std::string DataHome() {
    const std::string value = EnvironmentValue("XDG_DATA_HOME");
    return !value.empty() && value.front() == '/' ? value : GetHomeFolder() + "/.local/share";
}

// The "applications" folders, the user's own first.
std::vector<std::string> ApplicationFolders() {
    std::vector<std::string> folders{DataHome() + "/applications"};
    for (const std::string& folder : FolderList("XDG_DATA_DIRS", "/usr/local/share:/usr/share")) {
        folders.push_back(folder + "/applications");
    }
    return folders;
}

// Every desktop entry below folder, with its desktop id (the path below folder, '/' made '-').
void CollectEntries(const std::string& folder, std::vector<std::pair<std::string, std::string>>& entries) {
    namespace fs = std::filesystem;
    std::error_code failure;
    fs::recursive_directory_iterator it(folder, failure);
    for (const fs::recursive_directory_iterator end; !failure && it != end; it.increment(failure)) {
        const fs::path& path = it->path();
        if (path.extension() != ".desktop" || !it->is_regular_file(failure)) {
            continue;
        }
        std::string id = path.lexically_relative(folder).string();
        std::replace(id.begin(), id.end(), '/', '-');
        entries.emplace_back(std::move(id), path.string());
    }
}

std::optional<MailProgram> LoadEntry(const std::string& path, std::string desktopId) {
    std::string text;
    if (!ReadFileBytes(path, text)) {
        return std::nullopt;
    }
    return ReadMailProgramEntry(text, std::move(desktopId));
}

}  // namespace

std::optional<MailProgram> ReadMailProgramEntry(std::string_view text, std::string desktopId) {
    CIniFile entry;
    entry.Parse(text);
    const std::string name = entry.GetString(kDesktopEntry, "Name");
    const std::string command = entry.GetString(kDesktopEntry, "Exec");
    if (entry.GetString(kDesktopEntry, "Type") != "Application" || name.empty() || command.empty() ||
        entry.GetString(kDesktopEntry, "Hidden") == "true") {
        return std::nullopt;
    }
    const std::vector<std::string> types = SplitList(entry.GetString(kDesktopEntry, "MimeType"));
    if (std::find(types.begin(), types.end(), kMailtoType) == types.end()) {
        return std::nullopt;
    }
    return MailProgram{name, std::move(desktopId), command};
}

std::vector<std::string> ReadDefaultMailtoHandlers(std::string_view text) {
    CIniFile list;
    list.Parse(text);
    return SplitList(list.GetString("Default Applications", kMailtoType));
}

std::vector<MailProgram> FindMailPrograms() {
    std::vector<std::pair<std::string, std::string>> entries;
    for (const std::string& folder : ApplicationFolders()) {
        CollectEntries(folder, entries);
    }
    std::set<std::string> seen;
    std::vector<MailProgram> programs;
    for (auto& [id, path] : entries) {
        if (!seen.insert(id).second) {
            continue;
        }
        if (auto program = LoadEntry(path, id)) {
            programs.push_back(std::move(*program));
        }
    }
    std::stable_sort(programs.begin(), programs.end(), [](const MailProgram& a, const MailProgram& b) {
        return AsciiLowered(a.m_Name) < AsciiLowered(b.m_Name);
    });
    return programs;
}

std::string DefaultMailtoCommand() {
    std::vector<std::string> lists{GetConfigHome() + "/mimeapps.list"};
    for (const std::string& folder : FolderList("XDG_CONFIG_DIRS", "/etc/xdg")) {
        lists.push_back(folder + "/mimeapps.list");
    }
    for (const std::string& folder : ApplicationFolders()) {
        lists.push_back(folder + "/mimeapps.list");
    }
    const std::vector<MailProgram> programs = FindMailPrograms();
    for (const std::string& path : lists) {
        std::string text;
        if (!ReadFileBytes(path, text)) {
            continue;
        }
        for (const std::string& id : ReadDefaultMailtoHandlers(text)) {
            const auto found = std::find_if(programs.begin(), programs.end(),
                                            [&id](const MailProgram& program) { return program.m_DesktopId == id; });
            if (found != programs.end()) {
                return found->m_Command;
            }
        }
    }
    return {};
}

std::string MatchDefaultMailProgram(const std::vector<MailProgram>& programs, std::string_view defaultCommand) {
    for (const MailProgram& program : programs) {
        if (defaultCommand.find(program.m_Command) != std::string_view::npos) {
            return program.m_Name;
        }
    }
    return {};
}

std::vector<std::string> SplitExecLine(std::string_view exec) {
    std::vector<std::string> arguments;
    std::string current;
    bool inArgument = false;
    bool quoted = false;
    for (std::size_t i = 0; i < exec.size(); ++i) {
        const char c = exec[i];
        if (quoted) {
            if (c == '"') {
                quoted = false;
            } else if (c == '\\' && i + 1 < exec.size()) {
                current += exec[++i];
            } else {
                current += c;
            }
        } else if (c == ' ' || c == '\t') {
            if (inArgument) {
                arguments.push_back(std::move(current));
                current.clear();
                inArgument = false;
            }
        } else if (c == '"') {
            quoted = true;
            inArgument = true;
        } else if (c == '%' && i + 1 < exec.size()) {
            // A field code stands for something this start has not got; an argument that was
            // only the code goes with it.
            if (exec[++i] == '%') {
                current += '%';
                inArgument = true;
            }
        } else {
            current += c;
            inArgument = true;
        }
    }
    if (quoted) {
        return {};
    }
    if (inArgument) {
        arguments.push_back(std::move(current));
    }
    if (arguments.empty() || arguments.front().empty()) {
        return {};
    }
    return arguments;
}

std::string MailProgramCommand(std::string_view chosen) {
    if (!chosen.empty()) {
        for (const MailProgram& program : FindMailPrograms()) {
            if (program.m_Name == chosen) {
                return program.m_Command;
            }
        }
    }
    return DefaultMailtoCommand();
}

}  // namespace sieveclaw
