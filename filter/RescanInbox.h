#pragma once

#include <cstddef>
#include <string_view>

#include "core/AccountList.h"
#include "filter/FilterLists.h"

namespace sieveclaw {

class CStatusSink;
class CUserPrompt;

// The dismissable box (switch "RescanEmails") shown before the first message is judged again.
inline constexpr std::string_view kRescanEmailsMessage =
    "Since you added filters your emails will be rescanned.   Your emails are rescanned so that the emails you "
    "don't want will be filtered out.";

// Judges every remembered good message again after a filter was added, account by account in
// list order, each account's Inbox entries in their order. Runs on the user interface thread while
// the worker may use the same lists; every list is touched one guarded operation at a time.
//
// - Before the first message is judged, prompt shows kRescanEmailsMessage as the dismissable box
//   "RescanEmails"; with no Inbox entries in any account nothing is shown.
// - Each entry's message file is read back with LoadMessageText (no body parsing, so no
//   attachments) and judged by IsSpam without progress. An entry whose file cannot be read or is
//   empty is left alone: there is nothing to judge, and its message must not be taken for a blank
//   one.
// - Spam: the file is moved (renamed, not rewritten: it gets no REASON line) into the spam folder
//   under its own name, or under a fresh message file name when a spam file already has that one;
//   the entry leaves the account's Inbox entries; statusSink (when given) gets
//   kStatusRecountTrash (value 0) and kStatusInboxCount with the account's ListPos in accounts as
//   its value. When the file cannot be moved the entry stays, so the Inbox never lists a message
//   whose file is gone.
//
// Returns the number of messages moved.
std::size_t RescanInbox(const CAccountList& accounts, const CFilterLists& lists, bool autoDelFileExts,
                        CUserPrompt& prompt, CStatusSink* statusSink);

}  // namespace sieveclaw
