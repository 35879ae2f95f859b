#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "engine/MessageRows.h"

// What the Trash Can window's commands do to the lists and files, in the manner of InboxCommands.h:
// rows and the selected positions (ascending) in, the positions of the rows that leave the list
// out. Salvage and bounce send mail and live in SendMessageFile.h.

namespace sieveclaw {

inline constexpr std::string_view kRemoveFiltersQuestion =
    "Are you sure that you want to remove the following filters?  Be sure that what you are removing cannot be "
    "used in an undesirable context.\n\n";

// The Trash Can's Delete: after ConfirmDelete, the selected rows' files are deleted (a file already
// gone is no matter) and the rows leave the list.
std::vector<std::size_t> DeleteSpamMessages(const CListCommandContext& context, const std::vector<CListRow>& rows,
                                            const std::vector<std::size_t>& selected);

// Delete All: the same for every row, with the question for several.
std::vector<std::size_t> DeleteAllSpam(const CListCommandContext& context, const std::vector<CListRow>& rows);

// The filter a spam reason names: the reason without its last character (the closing quote),
// from after its first "'" (the whole shortened text when there is none).
std::string FilterOfReason(std::string_view reason);

// Remove Filter: after the question, the filters the selected rows' reasons name leave the Body
// list and the From list (exact comparison) wherever they are; the word list is saved. The rows
// stay.
void RemoveFilters(const CListCommandContext& context, const std::vector<CListRow>& rows,
                   const std::vector<std::size_t>& selected);

// The Trash Can's Block all email from this email address: after the question, every selected
// sender as shown not yet on the From list joins it (friends are not consulted); empty senders
// are left out, as an empty entry would block every sender. The rows stay.
void BlockSendersFromTrash(const CListCommandContext& context, const std::vector<CListRow>& rows,
                           const std::vector<std::size_t>& selected);

}  // namespace sieveclaw
