#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/TextFile.h"
#include "mail/CEmailMsg.h"

namespace sieveclaw {

// Message files written in groups, so that a check pays for the disk once per group rather than
// once per message.
//
// A copy whose message will be deleted on the server (spam) waits in a temporary file until
// MakeDurable: then every waiting file is flushed, moved to its name, and their folder flushed
// once, the steps a single message file takes, so each copy is on disk before its DELE. A copy
// whose message stays on the server (good mail) gets its name at once and is flushed with all the
// others by FlushPlaced; until then a power cut can cost it, and the next check finds its message
// again.
//
// Used by one thread; the steps are MessageFileSteps() of the moment it is made.
class CMessageFileBatch {
public:
    CMessageFileBatch();
    ~CMessageFileBatch();  // removes the temporary files of copies never made durable
    CMessageFileBatch(const CMessageFileBatch&) = delete;
    CMessageFileBatch& operator=(const CMessageFileBatch&) = delete;

    // Writes a copy that waits for MakeDurable. False when it could not be written (nothing of
    // it is left then).
    bool AddDurable(const std::string& folder, const CEmailMsg& message, std::string_view accountName,
                    std::string_view reason);
    std::size_t Waiting() const { return m_Waiting.size(); }
    std::size_t WaitingBytes() const { return m_WaitingBytes; }
    // Makes every waiting copy durable under a free name of its folder. Their paths, in the order
    // they were added; nothing for a copy that could not be made durable, which is then gone.
    std::vector<std::optional<std::string>> MakeDurable();

    // Writes a copy under a free name of folder at once, without waiting for the disk. Its path,
    // or nothing when it could not be written.
    std::optional<std::string> AddPlaced(const std::string& folder, const CEmailMsg& message,
                                         std::string_view accountName, std::string_view reason);
    // Makes every copy placed since the last call durable at once. False when the disk said no.
    bool FlushPlaced();

private:
    struct CWaiting {
        std::string m_Folder;
        std::string m_Temporary;
        std::string m_Preferred;  // the name it was meant to have when written
        int m_Fd = -1;
    };
    // Writes content to a new temporary file beside preferred; its descriptor, or -1.
    int WriteTemporary(const std::string& preferred, const std::string& content, std::string& temporary);
    static void Discard(CWaiting& waiting);

    CDurableSteps& m_Steps;
    std::vector<CWaiting> m_Waiting;
    std::size_t m_WaitingBytes = 0;
    std::vector<std::string> m_PlacedFolders;  // folders of copies placed since the last flush
};

}  // namespace sieveclaw
