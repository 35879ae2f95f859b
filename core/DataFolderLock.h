#pragma once

#include <string>
#include <string_view>

// One program at a time checks a data folder: the desktop program and sieveclaw-cli check and run
// each hold the folder's lock file for as long as they run, so no mailbox is checked twice at once
// and no one writes the files another holds in memory. The lock is the kernel's (flock): it goes
// with its process however that ends, so a crash never leaves the folder locked. The file names
// its holder for the program that is refused.

namespace sieveclaw {

// The lock file of folder (which ends in '/').
std::string DataFolderLockPath(const std::string& folder);

// The holder's line as written in the lock file: "<process id> <program>". Nothing usable (a
// file the holder has not written yet, or one someone edited) gives a process id of 0.
struct DataFolderHolder {
    long m_ProcessId = 0;
    std::string m_Program;
};
DataFolderHolder ReadDataFolderHolder(std::string_view text);

// Not thread-safe; one object per process and folder.
class CDataFolderLock {
public:
    CDataFolderLock() = default;
    ~CDataFolderLock();  // Release()
    CDataFolderLock(const CDataFolderLock&) = delete;
    CDataFolderLock& operator=(const CDataFolderLock&) = delete;

    // Takes the lock of folder for this process, which it names program ("sieveclaw",
    // "sieveclaw-cli run"). False when another process holds it (Holder() then says who) or the
    // lock file cannot be opened (Error()). The lock file is never handed to a child process.
    bool Acquire(const std::string& folder, std::string_view program);
    void Release();
    bool IsHeld() const { return m_Fd >= 0; }

    // After a refused Acquire: who holds the folder.
    const DataFolderHolder& Holder() const { return m_Holder; }
    // Why the lock file could not be used; empty when another process holds it.
    const std::string& Error() const { return m_Error; }

private:
    int m_Fd = -1;
    DataFolderHolder m_Holder;
    std::string m_Error;
};

// What a refused program says: "the data folder <folder> is in use by <program> (process <id>)",
// or the reason the lock file could not be used.
std::string DataFolderInUseText(const std::string& folder, const CDataFolderLock& lock);

}  // namespace sieveclaw
