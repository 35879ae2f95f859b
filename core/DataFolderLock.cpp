#include "core/DataFolderLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

#include "core/PrintableText.h"

namespace sieveclaw {

namespace {

constexpr std::size_t kHolderBytes = 512;

}  // namespace

std::string DataFolderLockPath(const std::string& folder) {
    return folder + "sieveclaw.lock";
}

DataFolderHolder ReadDataFolderHolder(std::string_view text) {
    DataFolderHolder holder;
    text = text.substr(0, text.find('\n'));
    std::size_t i = 0;
    long id = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9' && i < 10; ++i) {
        id = id * 10 + (text[i] - '0');
    }
    if (i == 0 || i >= text.size() || text[i] != ' ') {
        return holder;
    }
    holder.m_ProcessId = id;
    holder.m_Program = PrintableText(text.substr(i + 1));
    return holder;
}

CDataFolderLock::~CDataFolderLock() {
    Release();
}

bool CDataFolderLock::Acquire(const std::string& folder, std::string_view program) {
    Release();
    m_Holder = {};
    m_Error.clear();
    const std::string path = DataFolderLockPath(folder);
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        m_Error = "the lock file " + path + " cannot be opened: " + std::strerror(errno);
        return false;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        std::array<char, kHolderBytes> bytes{};
        const ssize_t got = ::pread(fd, bytes.data(), bytes.size(), 0);
        ::close(fd);
        if (error != EWOULDBLOCK) {
            m_Error = "the lock file " + path + " cannot be locked: " + std::strerror(error);
            return false;
        }
        m_Holder = ReadDataFolderHolder(std::string_view(bytes.data(), got > 0 ? static_cast<std::size_t>(got) : 0));
        return false;
    }
    const std::string line = std::to_string(::getpid()) + " " + std::string(program) + "\n";
    // The name only helps a refused program say who holds the folder; the lock holds without it,
    // so a failed write changes nothing.
    const bool named =
        ::ftruncate(fd, 0) == 0 && ::pwrite(fd, line.data(), line.size(), 0) == static_cast<ssize_t>(line.size());
    static_cast<void>(named);
    m_Fd = fd;
    return true;
}

void CDataFolderLock::Release() {
    if (m_Fd < 0) {
        return;
    }
    // Emptied first, so that nobody reads a name whose process has let go.
    const bool emptied = ::ftruncate(m_Fd, 0) == 0;
    static_cast<void>(emptied);
    ::close(m_Fd);
    m_Fd = -1;
}

std::string DataFolderInUseText(const std::string& folder, const CDataFolderLock& lock) {
    if (!lock.Error().empty()) {
        return lock.Error();
    }
    const DataFolderHolder& holder = lock.Holder();
    std::string who = holder.m_ProcessId == 0 ? std::string("another program")
                                               : holder.m_Program + " (process " + std::to_string(holder.m_ProcessId) + ")";
    return "the data folder " + folder + " is in use by " + who;
}

}  // namespace sieveclaw
