#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "core/Settings.h"

// The main window's accounts list as plain rows: what its counts are and how it sorts. Shared with
// sieveclaw-cli check, which prints the same list.

namespace sieveclaw {

// The Trash Can count of each row: every message file of the spam folder counts for the first row
// whose name equals its ACCOUNT line without regard to letter case (a file of an account that no
// longer exists counts for none). One count per name, in order.
std::vector<std::size_t> CountSpamFilesByAccount(const std::vector<std::string>& names);

// The columns of the accounts list.
enum EAccountColumn : int { kAccountNameColumn = 0, kInboxCountColumn = 1, kTrashCountColumn = 2 };

// A click on a column heading: the same column flips between 1 and 2, another starts at 1.
ListSortState AccountSortAfterClick(ListSortState current, int column);

// Whether the row showing a goes before the one showing b (the texts of the sorted column). The
// name column ignores letter case and ascends in direction 1; the count columns compare numbers,
// larger first in direction 1 and smaller first in direction 2.
bool AccountRowBefore(int column, int direction, std::string_view a, std::string_view b);

}  // namespace sieveclaw
