#include "core/RegistryView.h"

#include <cstdio>
#include <iterator>
#include <utility>
#include <vector>

#include "core/AsciiCase.h"
#include "core/DataFolder.h"
#include "core/LeadingNumber.h"
#include "core/TextFile.h"
#include "core/Utf8.h"

namespace sieveclaw {

namespace {

// The registry itself refuses deeper keys; the limit also keeps a hostile file from nesting
// nodes so deep that freeing them exhausts the stack.
constexpr std::size_t kMaxKeyDepth = 512;

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && AsciiUppered(text.substr(0, prefix.size())) == AsciiUppered(prefix);
}

// UTF-16 code units to UTF-8; a surrogate without its partner becomes U+FFFD.
void AppendUtf16(std::string& out, const std::vector<std::uint16_t>& units) {
    for (std::size_t i = 0; i < units.size(); ++i) {
        const std::uint32_t unit = units[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
            units[i + 1] <= 0xDFFF) {
            AppendCodePoint(out, 0x10000 + ((unit - 0xD800) << 10) + (units[i + 1] - 0xDC00U));
            ++i;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            AppendCodePoint(out, 0xFFFD);
        } else {
            AppendCodePoint(out, unit);
        }
    }
}

std::string Utf16BytesToUtf8(std::string_view bytes) {
    std::vector<std::uint16_t> units;
    units.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        units.push_back(static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[i]) |
                                                   (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    }
    std::string out;
    AppendUtf16(out, units);
    return out;
}

bool ParseHex32(std::string_view text, std::uint32_t& number) {
    if (text.empty() || text.size() > 8) {
        return false;
    }
    number = 0;
    for (const char c : text) {
        const int digit = HexDigitValue(c);
        if (digit < 0) {
            return false;
        }
        number = (number << 4) | static_cast<std::uint32_t>(digit);
    }
    return true;
}

struct FileFlavour {
    bool m_Wine = false;  // Wine's own files: names escaped, C-like escapes in strings
    bool m_Wide = false;  // hex(2) and hex(7) data are UTF-16
};

// A quoted text starting after its opening quote at pos; pos ends after the closing quote.
// False when the quote is never closed.
bool ReadQuoted(std::string_view line, std::size_t& pos, const FileFlavour& flavour, std::string& text) {
    text.clear();
    std::vector<std::uint16_t> pending;  // Wine's \x escapes are UTF-16 code units
    auto flush = [&] {
        AppendUtf16(text, pending);
        pending.clear();
    };
    while (pos < line.size()) {
        const char c = line[pos++];
        if (c == '"') {
            flush();
            return true;
        }
        if (c != '\\' || pos >= line.size()) {
            flush();
            text += c;
            continue;
        }
        const char e = line[pos++];
        if (!flavour.m_Wine) {
            // regedit escapes only these two.
            if (e != '\\' && e != '"') {
                text += '\\';
            }
            text += e;
            continue;
        }
        if (e == 'x') {
            std::uint32_t unit = 0;
            std::size_t digits = 0;
            while (digits < 4 && pos < line.size() && HexDigitValue(line[pos]) >= 0) {
                unit = (unit << 4) | static_cast<std::uint32_t>(HexDigitValue(line[pos++]));
                ++digits;
            }
            if (digits == 0) {
                flush();
                text += 'x';
            } else {
                pending.push_back(static_cast<std::uint16_t>(unit));
            }
            continue;
        }
        flush();
        if (e >= '0' && e <= '7') {
            std::uint32_t code = static_cast<std::uint32_t>(e - '0');
            for (int more = 0; more < 2 && pos < line.size() && line[pos] >= '0' && line[pos] <= '7'; ++more) {
                code = code * 8 + static_cast<std::uint32_t>(line[pos++] - '0');
            }
            AppendCodePoint(text, code);
            continue;
        }
        switch (e) {
            case 'a':
                text += '\a';
                break;
            case 'b':
                text += '\b';
                break;
            case 't':
                text += '\t';
                break;
            case 'n':
                text += '\n';
                break;
            case 'v':
                text += '\v';
                break;
            case 'f':
                text += '\f';
                break;
            case 'r':
                text += '\r';
                break;
            case 'e':
                text += '\x1B';
                break;
            default:
                text += e;
                break;
        }
    }
    return false;
}

bool IsTextType(std::uint32_t type) {
    return type == kRegString || type == kRegExpandString || type == kRegMultiString;
}

// Comma-separated hex bytes, blanks allowed around them. False on anything else.
bool ParseHexBytes(std::string_view text, std::string& bytes) {
    bytes.clear();
    std::size_t pos = 0;
    while (true) {
        while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) {
            ++pos;
        }
        if (pos >= text.size()) {
            return bytes.empty();  // nothing at all, or a trailing comma
        }
        std::size_t end = pos;
        while (end < text.size() && HexDigitValue(text[end]) >= 0) {
            ++end;
        }
        if (end == pos || end - pos > 2) {
            return false;
        }
        int byte = 0;
        for (std::size_t i = pos; i < end; ++i) {
            byte = byte * 16 + HexDigitValue(text[i]);
        }
        bytes += static_cast<char>(byte);
        pos = end;
        while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) {
            ++pos;
        }
        if (pos >= text.size()) {
            return true;
        }
        if (text[pos] != ',') {
            return false;
        }
        ++pos;
    }
}

class CHiveParser {
public:
    CHiveParser(std::string_view text, RegistryKeyNode& root) : m_Reader(text), m_Root(root) {}

    void Run() {
        std::string_view raw;
        bool first = true;
        while (m_Reader.Next(raw)) {
            std::string_view line = StripWhiteSpace(raw);
            if (first) {
                if (line.substr(0, 3) == "\xEF\xBB\xBF") {
                    line.remove_prefix(3);
                }
                if (line.empty()) {
                    continue;
                }
                first = false;
                if (line == "WINE REGISTRY Version 2") {
                    m_Flavour.m_Wine = true;
                    m_Flavour.m_Wide = true;
                    continue;
                }
                if (line == "Windows Registry Editor Version 5.00") {
                    m_Flavour.m_Wide = true;
                    continue;
                }
                if (line == "REGEDIT4") {
                    continue;
                }
            }
            if (line.empty()) {
                continue;
            }
            if (line.front() == '[') {
                KeyLine(line);
            } else if (line.front() == '"' || line.front() == '@') {
                ValueLine(line);
            }
        }
    }

private:
    void KeyLine(std::string_view line) {
        m_Current = nullptr;
        std::size_t close = std::string_view::npos;
        if (m_Flavour.m_Wine) {
            for (std::size_t i = 1; i < line.size(); ++i) {
                if (line[i] == '\\') {
                    ++i;
                } else if (line[i] == ']') {
                    close = i;
                    break;
                }
            }
        } else {
            close = line.rfind(']');
        }
        if (close == std::string_view::npos || close == 0) {
            return;
        }
        std::string name(line.substr(1, close - 1));
        if (m_Flavour.m_Wine) {
            std::string quoted = name + '"';
            std::size_t pos = 0;
            ReadQuoted(quoted, pos, m_Flavour, name);
        }
        if (!name.empty() && name.front() == '-') {
            return;  // a deletion in an import file
        }
        std::string_view path = name;
        for (const std::string_view rootName : {"HKEY_LOCAL_MACHINE", "HKEY_CURRENT_USER"}) {
            if (StartsWithNoCase(path, rootName) && (path.size() == rootName.size() || path[rootName.size()] == '\\')) {
                path.remove_prefix(rootName.size());
            }
        }
        RegistryKeyNode* node = &m_Root;
        std::size_t depth = 0;
        while (!path.empty()) {
            const std::size_t slash = path.find('\\');
            const std::string_view part = path.substr(0, slash);
            path = slash == std::string_view::npos ? std::string_view() : path.substr(slash + 1);
            if (part.empty()) {
                continue;
            }
            if (++depth > kMaxKeyDepth) {
                return;
            }
            std::unique_ptr<RegistryKeyNode>& child = node->m_SubKeys[AsciiUppered(part)];
            if (!child) {
                child = std::make_unique<RegistryKeyNode>();
                child->m_Name = std::string(part);
            }
            node = child.get();
        }
        m_Current = node;
    }

    void ValueLine(std::string_view line) {
        if (m_Current == nullptr) {
            return;
        }
        std::string name;
        std::size_t pos = 1;
        if (line.front() == '"' && !ReadQuoted(line, pos, m_Flavour, name)) {
            return;
        }
        while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) {
            ++pos;
        }
        if (pos >= line.size() || line[pos] != '=') {
            return;
        }
        std::string_view data = StripWhiteSpace(line.substr(pos + 1));
        const std::string key = AsciiUppered(name);
        if (data == "-") {
            m_Current->m_Values.erase(key);
            return;
        }
        RegistryValue value;
        if (ParseData(data, value)) {
            m_Current->m_Values[key] = std::move(value);
        }
    }

    bool ParseData(std::string_view data, RegistryValue& value) {
        if (!data.empty() && data.front() == '"') {
            std::size_t pos = 1;
            value.m_Type = kRegString;
            return ReadQuoted(data, pos, m_Flavour, value.m_Data);
        }
        if (data.substr(0, 4) == "str(") {
            const std::size_t close = data.find("):\"");
            if (close == std::string_view::npos || !ParseHex32(data.substr(4, close - 4), value.m_Type)) {
                return false;
            }
            std::size_t pos = close + 3;
            return ReadQuoted(data, pos, m_Flavour, value.m_Data);
        }
        if (data.substr(0, 6) == "dword:") {
            std::uint32_t number = 0;
            if (!ParseHex32(StripWhiteSpace(data.substr(6)), number)) {
                return false;
            }
            value.m_Type = kRegDword;
            value.m_Data.clear();
            for (int shift = 0; shift < 32; shift += 8) {
                value.m_Data += static_cast<char>((number >> shift) & 0xFF);
            }
            return true;
        }
        std::string_view hex;
        if (data.substr(0, 4) == "hex:") {
            value.m_Type = kRegBinary;
            hex = data.substr(4);
        } else if (data.substr(0, 4) == "hex(") {
            const std::size_t close = data.find("):");
            if (close == std::string_view::npos || !ParseHex32(data.substr(4, close - 4), value.m_Type)) {
                return false;
            }
            hex = data.substr(close + 2);
        } else {
            return false;
        }
        // A long list of bytes goes on over lines that end in a backslash.
        std::string joined(hex);
        while (!joined.empty() && joined.back() == '\\') {
            joined.pop_back();
            std::string_view next;
            if (!m_Reader.Next(next)) {
                break;
            }
            joined += StripWhiteSpace(next);
        }
        std::string bytes;
        if (!ParseHexBytes(joined, bytes)) {
            return false;
        }
        if (IsTextType(value.m_Type)) {
            if (m_Flavour.m_Wide) {
                bytes = Utf16BytesToUtf8(bytes);
            }
            if (!bytes.empty() && bytes.back() == '\0') {
                bytes.pop_back();
            }
        }
        value.m_Data = std::move(bytes);
        return true;
    }

    CLineReader m_Reader;
    RegistryKeyNode& m_Root;
    RegistryKeyNode* m_Current = nullptr;
    FileFlavour m_Flavour;
};

const RegistryKeyNode* FindBelow(const RegistryKeyNode* node, std::string_view path) {
    while (node != nullptr && !path.empty()) {
        const std::size_t slash = path.find('\\');
        const std::string_view part = path.substr(0, slash);
        path = slash == std::string_view::npos ? std::string_view() : path.substr(slash + 1);
        if (part.empty()) {
            continue;
        }
        const auto found = node->m_SubKeys.find(AsciiUppered(part));
        node = found != node->m_SubKeys.end() ? found->second.get() : nullptr;
    }
    return node;
}

std::shared_ptr<const CRegistryHive> HiveFromText(std::string_view text) {
    auto hive = std::make_shared<CRegistryHive>();
    hive->Parse(text);
    return hive;
}

std::shared_ptr<const CRegistryHive> HiveFromFile(const std::string& path) {
    std::string bytes;
    if (!ReadFileBytes(path, bytes)) {
        return nullptr;
    }
    // regedit of the "5.00" kind writes UTF-16 files.
    if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') {
        bytes = Utf16BytesToUtf8(std::string_view(bytes).substr(2));
    }
    return HiveFromText(bytes);
}

}  // namespace

CRegistryHive::CRegistryHive() : m_Root(std::make_unique<RegistryKeyNode>()) {}

void CRegistryHive::Parse(std::string_view text) {
    CHiveParser(text, *m_Root).Run();
}

const RegistryKeyNode* CRegistryHive::Find(std::string_view path) const {
    return FindBelow(m_Root.get(), path);
}

CRegistryKey CRegistryKey::Open(std::string_view path) const {
    const RegistryKeyNode* node = m_Node != nullptr ? FindBelow(m_Node, path) : nullptr;
    return node != nullptr ? CRegistryKey(m_Hive, node) : CRegistryKey();
}

bool CRegistryKey::EnumSubKey(std::size_t index, std::string& name, std::size_t maxLength) const {
    if (m_Node == nullptr || index >= m_Node->m_SubKeys.size()) {
        return false;
    }
    const auto entry = std::next(m_Node->m_SubKeys.begin(), static_cast<std::ptrdiff_t>(index));
    if (entry->second->m_Name.size() > maxLength) {
        return false;
    }
    name = entry->second->m_Name;
    return true;
}

bool CRegistryKey::Query(std::string_view valueName, RegistryValue& value) const {
    if (m_Node == nullptr) {
        return false;
    }
    const auto found = m_Node->m_Values.find(AsciiUppered(valueName));
    if (found == m_Node->m_Values.end()) {
        return false;
    }
    value = found->second;
    return true;
}

std::string CRegistryKey::ReadText(std::string_view valueName, std::size_t bufferSize) const {
    RegistryValue value;
    if (!Query(valueName, value)) {
        return {};
    }
    const std::size_t needed = value.m_Data.size() + (IsTextType(value.m_Type) ? 1 : 0);
    if (needed > bufferSize) {
        return {};
    }
    return value.m_Data.substr(0, value.m_Data.find('\0'));
}

std::int32_t CRegistryKey::ReadNumber(std::string_view valueName) const {
    RegistryValue value;
    if (!Query(valueName, value)) {
        return 0;
    }
    std::string bytes = std::move(value.m_Data);
    if (IsTextType(value.m_Type)) {
        bytes += '\0';
    }
    if (bytes.size() > 4) {
        return 0;
    }
    std::uint32_t number = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        number |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i])) << (8 * i);
    }
    return static_cast<std::int32_t>(number);
}

std::string CRegistryKey::ReadNumberText(std::string_view valueName) const {
    return std::to_string(ReadNumber(valueName));
}

CRegistryView CRegistryView::FromWinePrefix() {
    return FromWinePrefix(GetWinePrefixFolder());
}

CRegistryView CRegistryView::FromWinePrefix(const std::string& prefixFolder) {
    CRegistryView view;
    view.m_LocalMachine = HiveFromFile(prefixFolder + "/system.reg");
    view.m_CurrentUser = HiveFromFile(prefixFolder + "/user.reg");
    return view;
}

void CRegistryView::SetRoot(ERegistryRoot root, std::string_view fileText) {
    (root == ERegistryRoot::kLocalMachine ? m_LocalMachine : m_CurrentUser) = HiveFromText(fileText);
}

CRegistryKey CRegistryView::Open(ERegistryRoot root, std::string_view path) const {
    const std::shared_ptr<const CRegistryHive>& hive =
        root == ERegistryRoot::kLocalMachine ? m_LocalMachine : m_CurrentUser;
    if (!hive) {
        return {};
    }
    const RegistryKeyNode* node = hive->Find(path);
    return node != nullptr ? CRegistryKey(hive, node) : CRegistryKey();
}

std::string GetWinePrefixFolder() {
    std::string prefix = EnvironmentValue("WINEPREFIX");
    if (prefix.empty()) {
        prefix = GetHomeFolder() + "/.wine";
    }
    while (prefix.size() > 1 && prefix.back() == '/') {
        prefix.pop_back();
    }
    return prefix;
}

}  // namespace sieveclaw
