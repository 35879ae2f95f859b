#include "core/AccountsFile.h"

#include <array>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>

#include "core/DataFileDamage.h"
#include "core/DataFolder.h"
#include "core/LeadingNumber.h"
#include "core/ScrambleText.h"
#include "core/TextFile.h"

namespace sieveclaw {

namespace {

enum class ELineKind { kText, kScrambled, kInteger };

// One line of an account's block. Exactly one of m_Text and m_Number is set.
struct StoredLine {
    ELineKind m_Kind;
    std::string EmailAccountInfo::*m_Text;
    std::int32_t EmailAccountInfo::*m_Number;
    std::string_view m_Label;
};

constexpr StoredLine Text(std::string EmailAccountInfo::*member, std::string_view label) {
    return {ELineKind::kText, member, nullptr, label};
}
constexpr StoredLine Scrambled(std::string EmailAccountInfo::*member, std::string_view label) {
    return {ELineKind::kScrambled, member, nullptr, label};
}
constexpr StoredLine Integer(std::int32_t EmailAccountInfo::*member, std::string_view label) {
    return {ELineKind::kInteger, nullptr, member, label};
}

// The file order. The older format stops after the first kOldLinesPerAccount lines.
constexpr std::array<StoredLine, 15> kAccountLines{
    Integer(&EmailAccountInfo::m_SMTPNeedsLogon, "SMTP needs logon"),
    Text(&EmailAccountInfo::m_AccountName, "account name"),
    Text(&EmailAccountInfo::m_POP3UserId, "POP3 user id"),
    Scrambled(&EmailAccountInfo::m_POP3Password, "POP3 password"),
    Text(&EmailAccountInfo::m_POP3Server, "POP3 server"),
    Text(&EmailAccountInfo::m_POP3Port, "POP3 port"),
    Text(&EmailAccountInfo::m_SMTPServer, "SMTP server"),
    Text(&EmailAccountInfo::m_SMTPPort, "SMTP port"),
    Text(&EmailAccountInfo::m_SMTPUserId, "SMTP user id"),
    Scrambled(&EmailAccountInfo::m_SMTPPassword, "SMTP password"),
    Integer(&EmailAccountInfo::m_PlaySounds, "play sounds"),
    Text(&EmailAccountInfo::m_SpamSoundFile, "spam sound file"),
    Text(&EmailAccountInfo::m_NewMailSoundFile, "new mail sound file"),
    Text(&EmailAccountInfo::m_EmailAddress, "email address"),
    Integer(&EmailAccountInfo::m_OnHold, "on hold"),
};
constexpr std::size_t kOldLinesPerAccount = 13;

// What goes on the line for this member, before the line end.
std::string WrittenValue(const EmailAccountInfo& record, const StoredLine& line) {
    switch (line.m_Kind) {
        case ELineKind::kText:
            return record.*line.m_Text;
        case ELineKind::kScrambled:
            return ScrambleText(record.*line.m_Text);
        case ELineKind::kInteger:
            return std::to_string(record.*line.m_Number);
    }
    return {};
}

void ReadValue(EmailAccountInfo& record, const StoredLine& line, std::string_view trimmed) {
    switch (line.m_Kind) {
        case ELineKind::kText:
            record.*line.m_Text = std::string(trimmed);
            break;
        case ELineKind::kScrambled:
            record.*line.m_Text = ScrambleText(trimmed);
            break;
        case ELineKind::kInteger:
            record.*line.m_Number = LeadingNumber<std::int32_t>(trimmed);
            break;
    }
}

// A line that holds a number and nothing else: blanks, a sign and digits.
bool IsWholeNumber(std::string_view text) {
    text = StripWhiteSpace(text);
    const std::string_view digits = text.starts_with('-') || text.starts_with('+') ? text.substr(1) : text;
    return !digits.empty() && digits.find_first_not_of("0123456789") == std::string_view::npos;
}

// CLineReader that knows the number of the line it gave last.
class CNumberedLines {
public:
    explicit CNumberedLines(std::string_view text) : m_Reader(text) {}
    bool Next(std::string_view& line) {
        const bool got = m_Reader.Next(line);
        m_Line += got ? 1 : 0;
        return got;
    }
    std::string_view NextTrimmed() {
        std::string_view line;
        Next(line);
        return TrimTrailingWhiteSpace(line);
    }
    bool AtEnd() const { return m_Reader.AtEnd(); }
    std::size_t LineNumber() const { return m_Line; }

private:
    CLineReader m_Reader;
    std::size_t m_Line = 0;
};

void AppendLine(std::string& out, std::string_view value) {
    out.append(value.substr(0, value.find('\n')));
    out.append("\r\n");
}

// One value of the section after the blocks: its key and the member it reads and writes, a
// connection security choice (always written), a text (written when not empty) or a switch
// (always written, 0 or 1).
struct LaterValue {
    std::string_view m_Key;
    EConnectionSecurity EmailAccountInfo::*m_Security;
    std::string EmailAccountInfo::*m_Text;
    std::int32_t EmailAccountInfo::*m_Switch;
};

constexpr LaterValue SecurityValue(std::string_view key, EConnectionSecurity EmailAccountInfo::*member) {
    return {key, member, nullptr, nullptr};
}
constexpr LaterValue TextValue(std::string_view key, std::string EmailAccountInfo::*member) {
    return {key, nullptr, member, nullptr};
}
constexpr LaterValue SwitchValue(std::string_view key, std::int32_t EmailAccountInfo::*member) {
    return {key, nullptr, nullptr, member};
}

constexpr std::array<LaterValue, 5> kLaterValues{{
    SecurityValue("pop3-security", &EmailAccountInfo::m_POP3Security),
    SecurityValue("smtp-security", &EmailAccountInfo::m_SMTPSecurity),
    TextValue("pop3-certificate", &EmailAccountInfo::m_POP3Certificate),
    TextValue("smtp-certificate", &EmailAccountInfo::m_SMTPCertificate),
    SwitchValue("leave-unread", &EmailAccountInfo::m_LeaveMailUnread),
}};

// A known key's value into the record; false when it is not a value the key can take.
bool ReadKnownValue(EmailAccountInfo& record, const LaterValue& later, std::string_view value) {
    if (later.m_Text != nullptr) {
        record.*later.m_Text = std::string(value);
        return true;
    }
    if (later.m_Switch != nullptr) {
        if (value != "0" && value != "1") {
            return false;
        }
        record.*later.m_Switch = value == "1" ? 1 : 0;
        return true;
    }
    const std::optional<EConnectionSecurity> security = ParseSecurityName(value);
    if (security) {
        record.*later.m_Security = *security;
    }
    return security.has_value();
}

// "3 pop3-security=ssl-tls" into the third record. What does not have that shape, names no
// record or gives a known key a value it cannot take is damage: the next save could not write it
// back. An unknown key is a later version's and is kept with its record.
std::optional<std::string> ReadLaterValue(std::vector<EmailAccountInfo>& records, std::string_view line) {
    const std::size_t blank = line.find(' ');
    const std::size_t equals = line.find('=');
    if (blank == std::string_view::npos || equals == std::string_view::npos || equals < blank) {
        return "not an account value (\"<account number> <key>=<value>\")";
    }
    const std::string_view number = line.substr(0, blank);
    if (number.empty() || number.find_first_not_of("0123456789") != std::string_view::npos || number.size() > 9) {
        return "not an account value (\"<account number> <key>=<value>\")";
    }
    const std::size_t index = static_cast<std::size_t>(LeadingNumber<std::int32_t>(number));
    if (index == 0 || index > records.size()) {
        return "a value for account " + std::string(number) + ", but the file holds " +
               std::to_string(records.size());
    }
    EmailAccountInfo& record = records[index - 1];
    const std::string_view key = line.substr(blank + 1, equals - blank - 1);
    const std::string_view value = line.substr(equals + 1);
    if (key.empty()) {
        return "an account value without a key";
    }
    for (const LaterValue& later : kLaterValues) {
        if (later.m_Key == key) {
            if (!ReadKnownValue(record, later, value)) {
                return "'" + std::string(value) + "' is not a value " + std::string(key) + " can take";
            }
            return std::nullopt;
        }
    }
    record.m_OtherStoredValues.emplace_back(key, value);
    return std::nullopt;
}

std::string LaterValueText(const EmailAccountInfo& record, const LaterValue& later) {
    if (later.m_Text != nullptr) {
        return record.*later.m_Text;
    }
    if (later.m_Switch != nullptr) {
        return record.*later.m_Switch != 0 ? "1" : "0";
    }
    return std::string(SecurityName(record.*later.m_Security));
}

void AppendLaterValues(std::string& out, const std::vector<EmailAccountInfo>& records) {
    if (records.empty()) {
        return;
    }
    AppendLine(out, kAccountValuesHeader);
    for (std::size_t i = 0; i < records.size(); ++i) {
        const std::string prefix = std::to_string(i + 1) + " ";
        for (const LaterValue& later : kLaterValues) {
            const std::string value = LaterValueText(records[i], later);
            if (!value.empty()) {
                AppendLine(out, prefix + std::string(later.m_Key) + "=" + value);
            }
        }
        for (const auto& [key, value] : records[i].m_OtherStoredValues) {
            AppendLine(out, prefix + key + "=" + value);
        }
    }
}

}  // namespace

std::string AccountsFilePath() {
    return GetProgramFolder() + "accounts.txt";
}

std::vector<EmailAccountInfo> ParseAccountsText(std::string_view text, const std::string& programFolder,
                                                std::optional<DataFileDamage>* damage) {
    text = WithoutByteOrderMark(text);
    if (StripWhiteSpace(text).empty()) {
        if (damage != nullptr) {
            damage->reset();
        }
        return {};
    }
    CNumberedLines reader(text);
    std::optional<DataFileDamage> found;
    const auto note = [&found](std::size_t line, std::string what) {
        if (!found) {
            found = DataFileDamage{{}, line, std::move(what)};
        }
    };
    const std::string_view first = reader.NextTrimmed();
    const bool current = first == kAccountsFileHeader;
    const std::string_view countLine = current ? reader.NextTrimmed() : first;
    const std::int32_t count = LeadingNumber<std::int32_t>(countLine);
    if (!IsWholeNumber(countLine) || count < 0) {
        note(reader.LineNumber(), current ? "the number of accounts is not a number"
                                          : "neither \"" + std::string(kAccountsFileHeader) +
                                                "\" nor a number of accounts");
    }
    const std::size_t linesPerAccount = current ? kAccountLines.size() : kOldLinesPerAccount;

    std::vector<EmailAccountInfo> records;
    for (std::int32_t i = 0; i < count && !reader.AtEnd(); ++i) {
        EmailAccountInfo record(programFolder);
        for (std::size_t line = 0; line < linesPerAccount; ++line) {
            if (reader.AtEnd()) {
                note(reader.LineNumber() + 1, "the file ends inside account " + std::to_string(i + 1) + " of " +
                                                  std::to_string(count));
            }
            const std::string_view value = reader.NextTrimmed();
            if (kAccountLines[line].m_Kind == ELineKind::kInteger && !IsWholeNumber(value)) {
                note(reader.LineNumber(), "the " + std::string(kAccountLines[line].m_Label) + " of account " +
                                              std::to_string(i + 1) + " is not a number");
            }
            ReadValue(record, kAccountLines[line], value);
        }
        records.push_back(std::move(record));
    }
    if (static_cast<std::int32_t>(records.size()) < count) {
        note(reader.LineNumber() + 1, "the file ends before account " + std::to_string(records.size() + 1) + " of " +
                                          std::to_string(count));
    }
    // After the blocks: blank lines, and in the current layout the later values.
    bool inLaterValues = false;
    for (std::string_view line; reader.Next(line);) {
        const std::string_view trimmed = TrimTrailingWhiteSpace(line);
        if (StripWhiteSpace(trimmed).empty()) {
            continue;
        }
        if (inLaterValues) {
            if (std::optional<std::string> what = ReadLaterValue(records, trimmed)) {
                note(reader.LineNumber(), std::move(*what));
            }
        } else if (current && trimmed == kAccountValuesHeader) {
            inLaterValues = true;
        } else {
            note(reader.LineNumber(), "more lines than the " + std::to_string(records.size()) + " account(s) hold");
        }
    }
    if (damage != nullptr) {
        *damage = std::move(found);
    }
    return records;
}

std::optional<DataFileDamage> FindAccountsTextDamage(std::string_view text) {
    std::optional<DataFileDamage> damage;
    ParseAccountsText(text, {}, &damage);
    return damage;
}

std::string FormatAccountsText(const std::vector<EmailAccountInfo>& records) {
    std::string out;
    AppendLine(out, kAccountsFileHeader);
    AppendLine(out, std::to_string(records.size()));
    for (const EmailAccountInfo& record : records) {
        for (const StoredLine& line : kAccountLines) {
            AppendLine(out, WrittenValue(record, line));
        }
    }
    AppendLaterValues(out, records);
    return out;
}

bool LoadAccounts(CAccountList& list, const std::string& path, std::optional<DataFileDamage>* damage) {
    std::string bytes;
    DataFileDamage unreadable;
    std::optional<DataFileDamage> found;
    bool loaded = false;
    switch (ReadDataFile(path, bytes, unreadable)) {
        case EDataFileRead::kMissing:
            break;
        case EDataFileRead::kUnreadable:
            found = std::move(unreadable);
            break;
        case EDataFileRead::kRead: {
            std::vector<EmailAccountInfo> records = ParseAccountsText(bytes, GetProgramFolder(), &found);
            if (found) {
                found->m_Path = path;
                break;  // half an account list would only mislead
            }
            for (EmailAccountInfo& record : records) {
                AddAccount(list, std::move(record));
            }
            loaded = true;
            break;
        }
    }
    NoteLoadedFile(path, found);
    if (damage != nullptr) {
        *damage = std::move(found);
    }
    return loaded;
}

bool LoadAccounts(CAccountList& list, std::optional<DataFileDamage>* damage) {
    return LoadAccounts(list, AccountsFilePath(), damage);
}

SaveResult SaveAccounts(const CAccountList& list, const std::string& path) {
    // One snapshot, so the count line always matches the blocks even while the list changes.
    return SaveDataFile(path, FormatAccountsText(list.Snapshot()), 0600, FindAccountsTextDamage);
}

SaveResult SaveAccounts(const CAccountList& list) {
    EnsureProgramFolder();
    return SaveAccounts(list, AccountsFilePath());
}

std::string_view FirstFieldNotStoredIntact(const EmailAccountInfo& record) {
    for (const StoredLine& line : kAccountLines) {
        if (line.m_Kind == ELineKind::kInteger) {
            continue;
        }
        const std::string written = WrittenValue(record, line);
        if (written.find('\n') != std::string::npos || TrimTrailingWhiteSpace(written).size() != written.size()) {
            return line.m_Label;
        }
    }
    return {};
}

}  // namespace sieveclaw
