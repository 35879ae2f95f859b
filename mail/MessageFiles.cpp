#include "mail/MessageFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "core/ActivityLog.h"
#include "core/DataFolder.h"
#include "core/Settings.h"
#include "core/StatusSink.h"
#include "core/TextFile.h"
#include "mail/HeaderFields.h"

namespace sieveclaw {

namespace {

// Far more tries than same-millisecond saves can ever need; a bound so a folder that refuses
// every name cannot hold a caller forever.
constexpr int kNameTries = 10000;

std::int32_t TickCount() {
    timespec now{};
    ::clock_gettime(CLOCK_BOOTTIME, &now);
    const std::int64_t millis = static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(millis));
}

// The local time as "%H%M%S%m%d%y": hour, minute, second, month, day and two-digit year.
std::string TimePart() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (localtime_r(&now, &local) == nullptr) {
        return "000000000000";
    }
    char text[64] = {};
    std::snprintf(text, sizeof text, "%02d%02d%02d%02d%02d%02d", local.tm_hour, local.tm_min, local.tm_sec,
                  local.tm_mon + 1, local.tm_mday, local.tm_year % 100);
    return text;
}

bool Exists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

std::string NameAt(const std::string& folder, const std::string& timePart, long long number) {
    return folder + "/" + timePart + std::to_string(number) + ".eml";
}

// A reason or account name is one line of the file: a line break inside it would make the rest
// look like message text and hide the ACCOUNT line from its readers.
void AppendOneLine(std::string& out, std::string_view text) {
    for (const char c : text) {
        out += (c == '\r' || c == '\n') ? ' ' : c;
    }
    out += "\r\n";
}

CDurableSteps* g_MessageFileSteps = nullptr;  // a test's own steps; the real ones when null

bool WriteMessageFile(const std::string& filePath, const std::string& content, EReplace replace) {
    WriteActivityLog("SaveEmail - Entered");
    const bool written = WriteFileAtomically(filePath, content, 0600, replace, MessageFileSteps());
    const int saved = errno;
    WriteActivityLog(written ? "SaveEmail - created the file.  Saving data" : "SaveEmail - Failed to create the file");
    WriteActivityLog("SaveEmail - Leaving");
    errno = saved;
    return written;
}

// Writes content under a name of folder that nobody else holds; preferred is tried first.
std::optional<std::string> WriteUnderFreeName(const std::string& folder, const std::string& content,
                                              std::string preferred) {
    std::string path = preferred.empty() ? MakeMessageFileName(folder) : std::move(preferred);
    for (int attempt = 0; attempt < kNameTries; ++attempt) {
        if (WriteMessageFile(path, content, EReplace::kKeepExisting)) {
            return path;
        }
        if (errno != EEXIST) {
            return std::nullopt;
        }
        path = MakeMessageFileName(folder);
    }
    return std::nullopt;
}

// Reads a file line by line without taking it into memory whole: the readers of the list windows
// stop after the first few lines of every stored message.
class CFileLines {
public:
    explicit CFileLines(const std::string& path) : m_File(std::fopen(path.c_str(), "rb")) {}
    bool IsOpen() const { return m_File != nullptr; }

    // The next line without trailing white space; false at the end of the file.
    bool Next(std::string_view& line) {
        if (m_File == nullptr) {
            return false;
        }
        // getline may move the buffer, so it is handed over and taken back around the call.
        char* raw = m_Buffer.release();
        const ssize_t length = ::getline(&raw, &m_Capacity, m_File.get());
        m_Buffer.reset(raw);
        if (length < 0) {
            return false;
        }
        line = TrimTrailingWhiteSpace(std::string_view(raw, static_cast<std::size_t>(length)));
        return true;
    }

private:
    struct CloseFile {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    struct FreeBuffer {
        void operator()(char* buffer) const { std::free(buffer); }
    };
    std::unique_ptr<std::FILE, CloseFile> m_File;
    std::unique_ptr<char, FreeBuffer> m_Buffer;
    std::size_t m_Capacity = 0;
};

// Every line of the file trimmed and ended with CR LF; false (text empty) when it cannot be read.
bool ReadNormalisedLines(const std::string& filePath, std::string& text) {
    text.clear();
    std::string bytes;
    if (!ReadFileBytes(filePath, bytes)) {
        return false;
    }
    text.reserve(bytes.size() + bytes.size() / 32 + 2);
    CLineReader lines(bytes);
    for (std::string_view line; lines.Next(line);) {
        text += TrimTrailingWhiteSpace(line);
        text += "\r\n";
    }
    return true;
}

std::string FileNamePart(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The file's birth time where the file system records it, its last change otherwise.
std::optional<std::time_t> CreationTime(const std::string& path) {
    struct statx info {};
    if (::statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BTIME | STATX_MTIME, &info) != 0) {
        return std::nullopt;
    }
    if ((info.stx_mask & STATX_BTIME) != 0) {
        return static_cast<std::time_t>(info.stx_btime.tv_sec);
    }
    return static_cast<std::time_t>(info.stx_mtime.tv_sec);
}

}  // namespace

void SetMessageFileSteps(CDurableSteps* steps) { g_MessageFileSteps = steps; }

CDurableSteps& MessageFileSteps() {
    static CDurableSteps realSteps;
    return g_MessageFileSteps != nullptr ? *g_MessageFileSteps : realSteps;
}

std::string MessageFileContent(const CEmailMsg& message, std::string_view accountName, std::string_view reason) {
    std::string content;
    if (!reason.empty()) {
        content += "REASON:";
        AppendOneLine(content, reason);
    }
    content += "ACCOUNT:";
    AppendOneLine(content, accountName);
    AppendWithCrLf(content, message.m_RawText);
    return content;
}

std::string InboxFolder() {
    return GetProgramFolder() + "inbox";
}

std::string SpamFolder() {
    return GetProgramFolder() + "spam";
}

std::string MakeMessageFileName(const std::string& folder) {
    const std::string timePart = TimePart();
    long long number = TickCount();
    std::string path = NameAt(folder, timePart, number);
    for (int attempt = 0; attempt < kNameTries && Exists(path); ++attempt) {
        path = NameAt(folder, timePart, ++number);
    }
    return path;
}

bool SaveEmail(const std::string& filePath, const CEmailMsg& message, std::string_view accountName,
               std::string_view reason) {
    return WriteMessageFile(filePath, MessageFileContent(message, accountName, reason), EReplace::kReplace);
}

std::optional<std::string> SaveEmailToFolder(const std::string& folder, const CEmailMsg& message,
                                             std::string_view accountName, std::string_view reason) {
    return WriteUnderFreeName(folder, MessageFileContent(message, accountName, reason), {});
}

void ReadReasonLine(const std::string& filePath, MessageEntry& fields, std::string& reason) {
    reason.clear();
    // The file's own lines and the message's header block, up to the blank line that ends it: the
    // fields are read from there by the same rules as everywhere else, never from the body.
    std::string header;
    CFileLines lines(filePath);
    bool first = true;
    for (std::string_view line; lines.Next(line); first = false) {
        if (first && line.substr(0, 7) == "REASON:") {
            reason = line.substr(7);
            continue;
        }
        if (line.empty()) {
            break;
        }
        header.append(line);
        header += "\r\n";
    }
    CEmailMsg found;
    ExtractHeaderFields(header, found);
    fields.m_To = std::move(found.m_To);
    fields.m_From = std::move(found.m_From);
    fields.m_Subject = std::move(found.m_Subject);
    fields.m_Date = std::move(found.m_Date);
}

std::string ReadAccountLine(const std::string& filePath) {
    CFileLines lines(filePath);
    for (std::string_view line; lines.Next(line);) {
        if (line.substr(0, 8) == "ACCOUNT:") {
            return std::string(line.substr(8));
        }
    }
    return {};
}

void LoadMessageText(const std::string& filePath, CEmailMsg& message) {
    message.ClearHeaderFields();
    message.m_Attachments.clear();
    ReadNormalisedLines(filePath, message.m_RawText);
    // Only the first line can be the file's own REASON line; the same word further down belongs
    // to the message and must not cut away its header.
    std::string_view body = message.m_RawText;
    if (body.substr(0, 7) == "REASON:") {
        const std::size_t lf = body.find('\n');
        body = lf == std::string_view::npos ? std::string_view() : body.substr(lf + 1);
    }
    message.m_Body.assign(body);
    ExtractHeaderFields(message.m_Body, message);
}

void ClearInboxFolder() {
    ::mkdir(SpamFolder().c_str(), 0700);
    const std::string inbox = InboxFolder();
    if (::mkdir(inbox.c_str(), 0700) == 0 || errno != EEXIST) {
        return;
    }
    for (const std::string& path : FilesInFolder(inbox, "")) {
        ::unlink(path.c_str());
    }
}

std::optional<std::string> CopyToSpamFolder(const std::string& inboxPath, std::string_view reasonLine) {
    std::string lines;
    if (!ReadNormalisedLines(inboxPath, lines)) {
        return std::nullopt;
    }
    std::string content;
    AppendOneLine(content, TrimTrailingWhiteSpace(reasonLine));
    content += lines;
    const std::string spam = SpamFolder();
    return WriteUnderFreeName(spam, content, spam + "/" + FileNamePart(inboxPath));
}

int AutoDeleteOldSpam(SpamPurgeState& state, std::time_t now, CStatusSink* sink) {
    if (!state.m_AutoDelete) {
        return 0;
    }
    if ((now - state.m_LastAutoDeleteTime) / 3600 < 1) {
        return 0;
    }
    std::vector<std::string> old;
    for (std::string& path : FilesInFolder(SpamFolder(), ".eml")) {
        const std::optional<std::time_t> created = CreationTime(path);
        if (created && (now - *created) / 86400 >= state.m_DeleteAfterDaysOld) {
            old.push_back(std::move(path));
        }
    }
    state.m_LastAutoDeleteTime = now;
    int deleted = 0;
    for (const std::string& path : old) {
        deleted += ::unlink(path.c_str()) == 0 ? 1 : 0;
    }
    if (!old.empty() && sink != nullptr) {
        sink->PostStatus(kStatusRecountTrash, 0);
    }
    return deleted;
}

int AutoDeleteOldSpam(CSettings& settings, CStatusSink* sink) {
    SpamPurgeState state{settings.GetAutoDelete(), settings.GetDeleteAfterDaysOld(),
                         settings.GetLastAutoDeleteTime()};
    const std::time_t before = state.m_LastAutoDeleteTime;
    const int deleted = AutoDeleteOldSpam(state, std::time(nullptr), sink);
    if (state.m_LastAutoDeleteTime != before) {
        settings.SetLastAutoDeleteTime(state.m_LastAutoDeleteTime);
    }
    return deleted;
}

}  // namespace sieveclaw
