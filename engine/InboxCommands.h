#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "engine/MessageRows.h"

// What the Inbox window's commands do to the lists and files. Each takes the window's rows and
// the positions the user selected (ascending), asks its question through the context's prompt,
// and answers the positions of the rows that leave the list (ascending). A message moved to the
// Trash Can or deleted is deleted on its server at the next check.

namespace sieveclaw {

inline constexpr std::string_view kDeleteOneQuestion = "Are you sure that you want to delete this email?";
inline constexpr std::string_view kDeleteSeveralQuestion = "Are you sure that you want to delete these emails?";
inline constexpr std::string_view kBlockSendersQuestion =
    "Are you sure that you want to block all of these email addresses from sending you email?\n\n";
inline constexpr std::string_view kInboxAddFriendsQuestion =
    "Are you sure that you want to add the following email addresses to your friends list?  Email from these "
    "people will not ever be scanned for spam.\n\n";
inline constexpr std::string_view kTrashAddFriendsQuestion =
    "Are you sure that you want to add all of these email addresses to your list of Friends?\n\n";
inline constexpr std::string_view kBlockSubjectPrompt =
    "Edit this subject and leave only the words that irritate you. That is, the words you want Sieveclaw to filter "
    "email for.";

enum class EMoveOutcome {
    kMoved,       // the spam copy is written and the message will be deleted on its server
    kNotWritten,  // no spam copy could be written: nothing changed
    kNoAccount,   // the copy is written, but its account is no longer configured
    kNotListed,   // the copy is written, but the account no longer lists the message
};

// Writes the Inbox file's message into the spam folder under reasonLine ("REASON: ..."); then, by
// the copy's ACCOUNT line and header, takes the message out of its account's Inbox entries and
// onto the trash deletions, and tells the main window to count that account's Inbox
// (kStatusInboxCount) and the Trash Can (kStatusRecountTrash) again. The Inbox file stays.
EMoveOutcome MoveToTrash(const CListCommandContext& context, const std::string& inboxPath,
                         const std::string& reasonLine);

// Block all email from this email address: the senders as shown (white space at either end
// removed, empty ones left out) are asked about; a friend is named in a box and not added; the
// others join the From list. Then every row whose From holds one of them (as a case-sensitive
// substring, friends included) moves to the Trash Can.
std::vector<std::size_t> BlockSenders(const CListCommandContext& context, const std::vector<CListRow>& rows,
                                      const std::vector<std::size_t>& selected);

// The domains the Block These Domains box offers for the selected rows: what follows the first
// '@' of each sender, or the whole sender when it has none, white space at either end removed.
std::vector<std::string> DomainsToOffer(const std::vector<CListRow>& rows, const std::vector<std::size_t>& selected);

// Block all email from these domains (as the box returned them): each joins the From list, and
// every row whose From holds '@' followed by one of them moves to the Trash Can.
std::vector<std::size_t> BlockDomains(const CListCommandContext& context, const std::vector<CListRow>& rows,
                                      const std::vector<std::string>& domains);

// Block all email with these subject words: the entry joins the Body list, and every row whose
// Subject holds it (case-sensitive) moves to the Trash Can.
std::vector<std::size_t> BlockSubjectWords(const CListCommandContext& context, const std::vector<CListRow>& rows,
                                           const std::string& entry);

// Add to my Friends list: after question, every selected sender as shown that is not a friend yet
// joins the friends list, which is saved. Empty senders are left out (an empty friend would pass
// every sender). The Inbox trims the senders; the Trash Can takes them as they are shown.
void AddSendersToFriends(const CListCommandContext& context, const std::vector<CListRow>& rows,
                         const std::vector<std::size_t>& selected, std::string_view question, bool trim);

// The delete question for count rows; true only for Yes.
bool ConfirmDelete(CUserPrompt& prompt, std::size_t count);

// Deletes one Inbox message: it goes onto its account's pending deletions and out of its Inbox
// entries (the main window is told to count that Inbox again), and its file is deleted. When the
// file cannot be read any more, the row's own account and header stand in for it. When the account
// is no longer configured nothing changes: the file stays.
void DeleteInboxMessage(const CListCommandContext& context, const CListRow& row);

// The Inbox's Delete: after ConfirmDelete, DeleteInboxMessage for every selected row from the last
// to the first. Every selected row leaves the list, whatever became of its message.
std::vector<std::size_t> DeleteInboxMessages(const CListCommandContext& context, const std::vector<CListRow>& rows,
                                             const std::vector<std::size_t>& selected);

}  // namespace sieveclaw
