#include "mail/MessageFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <filesystem>
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

// Ends the name of every copy that holds the message itself (see MakeMessageFileName).
constexpr std::string_view kMessageCopyEnding = "m.eml";
constexpr std::size_t kTimePartLength = 12;

std::string NameAt(const std::string& folder, const std::string& timePart, long long number) {
    return folder + "/" + timePart + std::to_string(number) + std::string(kMessageCopyEnding);
}

bool IsDigits(std::string_view text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
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

std::string FileNamePart(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A message file taken apart: the program's own lines (trimmed, without their line ends) and the
// message after them as it is in the file.
struct StoredCopy {
    std::string m_ReasonLine;   // empty when the file has none
    std::string m_AccountLine;  // empty when the file has none
    std::string_view m_Message;
};

// Only the first line can be the file's own REASON line, and only the line after it (or the first
// line) its ACCOUNT line: the same words further down belong to the message.
StoredCopy SplitStoredCopy(std::string_view bytes) {
    StoredCopy copy;
    const auto takeLine = [&bytes](std::string_view prefix, std::string& into) {
        if (!bytes.starts_with(prefix)) {
            return;
        }
        const std::size_t lf = bytes.find('\n');
        into = TrimTrailingWhiteSpace(bytes.substr(0, lf));
        bytes = lf == std::string_view::npos ? std::string_view() : bytes.substr(lf + 1);
    };
    takeLine("REASON:", copy.m_ReasonLine);
    takeLine("ACCOUNT:", copy.m_AccountLine);
    copy.m_Message = bytes;
    return copy;
}

// Copies written before copies held the message itself kept the POP3 wire form: every line that
// starts with "." doubled, and the end-marker line "." last. A text has that form when it ends
// with the marker line and no other line starts with a single ".": the server doubles every such
// dot, so an older copy can hold none.
bool HasWireForm(std::string_view text) {
    if (!(text == ".\r\n" || text.ends_with("\r\n.\r\n"))) {
        return false;
    }
    const std::string_view lines = text.substr(0, text.size() - 3);
    for (std::size_t start = 0; start < lines.size();) {
        const std::size_t lf = lines.find('\n', start);
        if (lines[start] == '.' && (start + 1 >= lines.size() || lines[start + 1] != '.')) {
            return false;
        }
        start = lf == std::string_view::npos ? lines.size() : lf + 1;
    }
    return true;
}

// The message of a wire-form text: one dot taken off every line that starts with two, and
// without the end-marker line.
std::string FromWireForm(std::string_view text) {
    const std::string_view lines = text.substr(0, text.size() - 3);
    std::string message;
    message.reserve(lines.size());
    for (std::size_t start = 0; start < lines.size();) {
        const std::size_t lf = lines.find('\n', start);
        const std::size_t end = lf == std::string_view::npos ? lines.size() : lf + 1;
        const std::size_t stuffed = lines[start] == '.' ? 1 : 0;
        message.append(lines.substr(start + stuffed, end - start - stuffed));
        start = end;
    }
    return message;
}

// The message a file at path holds. A copy named as MakeMessageFileName names them holds the
// message itself, whatever its last line is; any other file is taken as an older copy when it
// has the wire form.
std::string MessageOfCopy(const std::string& path, std::string_view message) {
    if (IsMessageCopyName(path) || !HasWireForm(message)) {
        return std::string(message);
    }
    return FromWireForm(message);
}

// The reason and the four fields of the stored message's header block (read up to its first blank
// line, by the rules of ExtractHeaderFields, never from the body), and with withAccount the text
// of the first line that starts with "ACCOUNT:", wherever it stands.
StoredSummary ReadSummary(const std::string& filePath, bool withAccount) {
    StoredSummary summary;
    std::string header;
    CFileLines lines(filePath);
    bool first = true;
    bool accountFound = !withAccount;
    bool inHeader = true;
    for (std::string_view line; lines.Next(line); first = false) {
        if (!accountFound && line.substr(0, 8) == "ACCOUNT:") {
            summary.m_Account = line.substr(8);
            accountFound = true;
        }
        if (!inHeader) {
            if (accountFound) {
                break;
            }
            continue;
        }
        if (first && line.substr(0, 7) == "REASON:") {
            summary.m_Reason = line.substr(7);
            continue;
        }
        if (line.empty()) {
            inHeader = false;
            if (accountFound) {
                break;
            }
            continue;
        }
        header.append(line);
        header += "\r\n";
    }
    CEmailMsg found;
    ExtractHeaderFields(header, found);
    summary.m_Fields.m_To = std::move(found.m_To);
    summary.m_Fields.m_From = std::move(found.m_From);
    summary.m_Fields.m_Subject = std::move(found.m_Subject);
    summary.m_Fields.m_Date = std::move(found.m_Date);
    return summary;
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

bool IsMessageCopyName(const std::string& path) {
    const std::string name = FileNamePart(path);
    if (name.size() <= kTimePartLength + kMessageCopyEnding.size() || !name.ends_with(kMessageCopyEnding)) {
        return false;
    }
    std::string_view number = std::string_view(name).substr(
        kTimePartLength, name.size() - kTimePartLength - kMessageCopyEnding.size());
    if (number.starts_with('-')) {
        number.remove_prefix(1);
    }
    return IsDigits(std::string_view(name).substr(0, kTimePartLength)) && IsDigits(number);
}

bool SaveEmail(const std::string& filePath, const CEmailMsg& message, std::string_view accountName,
               std::string_view reason) {
    return WriteMessageFile(filePath, MessageFileContent(message, accountName, reason), EReplace::kReplace);
}

std::optional<std::string> SaveEmailToFolder(const std::string& folder, const CEmailMsg& message,
                                             std::string_view accountName, std::string_view reason) {
    return WriteUnderFreeName(folder, MessageFileContent(message, accountName, reason), {});
}

std::optional<std::string> SaveEmailToTemporaryFile(const CEmailMsg& message, std::string_view accountName,
                                                    std::string_view reason) {
    std::error_code failure;
    const std::filesystem::path folder = std::filesystem::temp_directory_path(failure);
    if (failure) {
        return std::nullopt;
    }
    // The name is taken by creating the file; SaveEmail then replaces it whole.
    std::string path = (folder / "sieveclaw-XXXXXX").string();
    const int fd = ::mkostemp(path.data(), O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    ::close(fd);
    if (!SaveEmail(path, message, accountName, reason)) {
        ::unlink(path.c_str());
        return std::nullopt;
    }
    return path;
}

void ReadReasonLine(const std::string& filePath, MessageEntry& fields, std::string& reason) {
    StoredSummary summary = ReadSummary(filePath, false);
    fields.m_To = std::move(summary.m_Fields.m_To);
    fields.m_From = std::move(summary.m_Fields.m_From);
    fields.m_Subject = std::move(summary.m_Fields.m_Subject);
    fields.m_Date = std::move(summary.m_Fields.m_Date);
    reason = std::move(summary.m_Reason);
}

StoredSummary ReadStoredSummary(const std::string& filePath) {
    return ReadSummary(filePath, true);
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
    message.m_RawText.clear();
    message.m_Body.clear();
    std::string bytes;
    if (!ReadFileBytes(filePath, bytes)) {
        return;
    }
    const StoredCopy copy = SplitStoredCopy(bytes);
    std::string& text = message.m_RawText;
    text.reserve(bytes.size() + 4);
    if (!copy.m_ReasonLine.empty()) {
        text += copy.m_ReasonLine + "\r\n";
    }
    const std::size_t bodyStart = text.size();
    if (!copy.m_AccountLine.empty()) {
        text += copy.m_AccountLine + "\r\n";
    }
    // Lines keep their trailing blanks: they are part of the message, and a salvaged message must
    // arrive as it was sent.
    AppendWithCrLf(text, MessageOfCopy(filePath, copy.m_Message));
    message.m_Body.assign(text, bodyStart);
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
    std::string bytes;
    if (!ReadFileBytes(inboxPath, bytes)) {
        return std::nullopt;
    }
    const StoredCopy copy = SplitStoredCopy(bytes);
    std::string content;
    AppendOneLine(content, TrimTrailingWhiteSpace(reasonLine));
    if (!copy.m_AccountLine.empty()) {
        AppendOneLine(content, copy.m_AccountLine);
    }
    AppendWithCrLf(content, MessageOfCopy(inboxPath, copy.m_Message));
    // The copy holds the message itself, so its name must say so; an older inbox copy's name gets
    // the ending.
    const std::string spam = SpamFolder();
    std::string name = FileNamePart(inboxPath);
    if (!IsMessageCopyName(name)) {
        name = name.ends_with(".eml") ? name.substr(0, name.size() - 4) : name;
        name += kMessageCopyEnding;
    }
    return WriteUnderFreeName(spam, content, IsMessageCopyName(name) ? spam + "/" + name : std::string());
}

std::optional<std::time_t> FileCreationTime(const std::string& path) {
    struct statx info {};
    if (::statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BTIME | STATX_MTIME, &info) != 0) {
        return std::nullopt;
    }
    if ((info.stx_mask & STATX_BTIME) != 0) {
        return static_cast<std::time_t>(info.stx_btime.tv_sec);
    }
    return static_cast<std::time_t>(info.stx_mtime.tv_sec);
}

bool IsOldSpam(std::time_t created, std::time_t now, int deleteAfterDaysOld) {
    return (now - created) / 86400 >= deleteAfterDaysOld;
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
        const std::optional<std::time_t> created = FileCreationTime(path);
        if (created && IsOldSpam(*created, now, state.m_DeleteAfterDaysOld)) {
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
