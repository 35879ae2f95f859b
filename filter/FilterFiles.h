#pragma once

#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/DataFileDamage.h"
#include "filter/FilterLists.h"

// The files that hold the filter lists, all in the data folder:
//
// - "wordlist.txt": line 1 the number N of From-list entries in decimal, the next N lines the
//   From list, every remaining line the Body list. Entry lines are scrambled (ScrambleText), the
//   count line is not. A count that is not a number reads as 0; a count larger than the file only
//   means that every entry line belongs to the From list.
// - "newfilters.txt": the same; merged into the lists at start-up, then deleted.
// - filter-update files: the same layout unscrambled; merged by the filter update, then deleted.
// - "friends.txt": one friend entry a line, unscrambled.
// - "adminfromlist.txt", "adminbodylist.txt": every entry added to the From or Body list while
//   the administrator switch "/a" is on, appended one a line; never read.
//
// Files are written with CR LF line ends and replaced whole (temporary file, flush, rename);
// readers take LF or CR LF, lines of any length and a leading UTF-8 byte-order mark.
//
// A list file that exists but cannot be read is damaged, and so is a word list (or
// "newfilters.txt") whose count line is not a number: read as 0, it would turn every From entry
// into a Body entry. A damaged file is not merged and never written over (DataFileDamage.h);
// start-up reports it, and the mail check does not run on lists it could not read.
//
// The settings lock passed to the loaders and savers is the application's (the one the mail
// check takes around its own list loads and saves); it is held for the whole read or write, the
// lists themselves are only ever touched one guarded operation at a time.

namespace sieveclaw {

class CSettings;

// Which of the two word lists an entry belongs to.
enum class EFilterList { kFrom, kBody };

// The files, each GetProgramFolder() + name, computed on each call.
std::string WordListPath();
std::string NewFiltersPath();
std::string FriendsPath();
std::string AdminListPath(EFilterList list);

// Reads text in the word-list layout into the From and Body lists; entries already there are
// dropped. scrambled: the entry lines are stored scrambled. Returns the number of non-empty
// entry lines read (an empty one still counts as one of the N From lines).
std::size_t ReadWordListText(std::string_view text, bool scrambled, CFilterLists& lists);

// The word-list file for these entries, scrambled, CR LF ended. An entry whose line would not
// read back as the same entry (its scrambled form holds a line feed or ends in white space) is
// left out rather than written broken, since a broken line would also shift every From entry
// after it into the Body list; such entries are added to unstorable when it is given.
std::string FormatWordListText(const std::vector<std::string>& fromList, const std::vector<std::string>& bodyList,
                               std::vector<std::string>* unstorable = nullptr);

// True when the entry survives a write and a read of the word-list file unchanged.
bool IsStorableWordListEntry(std::string_view entry);

// The first damage of a word-list text (path empty), or nothing.
std::optional<DataFileDamage> FindWordListDamage(std::string_view text);

// Merges the word-list file at path into the lists under settingsLock. A missing file changes
// nothing; nor does a damaged one, which damage (when given) then names. Returns the number of
// non-empty entry lines read.
std::size_t LoadFilterFile(CFilterLists& lists, const std::string& path, bool scrambled, std::mutex& settingsLock,
                           std::optional<DataFileDamage>* damage = nullptr);

// Replaces the word-list file with the lists as they are now, under settingsLock. Refused over a
// damaged file; the old file stays when it could not be written. Entries the file cannot hold are
// left out and reported in unstorable (see FormatWordListText).
SaveResult SaveWordList(const CFilterLists& lists, std::mutex& settingsLock, const std::string& path = WordListPath(),
                        std::vector<std::string>* unstorable = nullptr);

// The friend entries of a "friends.txt" text: every line stripped of white space at both ends,
// empty lines skipped, nothing else changed (duplicates stay).
std::vector<std::string> ParseFriendsText(std::string_view text);

// The "friends.txt" text for these entries. An entry holding a line feed is left out: written, it
// would come back as two friends (one of them possibly a whole domain).
std::string FormatFriendsText(const std::vector<std::string>& friends);

// Appends the entries of the friends file at path to the friends list, under settingsLock.
// A missing file adds nothing, nor does one that cannot be read (damage, when given, names it).
// Returns the number of entries appended.
std::size_t LoadFriends(CFilterLists& lists, std::mutex& settingsLock, const std::string& path = FriendsPath(),
                        std::optional<DataFileDamage>* damage = nullptr);

// Replaces the friends file with the friends list, under settingsLock. Refused over a file that
// could not be read; fails when it could not be written.
SaveResult SaveFriends(const CFilterLists& lists, std::mutex& settingsLock, const std::string& path = FriendsPath());

// True when the program was started with the administrator switch "/a" among its arguments.
bool HasAdministratorSwitch();

// With administrator set, appends entry and a line end to the administrator file of list
// ("adminfromlist.txt" or "adminbodylist.txt"), creating it when missing. Without it nothing
// happens. False only when a write was due and failed.
bool AppendAdminList(std::string_view entry, EFilterList list, bool administrator);

// The start-up load, in this order: the extension list from the settings' "Exts" (with its
// defaults); "wordlist.txt"; "newfilters.txt", which is then deleted; "friends.txt". folder is the
// data folder, ending in '/'.
//
// "newfilters.txt" is deleted only once its entries are safe in "wordlist.txt": when the merge
// brought something new, the word list is saved first, and a failed save keeps the file for the
// next start (merging it twice changes nothing).
//
// Returns every damaged list file, in that order; empty when all read whole.
std::vector<DataFileDamage> LoadFilterListsAtStartup(CFilterLists& lists, const CSettings& settings,
                                                     std::mutex& settingsLock, const std::string& folder);

// What merging the filter-update files did.
struct FilterUpdateResult {
    std::size_t m_EntriesRead = 0;  // non-empty entry lines read from all files
    bool m_ListsGrew = false;       // the sum of the two list sizes changed
    bool m_Saved = false;           // "wordlist.txt" was written
    std::size_t m_FilesDeleted = 0;
};

// The filter update's merge: every file at paths (word-list layout, unscrambled) into the From
// and Body lists; then, when the sum of the two list sizes changed, SaveWordList to wordListPath.
// The files are deleted once their entries are safe: after a successful save, or at once when
// they brought nothing new. When the save fails they stay, so that the next update merges them
// again.
FilterUpdateResult MergeFilterUpdateFiles(CFilterLists& lists, const std::vector<std::string>& paths,
                                          std::mutex& settingsLock, const std::string& wordListPath = WordListPath());

// Adding one From or Body entry by hand (the Filters dialog's "Add"): nothing when the entry is
// already in that list (byte comparison); otherwise it is inserted, handed to AppendAdminList and
// rescan runs (it may be empty). True when the entry was added.
bool AddFilterEntryByHand(CFilterLists& lists, EFilterList list, const std::string& entry, bool administrator,
                          const std::function<void()>& rescan);

}  // namespace sieveclaw
