#include "core/ProfileStore.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <system_error>
#include <utility>

#include "core/DataFileDamage.h"
#include "core/DataFolder.h"
#include "core/LeadingNumber.h"
#include "core/TextFile.h"

namespace sieveclaw {

namespace {

// A stored integer as the leading number of its text, held within int; false without digits.
bool ReadProfileInt(std::string_view text, int& value) {
    long long number = 0;
    if (!ReadLeadingNumber(text, number)) {
        return false;
    }
    value = LeadingNumber<int>(text);
    return true;
}

constexpr char kHexDigits[] = "0123456789ABCDEF";

bool IsControl(unsigned char byte) {
    return byte < 0x20 || byte == 0x7F;
}

std::string_view TrimLeadingBlanks(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t");
    return first == std::string_view::npos ? std::string_view() : text.substr(first);
}

std::string_view TrimBlanks(std::string_view text) {
    text = TrimLeadingBlanks(text);
    const std::size_t last = text.find_last_not_of(" \t");
    return last == std::string_view::npos ? std::string_view() : text.substr(0, last + 1);
}

bool HasControlByte(std::string_view text) {
    for (const char c : text) {
        if (IsControl(static_cast<unsigned char>(c))) {
            return true;
        }
    }
    return false;
}

// Names and sections that read back as written: no line ends or other control bytes, no blanks
// the reader would trim, nothing that would make the line a section, comment or other value.
bool IsStorableSection(std::string_view section) {
    return !section.empty() && !HasControlByte(section) && section.find(']') == std::string_view::npos &&
           TrimBlanks(section).size() == section.size();
}

bool IsStorableName(std::string_view name) {
    return !name.empty() && !HasControlByte(name) && name.find('=') == std::string_view::npos && name.front() != '[' &&
           name.front() != ';' && name.front() != '#' && TrimBlanks(name).size() == name.size();
}

}  // namespace

std::string GetProfileStorePath() {
    if (std::string own = EnvironmentValue("SIEVECLAW_HOME"); !own.empty()) {
        if (own.back() != '/') {
            own += '/';
        }
        return own + "sieveclaw.ini";
    }
    return GetConfigHome() + "/Tallowmere/sieveclaw.ini";
}

std::string EscapeProfileValue(std::string_view value) {
    std::string text;
    text.reserve(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
        const auto byte = static_cast<unsigned char>(value[i]);
        const bool edgeBlank = byte == ' ' && (i == 0 || i + 1 == value.size());
        if (byte == '\\') {
            text += "\\\\";
        } else if (IsControl(byte) || edgeBlank) {
            text += "\\x";
            text += kHexDigits[byte >> 4];
            text += kHexDigits[byte & 0x0F];
        } else {
            text += static_cast<char>(byte);
        }
    }
    return text;
}

std::string UnescapeProfileValue(std::string_view text) {
    std::string value;
    value.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            if (text[i + 1] == '\\') {
                value += '\\';
                ++i;
                continue;
            }
            if (text[i + 1] == 'x' && i + 3 < text.size()) {
                const int high = HexDigitValue(text[i + 2]);
                const int low = HexDigitValue(text[i + 3]);
                if (high >= 0 && low >= 0) {
                    value += static_cast<char>(high * 16 + low);
                    i += 3;
                    continue;
                }
            }
        }
        value += text[i];
    }
    return value;
}

bool CProfileStore::Load() {
    std::string bytes;
    DataFileDamage unreadable;
    std::optional<DataFileDamage> damage;
    // A missing file is a store nobody has written yet.
    if (!m_Path.empty() && ReadDataFile(m_Path, bytes, unreadable) == EDataFileRead::kUnreadable) {
        damage = std::move(unreadable);
        bytes.clear();
    }
    if (std::optional<DataFileDamage> found = Parse(bytes); found && !damage) {
        damage = std::move(found);
        damage->m_Path = m_Path;
    }
    if (!m_Path.empty()) {
        NoteLoadedFile(m_Path, damage);
    }
    std::lock_guard lock(m_Lock);
    m_LastError = damage ? DamageText(*damage) : std::string();
    m_Damage = std::move(damage);
    return !m_Damage;
}

std::optional<DataFileDamage> CProfileStore::Damage() const {
    std::lock_guard lock(m_Lock);
    return m_Damage;
}

std::optional<DataFileDamage> FindProfileTextDamage(std::string_view text) {
    CProfileStore scratch;
    return scratch.Parse(text);
}

std::optional<DataFileDamage> CProfileStore::Parse(std::string_view text) {
    text = WithoutByteOrderMark(text);
    std::optional<DataFileDamage> damage;
    std::size_t lineNumber = 0;
    std::vector<Line> lines;
    std::set<std::pair<std::string, std::string>> seen;
    std::string section;
    CLineReader reader(text);
    std::string_view raw;
    // Every line of a file this store wrote is one of the kinds below; another line means the
    // file was damaged or is not this program's, and writing it back would make that permanent.
    const auto note = [&damage, &lineNumber](const char* what) {
        if (!damage) {
            damage = DataFileDamage{{}, lineNumber, what};
        }
    };
    while (reader.Next(raw)) {
        ++lineNumber;
        while (!raw.empty() && raw.back() == '\r') {
            raw.remove_suffix(1);
        }
        Line line;
        line.m_Raw = std::string(raw);
        if (raw.find('\0') != std::string_view::npos) {
            note("a NUL byte, which no settings line holds");
        }
        const std::string_view body = TrimLeadingBlanks(TrimTrailingWhiteSpace(raw));
        if (body.empty() || body.front() == ';' || body.front() == '#') {
            // a comment or blank line
        } else if (body.front() == '[') {
            const std::size_t close = body.find(']');
            if (close != std::string_view::npos) {
                section = std::string(TrimBlanks(body.substr(1, close - 1)));
                line.m_Kind = Line::EKind::kSection;
                line.m_Name = section;
            } else {
                note("a section name without its closing ']'");
            }
        } else if (const std::size_t equals = body.find('='); equals != std::string_view::npos) {
            std::string name(TrimBlanks(body.substr(0, equals)));
            if (name.empty()) {
                note("a value without a name");
            } else if (seen.emplace(section, name).second) {
                line.m_Kind = Line::EKind::kValue;
                line.m_Name = std::move(name);
                line.m_Value = UnescapeProfileValue(TrimLeadingBlanks(body.substr(equals + 1)));
            }
        } else {
            note("neither a section, a comment nor a name=value line");
        }
        line.m_Section = section;
        lines.push_back(std::move(line));
    }
    std::lock_guard lock(m_Lock);
    m_Lines = std::move(lines);
    m_Dirty = false;
    return damage;
}

std::string CProfileStore::Serialize() const {
    std::lock_guard lock(m_Lock);
    return SerializeLocked();
}

std::string CProfileStore::SerializeLocked() const {
    std::string text;
    for (const Line& line : m_Lines) {
        if (line.m_Kind == Line::EKind::kValue && line.m_Raw.empty()) {
            text += line.m_Name;
            text += '=';
            text += EscapeProfileValue(line.m_Value);
        } else {
            text += line.m_Raw;
        }
        text += '\n';
    }
    return text;
}

const CProfileStore::Line* CProfileStore::FindLocked(std::string_view section, std::string_view name) const {
    for (const Line& line : m_Lines) {
        if (line.m_Kind == Line::EKind::kValue && line.m_Name == name && line.m_Section == section) {
            return &line;
        }
    }
    return nullptr;
}

int CProfileStore::GetProfileInt(std::string_view section, std::string_view name, int defaultValue) const {
    std::lock_guard lock(m_Lock);
    const Line* line = FindLocked(section, name);
    int value = defaultValue;
    if (line == nullptr || !ReadProfileInt(line->m_Value, value)) {
        return defaultValue;
    }
    return value;
}

std::string CProfileStore::GetProfileString(std::string_view section, std::string_view name,
                                            std::string_view defaultValue) const {
    std::lock_guard lock(m_Lock);
    const Line* line = FindLocked(section, name);
    return line != nullptr ? line->m_Value : std::string(defaultValue);
}

bool CProfileStore::HasProfileValue(std::string_view section, std::string_view name) const {
    std::lock_guard lock(m_Lock);
    return FindLocked(section, name) != nullptr;
}

bool CProfileStore::WriteProfileInt(std::string_view section, std::string_view name, int value) {
    std::lock_guard lock(m_Lock);
    return WriteLocked(section, name, std::to_string(value));
}

bool CProfileStore::WriteProfileString(std::string_view section, std::string_view name, std::string_view value) {
    std::lock_guard lock(m_Lock);
    return WriteLocked(section, name, std::string(value));
}

bool CProfileStore::WriteLocked(std::string_view section, std::string_view name, std::string value) {
    if (!IsStorableSection(section) || !IsStorableName(name)) {
        return false;
    }
    if (SetLocked(section, name, std::move(value))) {
        m_Dirty = true;
    }
    return m_BatchDepth > 0 || FlushLocked();
}

bool CProfileStore::SetLocked(std::string_view section, std::string_view name, std::string value) {
    for (Line& line : m_Lines) {
        if (line.m_Kind == Line::EKind::kValue && line.m_Name == name && line.m_Section == section) {
            if (line.m_Value == value) {
                return false;
            }
            line.m_Value = std::move(value);
            line.m_Raw.clear();
            return true;
        }
    }
    Line added;
    added.m_Kind = Line::EKind::kValue;
    added.m_Name = std::string(name);
    added.m_Value = std::move(value);
    added.m_Section = std::string(section);

    // A new name goes after the last value (or other content line) of the section's first
    // occurrence, so that comments and blank lines that close the section stay where they were.
    std::size_t header = 0;
    while (header < m_Lines.size() &&
           !(m_Lines[header].m_Kind == Line::EKind::kSection && m_Lines[header].m_Name == section)) {
        ++header;
    }
    if (header < m_Lines.size()) {
        std::size_t at = header + 1;
        for (std::size_t i = header + 1; i < m_Lines.size() && m_Lines[i].m_Kind != Line::EKind::kSection; ++i) {
            const std::string_view body = TrimLeadingBlanks(TrimTrailingWhiteSpace(m_Lines[i].m_Raw));
            const bool comment = body.empty() || body.front() == ';' || body.front() == '#';
            if (m_Lines[i].m_Kind == Line::EKind::kValue || !comment) {
                at = i + 1;
            }
        }
        m_Lines.insert(m_Lines.begin() + static_cast<std::ptrdiff_t>(at), std::move(added));
        return true;
    }
    if (!m_Lines.empty() && !TrimTrailingWhiteSpace(m_Lines.back().m_Raw).empty()) {
        Line blank;
        blank.m_Section = m_Lines.back().m_Section;
        m_Lines.push_back(std::move(blank));
    }
    Line heading;
    heading.m_Kind = Line::EKind::kSection;
    heading.m_Raw = "[" + std::string(section) + "]";
    heading.m_Name = std::string(section);
    heading.m_Section = std::string(section);
    m_Lines.push_back(std::move(heading));
    m_Lines.push_back(std::move(added));
    return true;
}

bool CProfileStore::Flush() {
    std::lock_guard lock(m_Lock);
    return FlushLocked();
}

bool CProfileStore::FlushLocked() {
    if (!m_Dirty || m_Path.empty()) {
        m_Dirty = false;
        return true;
    }
    namespace fs = std::filesystem;
    const fs::path folder = fs::path(m_Path).parent_path();
    std::error_code error;
    if (!folder.empty() && !fs::is_directory(folder, error)) {
        // The folder holds the scrambled filter password too: the user's alone.
        fs::create_directories(folder, error);
        fs::permissions(folder, fs::perms::owner_all, fs::perm_options::replace, error);
    }
    if (const SaveResult saved = SaveDataFile(m_Path, SerializeLocked(), 0600, FindProfileTextDamage); !saved) {
        m_LastError = saved.m_Error;
        return false;
    }
    m_Dirty = false;
    return true;
}

std::string CProfileStore::LastError() const {
    std::lock_guard lock(m_Lock);
    return m_LastError;
}

bool CProfileStore::EndBatch() {
    std::lock_guard lock(m_Lock);
    if (m_BatchDepth > 0) {
        --m_BatchDepth;
    }
    return m_BatchDepth > 0 || FlushLocked();
}

CProfileStore::CWriteBatch::CWriteBatch(CProfileStore& store) : m_Store(store) {
    std::lock_guard lock(m_Store.m_Lock);
    ++m_Store.m_BatchDepth;
}

CProfileStore::CWriteBatch::~CWriteBatch() {
    if (m_Open) {
        Commit();
    }
}

bool CProfileStore::CWriteBatch::Commit() {
    if (!m_Open) {
        return true;
    }
    m_Open = false;
    return m_Store.EndBatch();
}

}  // namespace sieveclaw
