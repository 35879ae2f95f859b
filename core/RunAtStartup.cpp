#include "core/RunAtStartup.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "core/DataFolder.h"
#include "core/ProfileStore.h"
#include "core/TextFile.h"

namespace sieveclaw {

namespace {

std::string_view TrimBlanks(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    const std::size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

// The path as one quoted Exec argument. The quoting rule escapes '"', '`', '$' and '\' inside
// the quotes and doubles '%' (field codes); then the string rule of the file escapes '\' again
// and the line ends, so an odd path still reads back as the same file.
std::string QuoteExecArgument(std::string_view path) {
    std::string quoted = "\"";
    for (const char c : path) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') {
            quoted += '\\';
        }
        quoted += c;
        if (c == '%') {
            quoted += '%';
        }
    }
    quoted += '"';
    std::string value;
    for (const char c : quoted) {
        switch (c) {
            case '\\':
                value += "\\\\";
                break;
            case '\n':
                value += "\\n";
                break;
            case '\r':
                value += "\\r";
                break;
            case '\t':
                value += "\\t";
                break;
            default:
                value += c;
        }
    }
    return value;
}

}  // namespace

std::string GetAutostartEntryPath() {
    return GetConfigHome() + "/autostart/sieveclaw.desktop";
}

std::string GetCurrentProgramPath() {
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : program.string();
}

std::string BuildAutostartEntry(std::string_view programPath) {
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Sieveclaw\n"
           "Exec=" +
           QuoteExecArgument(programPath) + " /m\n";
}

bool IsRunAtStartup() {
    std::string bytes;
    if (!ReadFileBytes(GetAutostartEntryPath(), bytes)) {
        return false;
    }
    bool inEntry = false;
    bool hasExec = false;
    bool hidden = false;
    CLineReader reader(bytes);
    while (!reader.AtEnd()) {
        const std::string_view line = TrimBlanks(reader.NextTrimmed());
        if (line.starts_with('[')) {
            inEntry = line == "[Desktop Entry]";
            continue;
        }
        const std::size_t equals = line.find('=');
        if (!inEntry || equals == std::string_view::npos) {
            continue;
        }
        const std::string_view key = TrimBlanks(line.substr(0, equals));
        const std::string_view value = TrimBlanks(line.substr(equals + 1));
        if (key == "Exec") {
            hasExec = !value.empty();
        } else if (key == "Hidden") {
            hidden = value == "true";
        }
    }
    return hasExec && !hidden;
}

bool SetRunAtStartup(bool on, const std::string& programPath) {
    const std::string entry = GetAutostartEntryPath();
    if (!on) {
        return std::remove(entry.c_str()) == 0 || errno == ENOENT;
    }
    const std::string program = programPath.empty() ? GetCurrentProgramPath() : programPath;
    if (program.empty()) {
        return false;
    }
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(entry).parent_path(), error);
    // Nothing secret in it: the usual mode of a desktop entry.
    return WriteFileAtomically(entry, BuildAutostartEntry(program), 0644);
}

}  // namespace sieveclaw
