#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "core/AccountList.h"
#include "core/DataFileDamage.h"
#include "core/GuardedList.h"
#include "core/MessageEntry.h"
#include "core/StatusSink.h"
#include "core/UserPrompt.h"
#include "engine/SharedState.h"

// The rows of the Inbox and Trash Can windows as plain records, and what their commands need to
// change lists and files. The windows show these rows; the commands (InboxCommands.h,
// TrashCommands.h) take them, with the positions the user selected, and answer which rows go.

namespace sieveclaw {

// The small picture in front of a row.
enum class ERowMark {
    kNone,
    kFriend,    // Inbox, friend marking on: the sender is on the friends list as shown
    kStranger,  // Inbox, friend marking on: any other sender
    kYoung,     // Trash Can: younger than the automatic deletion age
    kOld,       // Trash Can: at least that old
};

struct CListRow {
    // To, From, Subject and Date as stored, which is what identifies the message to the lists
    // the mail check reads, and the message file's path.
    MessageEntry m_Stored;
    // The same four as people read them (DisplaySummary): what the cells show and what the user
    // takes from them into a list.
    MessageEntry m_Shown;
    std::string m_Account;  // the account the message came from
    std::string m_Reason;   // Trash Can: the text after "REASON:", its leading blank included
    ERowMark m_Mark = ERowMark::kNone;
};

// What a list window's command works with.
struct CListCommandContext {
    CSharedState& m_State;
    CUserPrompt& m_Prompt;
    CStatusSink* m_Sink = nullptr;  // the main window; may be null
    bool m_Administrator = false;   // "/a": entries added to the From and Body lists are also logged

    // A list file that was not written is named in an error box: the change stays in memory.
    void ShowIfNotSaved(const SaveResult& saved) const;
    // Tells the main window, when there is one.
    void Post(int code, std::int64_t value) const;
};

// The Inbox's rows: every account's Inbox entries, account by account in list order, each list in
// its order. With friends given (friend marking on), a row whose From equals a friend entry (as
// shown or as stored) is marked kFriend, every other kStranger.
std::vector<CListRow> InboxRows(const CAccountList& accounts, const GuardedList<std::string>* friends);

// The Trash Can's rows: one per message file of the spam folder, in name order; with accountFilter
// not empty only the files whose ACCOUNT line names exactly that account. A file at least
// deleteAfterDays whole days old (from its creation, as the purge counts) is marked kOld.
std::vector<CListRow> TrashRows(const std::string& accountFilter, int deleteAfterDays, std::time_t now);

// The automatic deletion age the Trash Can works with: one outside 1 to 365 days is 7.
int ClampDeleteAfterDays(int days);

// The row to select after rows were deleted: the one now at the lowest deleted position, or the
// last one when that position is past the end; -1 when no row is left.
int RowToSelectAfterDelete(std::size_t lowestDeleted, std::size_t rowsLeft);

}  // namespace sieveclaw
