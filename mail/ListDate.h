#pragma once

#include <cstdint>
#include <ctime>
#include <string_view>

// The date cells of the Inbox and Trash Can lists as a point in time to sort by. Cells hold the
// Date field as the sender wrote it, so the reading is lenient: a time of day, then a slashed
// month/day/year date or words for day, month name and year; whatever is missing is taken from
// now.

namespace sieveclaw {

// The cell as a time value, read as local time:
// - an empty cell is now (written "%m/%d/%y %H:%M:%S" and read like any other);
// - a cell without ':' is 0, older than everything;
// - hours are the two characters before the first ':', minutes run to the next ':' (or, when there
//   is none, to the next blank), seconds from there to the next blank; each is a decimal number,
//   and the time's text is taken out of the cell;
// - what is left is a slashed month/day/year date when it holds '/' (a year below 2000 gets 2000
//   added; the words after it are not read), otherwise up to four blank-separated words: a word
//   beginning with a letter is a month when it is exactly a three-letter month name in any case
//   ("jan" to "dec"), a word of four characters is the year (one below last year reads as this
//   year), a word starting with '+', '-' or '(' is a time zone and is passed over, any other word
//   is the day;
// - a missing day, month or year is today's.
std::int64_t ParseListDate(std::string_view cell, std::time_t now);

}  // namespace sieveclaw
