#include "core/ActivityLog.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <string>

#include "core/DataFolder.h"

namespace sieveclaw {

namespace {

std::atomic<bool> g_Enabled{false};

std::string TimeStamp() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    char text[128] = {};
    if (localtime_r(&now, &local) == nullptr || std::strftime(text, sizeof text, "%H:%M:%S", &local) == 0) {
        return {};
    }
    return text;
}

void AppendToLog(std::string_view bytes) {
    const std::string path = GetProgramFolder() + "spam.log";
    // The log holds whole messages, so it is the user's alone. One write() per call keeps the
    // lines of the two threads whole (O_APPEND).
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        return;
    }
    std::string_view rest = bytes;
    while (!rest.empty()) {
        const ssize_t written = ::write(fd, rest.data(), rest.size());
        if (written <= 0) {
            break;
        }
        rest.remove_prefix(static_cast<std::size_t>(written));
    }
    ::close(fd);
}

}  // namespace

bool IsActivityLogEnabled() {
    return g_Enabled.load(std::memory_order_relaxed);
}

void SetActivityLogEnabled(bool enabled) {
    g_Enabled.store(enabled, std::memory_order_relaxed);
}

void WriteActivityLog(std::string_view text, bool stamped) {
    if (!IsActivityLogEnabled()) {
        return;
    }
    if (!stamped) {
        AppendToLog(text);
        return;
    }
    std::string line = TimeStamp();
    line += " - ";
    line += text;
    line += '\n';
    AppendToLog(line);
}

void WriteActivityLog2(std::string_view prefix, std::string_view text) {
    if (!IsActivityLogEnabled()) {
        return;
    }
    std::string joined;
    joined.reserve(prefix.size() + text.size());
    joined += prefix;
    joined += text;
    WriteActivityLog(joined, true);
}

void WriteActivityLogF(const char* format, ...) {
    if (!IsActivityLogEnabled()) {
        return;
    }
    std::va_list arguments;
    va_start(arguments, format);
    std::va_list again;
    va_copy(again, arguments);
    const int length = std::vsnprintf(nullptr, 0, format, arguments);
    va_end(arguments);
    std::string text;
    if (length > 0) {
        text.resize(static_cast<std::size_t>(length));
        std::vsnprintf(text.data(), text.size() + 1, format, again);
    }
    va_end(again);
    WriteActivityLog(text, true);
}

}  // namespace sieveclaw
