#include "filter/FilterFiles.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <limits>

#include "core/CommandLine.h"
#include "core/DataFileDamage.h"
#include "core/DataFolder.h"
#include "core/LeadingNumber.h"
#include "core/ScrambleText.h"
#include "core/Settings.h"
#include "core/TextFile.h"

namespace sieveclaw {

namespace {

// The count line read like atoi; a negative number counts as 0, and an absurd one simply makes
// every line a From entry without allocating anything for it.
std::size_t CountLineValue(std::string_view line) {
    return LeadingNumber<std::size_t>(line);
}

// Reads the file into the lists under the settings lock. False when the file exists but could
// not be read or is damaged (damage, when given, says where; nothing is merged), so that callers
// do not delete or overwrite what they could not see. Filter-update files come from elsewhere
// and are read as the layout has always been read (checkCount false): a count line that is not a
// number counts 0.
bool MergeWordListFile(CFilterLists& lists, const std::string& path, bool scrambled, std::mutex& settingsLock,
                       std::size_t& entriesRead, bool checkCount = true,
                       std::optional<DataFileDamage>* damage = nullptr) {
    std::lock_guard lock(settingsLock);
    entriesRead = 0;
    std::string bytes;
    DataFileDamage unreadable;
    std::optional<DataFileDamage> found;
    const EDataFileRead read = ReadDataFile(path, bytes, unreadable);
    if (read == EDataFileRead::kUnreadable) {
        found = std::move(unreadable);
    } else if (checkCount && (found = FindWordListDamage(bytes))) {
        found->m_Path = path;
    }
    NoteLoadedFile(path, found);
    if (damage != nullptr) {
        *damage = found;
    }
    if (found) {
        return false;
    }
    entriesRead = ReadWordListText(bytes, scrambled, lists);
    return true;
}

bool FileExists(const std::string& path) {
    return ::access(path.c_str(), F_OK) == 0;
}

std::size_t WordListSize(const CFilterLists& lists) {
    return lists.m_FromList.Count() + lists.m_BodyList.Count();
}

}  // namespace

std::string WordListPath() {
    return GetProgramFolder() + "wordlist.txt";
}
std::string NewFiltersPath() {
    return GetProgramFolder() + "newfilters.txt";
}
std::string FriendsPath() {
    return GetProgramFolder() + "friends.txt";
}
std::string AdminListPath(EFilterList list) {
    return GetProgramFolder() + (list == EFilterList::kFrom ? "adminfromlist.txt" : "adminbodylist.txt");
}

std::size_t ReadWordListText(std::string_view text, bool scrambled, CFilterLists& lists) {
    CLineReader lines(WithoutByteOrderMark(text));
    std::string_view line;
    if (!lines.Next(line)) {
        return 0;
    }
    std::size_t fromLinesLeft = CountLineValue(line);
    std::size_t entriesRead = 0;
    while (lines.Next(line)) {
        // Empty lines count as From lines too, so the block boundary is decided before skipping.
        const bool isFrom = fromLinesLeft > 0;
        if (isFrom) {
            --fromLinesLeft;
        }
        const std::string_view stored = TrimTrailingWhiteSpace(line);
        const std::string plain = scrambled ? ScrambleText(stored) : std::string(stored);
        const std::string_view entry = StripWhiteSpace(plain);
        if (entry.empty()) {
            continue;
        }
        ++entriesRead;
        (isFrom ? lists.m_FromList : lists.m_BodyList).Add(std::string(entry));
    }
    return entriesRead;
}

std::optional<DataFileDamage> FindWordListDamage(std::string_view text) {
    text = WithoutByteOrderMark(text);
    if (StripWhiteSpace(text).empty()) {
        return std::nullopt;
    }
    CLineReader lines(text);
    std::string_view count;
    lines.Next(count);
    count = StripWhiteSpace(count);
    if (count.empty() || count.find_first_not_of("0123456789") != std::string_view::npos) {
        // Read as 0, every From entry would become a Body entry, and the next save would make
        // that permanent.
        return DataFileDamage{{}, 1, "the number of From entries is not a number"};
    }
    return std::nullopt;
}

bool IsStorableWordListEntry(std::string_view entry) {
    const std::string stored = ScrambleText(entry);
    return stored.find('\n') == std::string::npos && TrimTrailingWhiteSpace(stored).size() == stored.size();
}

std::string FormatWordListText(const std::vector<std::string>& fromList, const std::vector<std::string>& bodyList,
                               std::vector<std::string>* unstorable) {
    std::string entries;
    std::size_t fromCount = 0;
    const auto append = [&](const std::vector<std::string>& list, bool isFrom) {
        for (const std::string& entry : list) {
            if (!IsStorableWordListEntry(entry)) {
                if (unstorable != nullptr) {
                    unstorable->push_back(entry);
                }
                continue;
            }
            entries += ScrambleText(entry);
            entries += "\r\n";
            fromCount += isFrom ? 1 : 0;
        }
    };
    append(fromList, true);
    append(bodyList, false);
    return std::to_string(fromCount) + "\r\n" + entries;
}

std::size_t LoadFilterFile(CFilterLists& lists, const std::string& path, bool scrambled, std::mutex& settingsLock,
                           std::optional<DataFileDamage>* damage) {
    std::size_t entriesRead = 0;
    MergeWordListFile(lists, path, scrambled, settingsLock, entriesRead, true, damage);
    return entriesRead;
}

SaveResult SaveWordList(const CFilterLists& lists, std::mutex& settingsLock, const std::string& path,
                        std::vector<std::string>* unstorable) {
    std::lock_guard lock(settingsLock);
    // Copies, so that the count line and the From block agree even while entries are added.
    const std::string text = FormatWordListText(lists.m_FromList.Entries(), lists.m_BodyList.Entries(), unstorable);
    return SaveDataFile(path, text, 0600, FindWordListDamage);
}

std::vector<std::string> ParseFriendsText(std::string_view text) {
    std::vector<std::string> friends;
    CLineReader lines(WithoutByteOrderMark(text));
    for (std::string_view line; lines.Next(line);) {
        const std::string_view entry = StripWhiteSpace(line);
        if (!entry.empty()) {
            friends.emplace_back(entry);
        }
    }
    return friends;
}

std::string FormatFriendsText(const std::vector<std::string>& friends) {
    std::string text;
    for (const std::string& entry : friends) {
        if (entry.find('\n') != std::string::npos) {
            continue;
        }
        text += entry;
        text += "\r\n";
    }
    return text;
}

std::size_t LoadFriends(CFilterLists& lists, std::mutex& settingsLock, const std::string& path,
                        std::optional<DataFileDamage>* damage) {
    std::lock_guard lock(settingsLock);
    std::string bytes;
    DataFileDamage unreadable;
    const bool unread = ReadDataFile(path, bytes, unreadable) == EDataFileRead::kUnreadable;
    const std::optional<DataFileDamage> found = unread ? std::optional(unreadable) : std::nullopt;
    NoteLoadedFile(path, found);
    if (damage != nullptr) {
        *damage = found;
    }
    std::vector<std::string> friends = ParseFriendsText(bytes);
    for (std::string& entry : friends) {
        lists.m_Friends.Append(std::move(entry));
    }
    return friends.size();
}

SaveResult SaveFriends(const CFilterLists& lists, std::mutex& settingsLock, const std::string& path) {
    std::lock_guard lock(settingsLock);
    // Any text is a list of friends: only a file that cannot be read is damaged.
    return SaveDataFile(path, FormatFriendsText(lists.m_Friends.Snapshot()), 0600, nullptr);
}

bool HasAdministratorSwitch() {
    for (const std::string& argument : CommandLineArguments()) {
        if (argument == "/a") {
            return true;
        }
    }
    return false;
}

bool AppendAdminList(std::string_view entry, EFilterList list, bool administrator) {
    if (!administrator) {
        return true;
    }
    std::string line;
    line.reserve(entry.size() + 2);
    for (const char c : entry) {
        line += (c == '\r' || c == '\n') ? ' ' : c;
    }
    line += "\r\n";
    const std::string path = AdminListPath(list);
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        return false;
    }
    // One write: O_APPEND keeps the line whole even if another writer appends at the same time.
    const ssize_t written = ::write(fd, line.data(), line.size());
    const bool closed = ::close(fd) == 0;
    return written == static_cast<ssize_t>(line.size()) && closed;
}

std::vector<DataFileDamage> LoadFilterListsAtStartup(CFilterLists& lists, const CSettings& settings,
                                                     std::mutex& settingsLock, const std::string& folder) {
    std::vector<DataFileDamage> damaged;
    std::optional<DataFileDamage> damage;
    lists.m_Exts.Clear();
    for (std::string& ext : settings.GetExts()) {
        lists.m_Exts.Append(std::move(ext));
    }

    const std::string wordList = folder + "wordlist.txt";
    std::size_t entriesRead = 0;
    const bool wordListSeen = MergeWordListFile(lists, wordList, true, settingsLock, entriesRead, true, &damage);
    if (damage) {
        damaged.push_back(std::move(*damage));
    }

    const std::string newFilters = folder + "newfilters.txt";
    if (FileExists(newFilters)) {
        const std::size_t before = WordListSize(lists);
        if (MergeWordListFile(lists, newFilters, true, settingsLock, entriesRead, true, &damage)) {
            // Saving over a word list that exists but could not be read would lose it; then the
            // new filters wait in their file for a start that can read both.
            const bool safe =
                WordListSize(lists) == before || (wordListSeen && SaveWordList(lists, settingsLock, wordList));
            if (safe) {
                ::unlink(newFilters.c_str());
            }
        } else if (damage) {
            damaged.push_back(std::move(*damage));
        }
    }

    LoadFriends(lists, settingsLock, folder + "friends.txt", &damage);
    if (damage) {
        damaged.push_back(std::move(*damage));
    }
    return damaged;
}

FilterUpdateResult MergeFilterUpdateFiles(CFilterLists& lists, const std::vector<std::string>& paths,
                                          std::mutex& settingsLock, const std::string& wordListPath) {
    FilterUpdateResult result;
    const std::size_t before = WordListSize(lists);
    std::vector<const std::string*> merged;
    for (const std::string& path : paths) {
        std::size_t entriesRead = 0;
        if (MergeWordListFile(lists, path, false, settingsLock, entriesRead, false) && FileExists(path)) {
            merged.push_back(&path);
        }
        result.m_EntriesRead += entriesRead;
    }
    result.m_ListsGrew = WordListSize(lists) != before;
    if (result.m_ListsGrew) {
        result.m_Saved = SaveWordList(lists, settingsLock, wordListPath).m_Saved;
        if (!result.m_Saved) {
            return result;
        }
    }
    for (const std::string* path : merged) {
        if (::unlink(path->c_str()) == 0) {
            ++result.m_FilesDeleted;
        }
    }
    return result;
}

bool AddFilterEntryByHand(CFilterLists& lists, EFilterList list, const std::string& entry, bool administrator,
                          const std::function<void()>& rescan) {
    GuardedStringSet& target = list == EFilterList::kFrom ? lists.m_FromList : lists.m_BodyList;
    if (!target.Add(entry)) {
        return false;
    }
    AppendAdminList(entry, list, administrator);
    if (rescan) {
        rescan();
    }
    return true;
}

}  // namespace sieveclaw
