#include "core/TextFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <vector>

namespace sieveclaw {

namespace {

// Closes a descriptor on every path.
class CFileDescriptor {
public:
    explicit CFileDescriptor(int fd) : m_Fd(fd) {}
    CFileDescriptor(const CFileDescriptor&) = delete;
    CFileDescriptor& operator=(const CFileDescriptor&) = delete;
    ~CFileDescriptor() { Close(); }

    int Get() const { return m_Fd; }
    bool Close() {
        if (m_Fd < 0) {
            return true;
        }
        const int fd = m_Fd;
        m_Fd = -1;
        return ::close(fd) == 0;
    }

private:
    int m_Fd;
};

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

}  // namespace

bool ReadFileBytes(const std::string& path, std::string& bytes) {
    bytes.clear();
    CFileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.Get() < 0) {
        return false;
    }
    struct stat info {};
    if (::fstat(file.Get(), &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0) {
        bytes.reserve(static_cast<std::size_t>(info.st_size));
    }
    std::vector<char> chunk(64 * 1024);
    for (;;) {
        const ssize_t got = ::read(file.Get(), chunk.data(), chunk.size());
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            bytes.clear();
            return false;
        }
        if (got == 0) {
            return true;
        }
        bytes.append(chunk.data(), static_cast<std::size_t>(got));
    }
}

bool CDurableSteps::Write(int fd, std::string_view bytes) { return WriteAll(fd, bytes); }

bool CDurableSteps::FlushFile(int fd) { return ::fsync(fd) == 0; }

bool CDurableSteps::Place(const std::string& temporary, const std::string& path, EReplace replace) {
    if (replace == EReplace::kReplace) {
        return ::rename(temporary.c_str(), path.c_str()) == 0;
    }
    // link() refuses an existing name, which rename() would silently replace; the temporary name
    // goes either way.
    const bool linked = ::link(temporary.c_str(), path.c_str()) == 0;
    const int saved = errno;
    ::unlink(temporary.c_str());
    errno = saved;
    return linked;
}

// The rename itself must reach the disk too, or a crash could bring back the old name.
bool CDurableSteps::FlushFolder(const std::string& folder) {
    CFileDescriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return dir.Get() >= 0 && ::fsync(dir.Get()) == 0;
}

bool WriteFileAtomically(const std::string& path, std::string_view bytes, unsigned mode, EReplace replace) {
    CDurableSteps steps;
    return WriteFileAtomically(path, bytes, mode, replace, steps);
}

bool WriteFileAtomically(const std::string& path, std::string_view bytes, unsigned mode, EReplace replace,
                         CDurableSteps& steps) {
    std::string temporary = path + ".XXXXXX";
    CFileDescriptor file(::mkostemp(temporary.data(), O_CLOEXEC));
    if (file.Get() < 0) {
        return false;
    }
    const mode_t mask = ::umask(0);
    ::umask(mask);
    bool ok = ::fchmod(file.Get(), static_cast<mode_t>(mode) & ~mask) == 0 && steps.Write(file.Get(), bytes) &&
              steps.FlushFile(file.Get());
    ok = file.Close() && ok;
    ok = ok && steps.Place(temporary, path, replace);
    if (!ok) {
        const int saved = errno;
        ::unlink(temporary.c_str());
        errno = saved;
        return false;
    }
    if (!steps.FlushFolder(FolderOf(path)) && replace == EReplace::kKeepExisting) {
        const int saved = errno;
        ::unlink(path.c_str());
        errno = saved;
        return false;
    }
    return true;
}

std::string_view WithoutByteOrderMark(std::string_view bytes) {
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    return bytes.starts_with(kByteOrderMark) ? bytes.substr(kByteOrderMark.size()) : bytes;
}

std::string_view StripWhiteSpace(std::string_view text) {
    const std::size_t first = text.find_first_not_of(kWhiteSpace);
    return first == std::string_view::npos ? std::string_view() : TrimTrailingWhiteSpace(text.substr(first));
}

std::string_view TrimTrailingWhiteSpace(std::string_view line) {
    const std::size_t last = line.find_last_not_of(kWhiteSpace);
    return last == std::string_view::npos ? std::string_view() : line.substr(0, last + 1);
}

void AppendWithCrLf(std::string& out, std::string_view text) {
    out.reserve(out.size() + text.size() + 64);
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t lf = text.find('\n', start);
        if (lf == std::string_view::npos) {
            out.append(text.substr(start));
            return;
        }
        out.append(text.substr(start, lf - start));
        if (lf == 0 || text[lf - 1] != '\r') {
            out += '\r';
        }
        out += '\n';
        start = lf + 1;
    }
}

std::vector<std::string> FilesInFolder(const std::string& folder, std::string_view suffix) {
    std::vector<std::string> paths;
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
    if (!dir) {
        return paths;
    }
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name == "." || name == ".." ||
            (name.size() < suffix.size() || name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)) {
            continue;
        }
        const std::string path = folder + "/" + name;
        struct stat info {};
        if (::lstat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode)) {
            paths.push_back(path);
        }
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

bool CLineReader::Next(std::string_view& line) {
    if (m_Rest.empty()) {
        line = {};
        return false;
    }
    const std::size_t end = m_Rest.find('\n');
    if (end == std::string_view::npos) {
        line = m_Rest;
        m_Rest = {};
    } else {
        line = m_Rest.substr(0, end);
        m_Rest.remove_prefix(end + 1);
    }
    return true;
}

std::string_view CLineReader::NextTrimmed() {
    std::string_view line;
    Next(line);
    return TrimTrailingWhiteSpace(line);
}

}  // namespace sieveclaw
