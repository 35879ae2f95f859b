#include "mail/MessageFileBatch.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "core/ActivityLog.h"
#include "mail/MessageFiles.h"

namespace sieveclaw {

namespace {

// Far more tries than same-millisecond saves can ever need, as for a single message file.
constexpr int kNameTries = 10000;

bool Exists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

bool CloseChecked(int fd) {
    // A close that reports an error may have lost written bytes.
    return ::close(fd) == 0 || errno == EINTR;
}

}  // namespace

CMessageFileBatch::CMessageFileBatch() : m_Steps(MessageFileSteps()) {}

CMessageFileBatch::~CMessageFileBatch() {
    for (CWaiting& waiting : m_Waiting) {
        Discard(waiting);
    }
}

void CMessageFileBatch::Discard(CWaiting& waiting) {
    if (waiting.m_Fd >= 0) {
        ::close(waiting.m_Fd);
        waiting.m_Fd = -1;
    }
    ::unlink(waiting.m_Temporary.c_str());
}

int CMessageFileBatch::WriteTemporary(const std::string& preferred, const std::string& content,
                                      std::string& temporary) {
    temporary = preferred + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    const mode_t mask = ::umask(0);
    ::umask(mask);
    if (::fchmod(fd, 0600 & ~mask) != 0 || !m_Steps.Write(fd, content)) {
        const int saved = errno;
        ::close(fd);
        ::unlink(temporary.c_str());
        errno = saved;
        return -1;
    }
    return fd;
}

bool CMessageFileBatch::AddDurable(const std::string& folder, const CEmailMsg& message, std::string_view accountName,
                                   std::string_view reason) {
    WriteActivityLog("SaveEmail - Entered");
    CWaiting waiting;
    waiting.m_Folder = folder;
    waiting.m_Preferred = MakeMessageFileName(folder);
    const std::string content = MessageFileContent(message, accountName, reason);
    waiting.m_Fd = WriteTemporary(waiting.m_Preferred, content, waiting.m_Temporary);
    WriteActivityLog(waiting.m_Fd >= 0 ? "SaveEmail - created the file.  Saving data"
                                       : "SaveEmail - Failed to create the file");
    WriteActivityLog("SaveEmail - Leaving");
    if (waiting.m_Fd < 0) {
        return false;
    }
    m_WaitingBytes += content.size();
    m_Waiting.push_back(std::move(waiting));
    return true;
}

std::vector<std::optional<std::string>> CMessageFileBatch::MakeDurable() {
    std::vector<std::optional<std::string>> paths(m_Waiting.size());
    // One flush of the file system writes the whole group at once; the flush of each file after
    // it then finds little or nothing left to write. Only the flushes of the files count.
    if (m_Waiting.size() > 1) {
        ::syncfs(m_Waiting.front().m_Fd);
    }
    // The same order as one file alone: the data, then the name, then the folder that holds it.
    for (std::size_t i = 0; i < m_Waiting.size(); ++i) {
        CWaiting& waiting = m_Waiting[i];
        const bool flushed = m_Steps.FlushFile(waiting.m_Fd);
        const bool closed = CloseChecked(waiting.m_Fd);
        waiting.m_Fd = -1;
        if (flushed && closed) {
            paths[i] = waiting.m_Preferred;
        } else {
            ::unlink(waiting.m_Temporary.c_str());
        }
    }
    for (std::size_t i = 0; i < m_Waiting.size(); ++i) {
        if (!paths[i]) {
            continue;
        }
        CWaiting& waiting = m_Waiting[i];
        // The name was free when the copy was written; another writer may have taken it since.
        if (Exists(*paths[i])) {
            paths[i] = MakeMessageFileName(waiting.m_Folder);
        }
        if (!m_Steps.Place(waiting.m_Temporary, *paths[i], EReplace::kKeepExisting)) {
            ::unlink(waiting.m_Temporary.c_str());
            paths[i].reset();
        }
    }
    std::vector<std::string> folders;
    for (std::size_t i = 0; i < m_Waiting.size(); ++i) {
        if (paths[i] && std::find(folders.begin(), folders.end(), m_Waiting[i].m_Folder) == folders.end()) {
            folders.push_back(m_Waiting[i].m_Folder);
        }
    }
    for (const std::string& folder : folders) {
        if (m_Steps.FlushFolder(folder)) {
            continue;
        }
        // A name that might not survive a crash is no copy to delete a message for.
        for (std::size_t i = 0; i < m_Waiting.size(); ++i) {
            if (paths[i] && m_Waiting[i].m_Folder == folder) {
                ::unlink(paths[i]->c_str());
                paths[i].reset();
            }
        }
    }
    m_Waiting.clear();
    m_WaitingBytes = 0;
    return paths;
}

std::optional<std::string> CMessageFileBatch::AddPlaced(const std::string& folder, const CEmailMsg& message,
                                                        std::string_view accountName, std::string_view reason) {
    WriteActivityLog("SaveEmail - Entered");
    const std::string content = MessageFileContent(message, accountName, reason);
    std::optional<std::string> placed;
    std::string path = MakeMessageFileName(folder);
    for (int attempt = 0; attempt < kNameTries && !placed; ++attempt) {
        std::string temporary;
        const int fd = WriteTemporary(path, content, temporary);
        if (fd < 0) {
            break;
        }
        if (!CloseChecked(fd)) {
            ::unlink(temporary.c_str());
            break;
        }
        if (m_Steps.Place(temporary, path, EReplace::kKeepExisting)) {
            placed = path;
        } else if (errno == EEXIST) {
            path = MakeMessageFileName(folder);
        } else {
            break;
        }
    }
    WriteActivityLog(placed ? "SaveEmail - created the file.  Saving data" : "SaveEmail - Failed to create the file");
    WriteActivityLog("SaveEmail - Leaving");
    if (placed && std::find(m_PlacedFolders.begin(), m_PlacedFolders.end(), folder) == m_PlacedFolders.end()) {
        m_PlacedFolders.push_back(folder);
    }
    return placed;
}

bool CMessageFileBatch::FlushPlaced() {
    if (m_PlacedFolders.empty()) {
        return true;
    }
    bool flushed = true;
    // One flush of the file system writes every placed copy, where a flush each would cost one
    // disk round trip per message.
    const int fd = ::open(m_PlacedFolders.front().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    flushed = fd >= 0 && ::syncfs(fd) == 0;
    if (fd >= 0) {
        ::close(fd);
    }
    for (const std::string& folder : m_PlacedFolders) {
        flushed = m_Steps.FlushFolder(folder) && flushed;
    }
    m_PlacedFolders.clear();
    if (!flushed) {
        WriteActivityLog("EmailThread - Could not flush the copies of good mail to disk");
    }
    return flushed;
}

}  // namespace sieveclaw
