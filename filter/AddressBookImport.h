#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "filter/FilterFiles.h"
#include "filter/FilterLists.h"

// The two imports of the Filters and Friends dialogs: filter words from a text file, friends from
// an address-book export (comma-delimited with a header line, or plain text one address a line).
// The parsers work on buffers; the Import functions add file choosing and the lists.

namespace sieveclaw {

class CUserPrompt;

// The friend types as the Friends dialog shows them.
inline constexpr std::string_view kFriendTypeIndividual = "An individual user";
inline constexpr std::string_view kFriendTypeDomain = "All users in a domain";

// kFriendTypeIndividual for an entry holding '@', kFriendTypeDomain otherwise.
std::string_view FriendTypeText(std::string_view entry);

// The error box shown when a comma-delimited export has no address column.
inline constexpr std::string_view kMissingAddressColumnMessage =
    "Sieveclaw could not find the email addresses in your file.  Please name the field any of the following and "
    "re-export your file.\n\n e-mail\nemail\nemail address\ne-mail address\n";

// The address inside the first "<...>", else inside the first pair of double quotes, else inside
// the first "(...)"; an opening delimiter without its closing one gives "". Text without any of
// them comes back unchanged.
std::string StripAddressDelimiters(std::string_view text);

// True when '@' occurs after the first character and the last four characters hold a '.'.
bool IsValidFriendAddress(std::string_view text);

// Reads comma-delimited records from a buffer. A record ends at a line end (LF or CR LF) outside
// double quotes. A field that starts with a double quote runs to the closing one and may hold
// commas and line breaks; a doubled double quote inside it stands for one. Text between a closing
// quote and the next comma is kept. A quote left open runs to the end of the buffer.
class CCsvReader {
public:
    explicit CCsvReader(std::string_view text);

    // The next record's fields; false at the end of the buffer.
    bool NextRecord(std::vector<std::string>& fields);

private:
    std::string_view m_Rest;
};

// The index of the first header field that, with white space at both ends removed and lowered,
// is "e-mail", "email", "email address" or "e-mail address"; nothing when none is.
std::optional<std::size_t> FindAddressColumn(const std::vector<std::string>& header);

// The addresses of a comma-delimited export, in record order: the address column of every record
// after the header through StripAddressDelimiters and trimmed; empty results and records too short
// to reach the column are skipped. Nothing when the header has no address column.
std::optional<std::vector<std::string>> ReadCsvAddresses(std::string_view text);

// The candidate addresses of a plain-text export, one a line: each line stripped of white space
// at both ends, through StripAddressDelimiters, trimmed again; empty results are skipped. No
// validity test here (ImportAddressBook makes it).
std::vector<std::string> ReadTxtAddresses(std::string_view text);

// One friend added by an import, as the dialog shows it.
struct FriendRow {
    std::string m_Type;  // kFriendTypeIndividual or kFriendTypeDomain
    std::string m_Entry;
};

struct AddressBookImportResult {
    bool m_FileChosen = false;     // false: the user cancelled the file dialog
    bool m_FileRead = false;       // the chosen file could be read
    bool m_MissingColumn = false;  // a comma-delimited file without an address column (error shown)
    std::vector<FriendRow> m_Added;
    // The dialog's changed flag: set for every chosen file, so that closing it saves "friends.txt".
    bool m_Changed = false;
};

// The Friends dialog's "Import": asks for a file ("csv" or "txt"), reads it as comma-delimited
// when its extension is "csv" in any case, as plain text otherwise, and appends the new friends:
// - comma-delimited: every address not yet a friend (exact comparison); no validity test;
// - plain text: every address not yet a friend (exact), passing IsValidFriendAddress, and not a
//   friend when both are lowered.
// A comma-delimited file without an address column shows kMissingAddressColumnMessage as an error
// and adds nothing.
AddressBookImportResult ImportAddressBook(CUserPrompt& prompt, CFilterLists& lists);

// The new friends that ImportAddressBook would append for this file content, in order, checked
// against the friends already listed and against each other.
std::optional<std::vector<std::string>> NewFriendsFromAddressBook(std::string_view content, bool commaDelimited,
                                                                  const std::vector<std::string>& friends);

struct FilterImportResult {
    bool m_FileChosen = false;
    bool m_FileRead = false;
    std::vector<std::string> m_Added;  // new entries, in file order
    bool m_Changed = false;            // the dialog's changed flag (set for every chosen file)
};

// The Filters dialog's "Import": asks for a text file and adds every line (stripped of white
// space at both ends, empty ones skipped) to the list of the showing tab. A line already in that
// list (byte comparison) is skipped; each new one is inserted, handed to AppendAdminList and
// followed by one run of rescan.
FilterImportResult ImportFilterFile(CUserPrompt& prompt, CFilterLists& lists, EFilterList list, bool administrator,
                                    const std::function<void()>& rescan);

}  // namespace sieveclaw
