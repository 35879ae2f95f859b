#include "filter/RescanInbox.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "core/ActivityLog.h"
#include "core/Settings.h"
#include "core/StatusSink.h"
#include "core/UserPrompt.h"
#include "filter/SpamDecision.h"
#include "mail/CEmailMsg.h"
#include "mail/MessageFiles.h"

namespace sieveclaw {

namespace {

// Far more than name clashes can need; a bound so that a folder refusing every name cannot hold
// the user interface forever.
constexpr int kNameTries = 100;

std::string FileNamePart(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Renames from to to unless to exists. Falls back to link and unlink on file systems without
// RENAME_NOREPLACE. errno says why on failure (EEXIST: the name is taken).
bool RenameNoReplace(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return false;
    }
    if (::link(from.c_str(), to.c_str()) != 0) {
        return false;
    }
    ::unlink(from.c_str());
    return true;
}

// Moves the message file into the spam folder under its own name, or under a fresh one when a
// spam file has that name already. The new path, or nothing when it could not be moved.
std::optional<std::string> MoveToSpamFolder(const std::string& path) {
    const std::string spam = SpamFolder();
    ::mkdir(spam.c_str(), 0700);
    std::string target = spam + "/" + FileNamePart(path);
    for (int attempt = 0; attempt < kNameTries; ++attempt) {
        if (RenameNoReplace(path, target)) {
            return target;
        }
        if (errno != EEXIST) {
            return std::nullopt;
        }
        target = MakeMessageFileName(spam);
    }
    return std::nullopt;
}

}  // namespace

std::size_t RescanInbox(const CAccountList& accounts, const CFilterLists& lists, bool autoDelFileExts,
                        CUserPrompt& prompt, CStatusSink* statusSink) {
    bool boxShown = false;
    std::size_t moved = 0;
    for (ListPos accountPos = accounts.First(); accountPos != kNoPos; accountPos = accounts.Next(accountPos)) {
        std::shared_ptr<CMessageEntryList> inbox;
        accounts.VisitAt(accountPos, [&inbox](const EmailAccountInfo& account) { inbox = account.m_InboxEntries; });
        if (!inbox) {
            continue;
        }
        for (ListPos entryPos = inbox->First(); entryPos != kNoPos; entryPos = inbox->Next(entryPos)) {
            const std::optional<MessageEntry> entry = inbox->GetAt(entryPos);
            if (!entry) {
                continue;
            }
            if (!boxShown) {
                prompt.ShowDismissable(std::string(kMsgRescanEmails), std::string(kRescanEmailsMessage));
                boxShown = true;
            }
            CEmailMsg message;
            LoadMessageText(entry->m_FilePath, message);
            if (message.m_RawText.empty()) {
                continue;
            }
            std::string reason;
            if (!IsSpam(message, reason, lists, autoDelFileExts, nullptr)) {
                continue;
            }
            if (!MoveToSpamFolder(entry->m_FilePath)) {
                WriteActivityLog2("RescanInbox - could not move to the spam folder: ", entry->m_FilePath);
                continue;
            }
            inbox->RemoveAt(entryPos);
            ++moved;
            if (statusSink != nullptr) {
                statusSink->PostStatus(kStatusRecountTrash, 0);
                statusSink->PostStatus(kStatusInboxCount, static_cast<std::int64_t>(accountPos));
            }
        }
    }
    return moved;
}

}  // namespace sieveclaw
