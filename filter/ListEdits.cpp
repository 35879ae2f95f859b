#include "filter/ListEdits.h"

#include <algorithm>

#include "core/AsciiCase.h"
#include "core/TextFile.h"
#include "filter/AddressBookImport.h"

namespace sieveclaw {

namespace {

constexpr std::size_t kMaxDomainLine = 255;

bool IsAsciiLetterOrDigit(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

std::optional<std::string> Refuse(std::string& error, std::string_view message) {
    error = std::string(message);
    return std::nullopt;
}

}  // namespace

std::optional<std::string> CheckFilterEntry(std::string_view typed, std::string& error) {
    const std::string_view entry = StripWhiteSpace(typed);
    if (entry.empty()) {
        return Refuse(error, kBlankFilterEntryMessage);
    }
    return std::string(entry);
}

EFriendType FriendTypeOf(std::string_view entry) {
    return entry.find('@') != std::string_view::npos ? EFriendType::kIndividual : EFriendType::kDomain;
}

std::optional<std::string> CheckFriendEntry(std::string_view typed, EFriendType type, std::string& error) {
    std::string entry(StripWhiteSpace(typed));
    if (type == EFriendType::kIndividual) {
        if (!IsValidFriendAddress(entry)) {
            return Refuse(error, kInvalidFriendAddressMessage);
        }
        return entry;
    }
    entry = AsciiLowered(entry);
    const std::size_t dot = entry.find('.');
    if (dot == std::string::npos) {
        return Refuse(error, kInvalidFriendDomainMessage);
    }
    for (std::size_t i = 0; i < dot; ++i) {
        if (!IsAsciiLetterOrDigit(entry[i]) && entry[i] != '-') {
            return Refuse(error, kInvalidFriendDomainMessage);
        }
    }
    return entry;
}

std::optional<std::string> CheckFileExtension(std::string_view typed, std::string& error) {
    std::string text(StripWhiteSpace(typed));
    if (text.empty()) {
        return Refuse(error, kBlankFileExtensionMessage);
    }
    if (text.front() != '.') {
        text.insert(text.begin(), '.');
    }
    const std::string name = "test" + text;
    const std::size_t folderEnd = name.find_last_of("/\\");
    const std::size_t base = folderEnd == std::string::npos ? 0 : folderEnd + 1;
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot < base) {
        return Refuse(error, kInvalidFileExtensionMessage);
    }
    return name.substr(dot);
}

BlockDomainsCheck CheckBlockDomains(std::string_view text) {
    BlockDomainsCheck check;
    if (StripWhiteSpace(text).empty()) {
        return check;
    }
    std::vector<std::string> lines;
    bool corrected = false;
    CLineReader reader(text);
    std::string_view line;
    while (reader.Next(line)) {
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        std::string kept;
        for (const char c : line.substr(0, kMaxDomainLine)) {
            if (IsAsciiLetterOrDigit(c) || c == '-' || c == '.') {
                kept += c;
            } else {
                corrected = true;
            }
        }
        lines.push_back(std::move(kept));
    }
    if (corrected) {
        check.m_Outcome = BlockDomainsCheck::EOutcome::kCorrected;
        for (const std::string& kept : lines) {
            check.m_CorrectedText += kept + "\n";
        }
        return check;
    }
    check.m_Outcome = BlockDomainsCheck::EOutcome::kAccepted;
    for (std::string& domain : lines) {
        if (!domain.empty() &&
            std::find(check.m_Domains.begin(), check.m_Domains.end(), domain) == check.m_Domains.end()) {
            check.m_Domains.push_back(std::move(domain));
        }
    }
    return check;
}

bool AddFriend(CFilterLists& lists, const std::string& entry) {
    if (lists.m_Friends.Find(entry) != kNoPos) {
        return false;
    }
    lists.m_Friends.Append(entry);
    return true;
}

bool ReplaceFriend(CFilterLists& lists, const std::string& oldEntry, const std::string& newEntry) {
    if (lists.m_Friends.Find(newEntry) != kNoPos) {
        return false;
    }
    return lists.m_Friends.ModifyAt(lists.m_Friends.Find(oldEntry),
                                    [&newEntry](std::string& stored) { stored = newEntry; });
}

bool RemoveFriend(CFilterLists& lists, const std::string& entry) {
    return lists.m_Friends.RemoveAt(lists.m_Friends.Find(entry));
}

bool RemoveFilterEntry(CFilterLists& lists, EFilterList list, std::string_view entry) {
    return (list == EFilterList::kFrom ? lists.m_FromList : lists.m_BodyList).Remove(entry);
}

}  // namespace sieveclaw
