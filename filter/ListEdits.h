#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "filter/FilterFiles.h"
#include "filter/FilterLists.h"

// What the Filters, Friends, File Extension and Block These Domains boxes accept, and what their
// commands do to the lists. Each check answers the text to use, or nothing with the message the
// box shows in error.

namespace sieveclaw {

inline constexpr std::string_view kBlankFilterEntryMessage = "Please enter a word, phrase or domain name.";
inline constexpr std::string_view kInvalidFriendAddressMessage = "This does not appear to be a valid email address.";
inline constexpr std::string_view kInvalidFriendDomainMessage =
    "It appears that the domain name you supplied is not typed correctly.  Use only letters, numbers or dashes "
    "(-) followed by .com, .net, .name, etc. ";
inline constexpr std::string_view kBlankFileExtensionMessage = "Your file extension is blank.";
inline constexpr std::string_view kInvalidFileExtensionMessage = "Your file extension is invalid.";
inline constexpr std::string_view kBlankDomainListMessage =
    "Your list of domains is blank.  Please type the domain names that you want to block email from.";
inline constexpr std::string_view kCorrectedDomainListMessage =
    "Your domain name(s) contained illegal characters.  Sieveclaw corrected these mistakes.  Double check your "
    "domain names.  If everything looks ok then click <Ok>.";

// A word, phrase or domain for the From or Body list: the text without white space at either end;
// nothing when that leaves nothing (an empty entry would be found in every message).
std::optional<std::string> CheckFilterEntry(std::string_view typed, std::string& error);

enum class EFriendType { kIndividual, kDomain };
// The type a friend entry has: an individual when it holds '@'.
EFriendType FriendTypeOf(std::string_view entry);

// A friend: an individual's address must pass IsValidFriendAddress and keeps its case; a domain is
// lowered, must hold a '.', and every character before the first '.' must be a lower-case letter,
// a digit or '-'. White space at either end is dropped first: it would keep the entry from ever
// matching a sender.
std::optional<std::string> CheckFriendEntry(std::string_view typed, EFriendType type, std::string& error);

// An attachment extension: white space at either end dropped, a '.' put in front when missing, and
// the extension of the file name "test" followed by that text (from its last '.' on, within the
// name after any folder separator) taken; blank or no extension is refused.
std::optional<std::string> CheckFileExtension(std::string_view typed, std::string& error);

// The Block These Domains box's OK.
struct BlockDomainsCheck {
    enum class EOutcome { kBlank, kCorrected, kAccepted } m_Outcome = EOutcome::kBlank;
    // kCorrected: the lines with every character other than an ASCII letter, a digit, '-' or '.'
    // removed, one a line, to be shown again.
    std::string m_CorrectedText;
    // kAccepted: the domains, each once, in their order; empty lines are left out.
    std::vector<std::string> m_Domains;
};
// Lines end at LF (a CR before it is dropped) and are read up to 255 characters each.
BlockDomainsCheck CheckBlockDomains(std::string_view text);

// The Friends dialog's commands; every one compares entries exactly. False when nothing changed:
// the entry (the new text, for a replacement) is already a friend, or the old one is not there.
bool AddFriend(CFilterLists& lists, const std::string& entry);
bool ReplaceFriend(CFilterLists& lists, const std::string& oldEntry, const std::string& newEntry);
bool RemoveFriend(CFilterLists& lists, const std::string& entry);

// The Filters dialog's delete: the entry leaves the list of the showing tab.
bool RemoveFilterEntry(CFilterLists& lists, EFilterList list, std::string_view entry);

}  // namespace sieveclaw
