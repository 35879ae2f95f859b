#include "core/AccountsFile.h"

#include <array>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>

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

void AppendLine(std::string& out, std::string_view value) {
    out.append(value.substr(0, value.find('\n')));
    out.append("\r\n");
}

// One value of the section after the blocks: its key and the member it holds, a connection
// security (by its name) or a switch (0 or 1).
struct LaterValue {
    std::string_view m_Key;
    EConnectionSecurity EmailAccountInfo::*m_Security;
    std::int32_t EmailAccountInfo::*m_Switch;
};

constexpr std::array<LaterValue, 3> kLaterValues{{
    {"pop3-security", &EmailAccountInfo::m_POP3Security, nullptr},
    {"smtp-security", &EmailAccountInfo::m_SMTPSecurity, nullptr},
    {"leave-unread", nullptr, &EmailAccountInfo::m_LeaveMailUnread},
}};

std::string LaterValueText(const EmailAccountInfo& record, const LaterValue& later) {
    return later.m_Security != nullptr ? std::string(SecurityName(record.*later.m_Security))
                                       : std::to_string(record.*later.m_Switch != 0 ? 1 : 0);
}

// "3 pop3-security=ssl-tls" into the third record. Lines that name no record, or hold no '=',
// are not this section's and are passed over; a known key with a value it cannot take keeps the
// record's default.
void ReadLaterValue(std::vector<EmailAccountInfo>& records, std::string_view line) {
    const std::size_t blank = line.find(' ');
    const std::size_t equals = line.find('=');
    if (blank == std::string_view::npos || equals == std::string_view::npos || equals < blank) {
        return;
    }
    const std::string_view number = line.substr(0, blank);
    if (number.empty() || number.find_first_not_of("0123456789") != std::string_view::npos || number.size() > 9) {
        return;
    }
    const std::size_t index = static_cast<std::size_t>(LeadingNumber<std::int32_t>(number));
    if (index == 0 || index > records.size()) {
        return;
    }
    EmailAccountInfo& record = records[index - 1];
    const std::string_view key = line.substr(blank + 1, equals - blank - 1);
    const std::string_view value = line.substr(equals + 1);
    for (const LaterValue& later : kLaterValues) {
        if (later.m_Key != key) {
            continue;
        }
        if (later.m_Security == nullptr) {
            if (value == "0" || value == "1") {
                record.*later.m_Switch = value == "1" ? 1 : 0;
            }
        } else if (const std::optional<EConnectionSecurity> security = ParseSecurityName(value)) {
            record.*later.m_Security = *security;
        }
        return;
    }
    record.m_OtherStoredValues.emplace_back(key, value);
}

void AppendLaterValues(std::string& out, const std::vector<EmailAccountInfo>& records) {
    if (records.empty()) {
        return;
    }
    AppendLine(out, kAccountValuesHeader);
    for (std::size_t i = 0; i < records.size(); ++i) {
        const std::string prefix = std::to_string(i + 1) + " ";
        for (const LaterValue& later : kLaterValues) {
            AppendLine(out, prefix + std::string(later.m_Key) + "=" + LaterValueText(records[i], later));
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

std::vector<EmailAccountInfo> ParseAccountsText(std::string_view text, const std::string& programFolder) {
    CLineReader reader(text);
    const std::string_view first = reader.NextTrimmed();
    const bool current = first == kAccountsFileHeader;
    const std::int32_t count = LeadingNumber<std::int32_t>(current ? reader.NextTrimmed() : first);
    const std::size_t linesPerAccount = current ? kAccountLines.size() : kOldLinesPerAccount;

    std::vector<EmailAccountInfo> records;
    for (std::int32_t i = 0; i < count && !reader.AtEnd(); ++i) {
        EmailAccountInfo record(programFolder);
        for (std::size_t line = 0; line < linesPerAccount; ++line) {
            ReadValue(record, kAccountLines[line], reader.NextTrimmed());
        }
        records.push_back(std::move(record));
    }
    if (current && reader.NextTrimmed() == kAccountValuesHeader) {
        std::string_view line;
        while (reader.Next(line)) {
            ReadLaterValue(records, TrimTrailingWhiteSpace(line));
        }
    }
    return records;
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

bool LoadAccounts(CAccountList& list, const std::string& path) {
    std::string bytes;
    if (!ReadFileBytes(path, bytes)) {
        return false;
    }
    for (EmailAccountInfo& record : ParseAccountsText(bytes, GetProgramFolder())) {
        AddAccount(list, std::move(record));
    }
    return true;
}

bool LoadAccounts(CAccountList& list) {
    return LoadAccounts(list, AccountsFilePath());
}

bool SaveAccounts(const CAccountList& list, const std::string& path) {
    // One snapshot, so the count line always matches the blocks even while the list changes.
    return WriteFileAtomically(path, FormatAccountsText(list.Snapshot()), 0600);
}

bool SaveAccounts(const CAccountList& list) {
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
