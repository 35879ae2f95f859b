#include "filter/AddressBookImport.h"

#include <array>
#include <set>
#include <utility>

#include "core/AsciiCase.h"
#include "core/TextFile.h"
#include "core/UserPrompt.h"

namespace sieveclaw {

namespace {

// The text between the first open and the next close after it; "" without a close.
std::string Between(std::string_view text, std::size_t open, char close) {
    const std::size_t end = text.find(close, open + 1);
    if (end == std::string_view::npos) {
        return {};
    }
    return std::string(text.substr(open + 1, end - open - 1));
}

bool HasCsvExtension(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
        return false;
    }
    return AsciiLowered(std::string_view(path).substr(dot + 1)) == "csv";
}

}  // namespace

std::string_view FriendTypeText(std::string_view entry) {
    return entry.find('@') != std::string_view::npos ? kFriendTypeIndividual : kFriendTypeDomain;
}

std::string StripAddressDelimiters(std::string_view text) {
    if (const std::size_t open = text.find('<'); open != std::string_view::npos) {
        return Between(text, open, '>');
    }
    if (const std::size_t open = text.find('"'); open != std::string_view::npos) {
        return Between(text, open, '"');
    }
    if (const std::size_t open = text.find('('); open != std::string_view::npos) {
        return Between(text, open, ')');
    }
    return std::string(text);
}

bool IsValidFriendAddress(std::string_view text) {
    const std::size_t at = text.find('@');
    if (at == std::string_view::npos || at == 0) {
        return false;
    }
    const std::string_view lastFour = text.size() > 4 ? text.substr(text.size() - 4) : text;
    return lastFour.find('.') != std::string_view::npos;
}

CCsvReader::CCsvReader(std::string_view text) : m_Rest(text) {}

bool CCsvReader::NextRecord(std::vector<std::string>& fields) {
    fields.clear();
    if (m_Rest.empty()) {
        return false;
    }
    std::string field;
    bool atFieldStart = true;
    bool quoted = false;
    std::size_t at = 0;
    while (at < m_Rest.size()) {
        const char c = m_Rest[at];
        if (quoted) {
            if (c != '"') {
                field += c;
            } else if (at + 1 < m_Rest.size() && m_Rest[at + 1] == '"') {
                field += '"';
                ++at;
            } else {
                quoted = false;
            }
            ++at;
            continue;
        }
        if (c == '\n' || (c == '\r' && at + 1 < m_Rest.size() && m_Rest[at + 1] == '\n')) {
            at += c == '\n' ? 1 : 2;
            break;
        }
        if (c == ',') {
            fields.push_back(std::move(field));
            field.clear();
            atFieldStart = true;
        } else if (c == '"' && atFieldStart) {
            quoted = true;
            atFieldStart = false;
        } else {
            field += c;
            atFieldStart = false;
        }
        ++at;
    }
    fields.push_back(std::move(field));
    m_Rest.remove_prefix(at);
    return true;
}

std::optional<std::size_t> FindAddressColumn(const std::vector<std::string>& header) {
    static constexpr std::array<std::string_view, 4> kNames{"e-mail", "email", "email address", "e-mail address"};
    for (std::size_t column = 0; column < header.size(); ++column) {
        const std::string name = AsciiLowered(StripWhiteSpace(header[column]));
        for (const std::string_view known : kNames) {
            if (name == known) {
                return column;
            }
        }
    }
    return std::nullopt;
}

std::optional<std::vector<std::string>> ReadCsvAddresses(std::string_view text) {
    CCsvReader reader(WithoutByteOrderMark(text));
    std::vector<std::string> fields;
    if (!reader.NextRecord(fields)) {
        return std::nullopt;
    }
    const std::optional<std::size_t> column = FindAddressColumn(fields);
    if (!column) {
        return std::nullopt;
    }
    std::vector<std::string> addresses;
    while (reader.NextRecord(fields)) {
        if (fields.size() <= *column) {
            continue;
        }
        const std::string stripped = StripAddressDelimiters(fields[*column]);
        const std::string_view address = StripWhiteSpace(stripped);
        if (!address.empty()) {
            addresses.emplace_back(address);
        }
    }
    return addresses;
}

std::vector<std::string> ReadTxtAddresses(std::string_view text) {
    std::vector<std::string> addresses;
    CLineReader lines(text);
    for (std::string_view line; lines.Next(line);) {
        const std::string stripped = StripAddressDelimiters(StripWhiteSpace(line));
        const std::string_view address = StripWhiteSpace(stripped);
        if (!address.empty()) {
            addresses.emplace_back(address);
        }
    }
    return addresses;
}

std::optional<std::vector<std::string>> NewFriendsFromAddressBook(std::string_view content, bool commaDelimited,
                                                                  const std::vector<std::string>& friends) {
    std::set<std::string, std::less<>> exact(friends.begin(), friends.end());
    std::vector<std::string> added;
    if (commaDelimited) {
        std::optional<std::vector<std::string>> addresses = ReadCsvAddresses(content);
        if (!addresses) {
            return std::nullopt;
        }
        for (std::string& address : *addresses) {
            if (exact.insert(address).second) {
                added.push_back(std::move(address));
            }
        }
        return added;
    }
    std::set<std::string, std::less<>> lowered;
    for (const std::string& entry : friends) {
        lowered.insert(AsciiLowered(entry));
    }
    for (std::string& address : ReadTxtAddresses(content)) {
        if (exact.count(address) != 0 || !IsValidFriendAddress(address)) {
            continue;
        }
        if (!lowered.insert(AsciiLowered(address)).second) {
            continue;
        }
        exact.insert(address);
        added.push_back(std::move(address));
    }
    return added;
}

AddressBookImportResult ImportAddressBook(CUserPrompt& prompt, CFilterLists& lists) {
    AddressBookImportResult result;
    const std::optional<std::string> path =
        prompt.ChooseFileToOpen("Comma Delimited Files (*.csv)|*.csv|Text Files (*.txt)|*.txt|", "csv");
    if (!path) {
        return result;
    }
    result.m_FileChosen = true;
    result.m_Changed = true;
    std::string content;
    result.m_FileRead = ReadFileBytes(*path, content);
    if (!result.m_FileRead) {
        return result;
    }
    std::optional<std::vector<std::string>> added =
        NewFriendsFromAddressBook(content, HasCsvExtension(*path), lists.m_Friends.Snapshot());
    if (!added) {
        result.m_MissingColumn = true;
        prompt.ShowError(std::string(kMissingAddressColumnMessage));
        return result;
    }
    for (std::string& entry : *added) {
        result.m_Added.push_back({std::string(FriendTypeText(entry)), entry});
        lists.m_Friends.Append(std::move(entry));
    }
    return result;
}

FilterImportResult ImportFilterFile(CUserPrompt& prompt, CFilterLists& lists, EFilterList list, bool administrator,
                                    const std::function<void()>& rescan) {
    FilterImportResult result;
    const std::optional<std::string> path = prompt.ChooseFileToOpen("Text Files (*.txt)|*.txt", "txt");
    if (!path) {
        return result;
    }
    result.m_FileChosen = true;
    result.m_Changed = true;
    std::string content;
    result.m_FileRead = ReadFileBytes(*path, content);
    // The line rules of "friends.txt": stripped at both ends, empty lines skipped.
    for (std::string& entry : ParseFriendsText(content)) {
        if (AddFilterEntryByHand(lists, list, entry, administrator, rescan)) {
            result.m_Added.push_back(std::move(entry));
        }
    }
    return result;
}

}  // namespace sieveclaw
