#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "core/MessageEntry.h"
#include "core/TextFile.h"
#include "mail/CEmailMsg.h"

// The local copies of judged messages: good mail in the "inbox" folder, spam in the "spam"
// folder of the data folder. A file holds an optional "REASON:" line (spam only), the
// "ACCOUNT:" line and the message itself, byte for byte as the server holds it (not the POP3
// wire form: no doubled dots, no end-marker line); every line ends in CR LF.
//
// Copies written before kept the wire form. Readers tell the two apart by the file's name: a copy
// of the message itself is named as MakeMessageFileName names it (ending in "m.eml"), which no
// older copy is. That is the only sound sign, since a message may well end with a line holding a
// single dot, and then its copy ends exactly as an older one. A file named otherwise (an older
// copy, or one placed by hand) is read as an older copy when it has the wire form: it ends with
// the "." line and no other line starts with a single dot, as the server's doubling guarantees.

namespace sieveclaw {

class CSettings;
class CStatusSink;

// The two folders, without a trailing '/'.
std::string InboxFolder();
std::string SpamFolder();

// What a message file holds instead of a message too large to download.
inline constexpr std::string_view kOversizedNotice =
    "This email is larger than your maximum size.  It will not be downloaded to save you time.\r\n";

// folder + "/" + local time as "%H%M%S%m%d%y" + the millisecond tick count (signed 32-bit) +
// "m.eml" (the "m": the file holds the message itself). When that name is taken the number is
// advanced until it is free, so a second message saved in the same millisecond never replaces the
// first.
std::string MakeMessageFileName(const std::string& folder);

// True when the last part of path has the form MakeMessageFileName gives it.
bool IsMessageCopyName(const std::string& path);

// Writes one message file at filePath: the REASON line when reason is not empty, the ACCOUNT
// line, then message.m_RawText, which must be the message itself. The file appears whole or not
// at all (temporary file, flush, rename); an existing file at filePath is replaced. Returns false
// when the copy is not on disk, so that the caller keeps the message on the server. Readers know
// the copy for what it is by a name from MakeMessageFileName.
[[nodiscard]] bool SaveEmail(const std::string& filePath, const CEmailMsg& message, std::string_view accountName,
               std::string_view reason);

// SaveEmail under a fresh MakeMessageFileName in folder that no other writer can take meanwhile.
// The path written, or nothing when the copy could not be written; a path is returned only once
// the file and its name are flushed to disk, so the server may delete the message.
[[nodiscard]] std::optional<std::string> SaveEmailToFolder(const std::string& folder, const CEmailMsg& message,
                                                           std::string_view accountName, std::string_view reason);

// SaveEmail under a new name in the system's temporary folder ($TMPDIR, else /tmp) that no
// other writer can take, for a message that is only sent and then deleted: two at once never
// share a file. The path written, or nothing when the copy could not be written.
[[nodiscard]] std::optional<std::string> SaveEmailToTemporaryFile(const CEmailMsg& message,
                                                                  std::string_view accountName,
                                                                  std::string_view reason);

// The durable steps every message file is written with from now on; a test puts in its own to
// watch their order against the DELE that follows, or to make one fail. nullptr puts the real
// ones back. Set it while no check runs.
void SetMessageFileSteps(CDurableSteps* steps);
// The steps message files are written with now: a test's, or the real ones.
CDurableSteps& MessageFileSteps();

// What SaveEmail writes: the REASON line when reason is not empty, the ACCOUNT line, then
// message.m_RawText, every line ended in CR LF.
std::string MessageFileContent(const CEmailMsg& message, std::string_view accountName, std::string_view reason);

// The four fields of the stored message's header block (read up to its first blank line, by the
// rules of ExtractHeaderFields) into fields, the text after "REASON:" on the first line into
// reason. Empty values for a file that cannot be opened.
void ReadReasonLine(const std::string& filePath, MessageEntry& fields, std::string& reason);

// The text after "ACCOUNT:" on the first line that starts with it; empty when the file cannot be
// opened or has no such line.
std::string ReadAccountLine(const std::string& filePath);

// What the Trash Can lists of a spam file: what ReadReasonLine and ReadAccountLine give, read in
// one pass over the file.
struct StoredSummary {
    MessageEntry m_Fields;  // without the file path
    std::string m_Reason;
    std::string m_Account;
};
StoredSummary ReadStoredSummary(const std::string& filePath);

// Fills message from a message file: m_RawText gets the REASON and ACCOUNT lines (trimmed) and
// the message itself (an older copy's wire form undone), every line ended with CR LF and nothing
// else changed; m_Body the same without the REASON line, and the four summary fields from m_Body.
// A file that cannot be opened gives empty texts. The caller runs Process when it wants the body
// parsed.
void LoadMessageText(const std::string& filePath, CEmailMsg& message);

// Creates the spam and inbox folders; when the inbox folder was already there, deletes every
// file in it (the first check rebuilds the good messages from the servers).
void ClearInboxFolder();

// Writes reasonLine, the ACCOUNT line of the inbox file inboxPath and the message it holds (an
// older copy's wire form undone) as a new file in the spam folder under the inbox file's own name
// (with the ending of a copy of the message itself when it lacked it, or a fresh name when a spam
// file already has that name). The inbox file stays. The path written, or nothing on failure.
[[nodiscard]] std::optional<std::string> CopyToSpamFolder(const std::string& inboxPath, std::string_view reasonLine);

// When the file at path was created where the file system records it, when it last changed
// otherwise; nothing when it cannot be read. Ages of spam count from here.
std::optional<std::time_t> FileCreationTime(const std::string& path);

// True when spam created at created is at least deleteAfterDaysOld whole days old at now: the
// purge deletes it, the Trash Can marks it.
bool IsOldSpam(std::time_t created, std::time_t now, int deleteAfterDaysOld);

// What the purge of old spam needs to know and remembers.
struct SpamPurgeState {
    bool m_AutoDelete = true;
    int m_DeleteAfterDaysOld = 7;
    std::time_t m_LastAutoDeleteTime = 0;  // set to now whenever a purge runs
};

// Deletes spam files at least m_DeleteAfterDaysOld whole days old, at most once per whole hour
// since m_LastAutoDeleteTime and only when m_AutoDelete is on. A file's age counts from its
// creation where the file system records it, from its last change otherwise. Posts
// kStatusRecountTrash to sink when it collected any file. Returns the number of files deleted.
int AutoDeleteOldSpam(SpamPurgeState& state, std::time_t now, CStatusSink* sink);

// The same with the settings "AutoDelete", "DeleteAfterDaysOld" and "LastAutoDeleteTime" (which
// it updates in memory; the next save stores it), at the current time.
int AutoDeleteOldSpam(CSettings& settings, CStatusSink* sink);

}  // namespace sieveclaw
