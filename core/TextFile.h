#pragma once

#include <string>
#include <string_view>
#include <vector>

// Whole-file reads and crash-safe whole-file writes for the program's data files (accounts,
// settings, lists, message files), and the line rules every reader of those files shares.

namespace sieveclaw {

// Reads the whole file into bytes. False (and bytes empty) when it cannot be opened or read.
bool ReadFileBytes(const std::string& path, std::string& bytes);

enum class EReplace {
    kReplace,      // an existing file at path is replaced
    kKeepExisting  // fail (errno EEXIST) rather than replace an existing file
};

// Writes bytes to a temporary file beside path, flushes it to disk and moves it into place, so
// that a crash leaves the old file or the new one, never half of one. The new file gets mode
// (before the umask). False when any step fails; the temporary file is then removed and errno
// tells why.
[[nodiscard]] bool WriteFileAtomically(const std::string& path, std::string_view bytes, unsigned mode = 0600,
                         EReplace replace = EReplace::kReplace);

// The steps that make a written file durable, in the order the write takes them: the bytes into
// the temporary file, the file flushed to disk, the file moved into place, the folder flushed (so
// the new name survives a crash too). Each answers false when it failed, with errno set. The
// default performs them; a test puts in its own to watch their order or to make one fail.
class CDurableSteps {
public:
    virtual ~CDurableSteps() = default;
    virtual bool Write(int fd, std::string_view bytes);
    virtual bool FlushFile(int fd);
    virtual bool Place(const std::string& temporary, const std::string& path, EReplace replace);
    virtual bool FlushFolder(const std::string& folder);
};

// WriteFileAtomically through steps. With kKeepExisting the folder flush counts too: a new name
// that might not survive a crash is taken back and the write fails.
[[nodiscard]] bool WriteFileAtomically(const std::string& path, std::string_view bytes, unsigned mode, EReplace replace,
                         CDurableSteps& steps);

// The paths of the entries of folder that are not folders themselves (files, and links as they
// are), whose names end in suffix ("" takes them all), in name order. Empty when the folder
// cannot be read.
std::vector<std::string> FilesInFolder(const std::string& folder, std::string_view suffix = {});

// The bytes without a leading UTF-8 byte-order mark, which editors and spreadsheet programs on
// other systems put in front of text files.
std::string_view WithoutByteOrderMark(std::string_view bytes);

// The white space every reader of the data files trims.
inline constexpr std::string_view kWhiteSpace = " \t\r\n\v\f";

// The text without white space at either end.
std::string_view StripWhiteSpace(std::string_view text);

// The line without its trailing white space (blanks, tabs, CR, LF, VT, FF), as every reader of
// the data files takes its lines.
std::string_view TrimTrailingWhiteSpace(std::string_view line);

// Appends text with every bare LF made CR LF, so that all its lines end alike (as a mail server
// sends them).
void AppendWithCrLf(std::string& out, std::string_view text);

// Walks a buffer line by line. Lines end at LF; the LF is not part of the line (a CR before it
// is, and trimming removes it). A last line without LF is returned too; an empty buffer has no
// lines.
class CLineReader {
public:
    explicit CLineReader(std::string_view text) : m_Rest(text) {}

    // The next line, or false at the end of the buffer.
    bool Next(std::string_view& line);
    // The next line trimmed; at the end an empty line, as a read past the end of a file gives.
    std::string_view NextTrimmed();
    bool AtEnd() const { return m_Rest.empty(); }

private:
    std::string_view m_Rest;
};

}  // namespace sieveclaw
