#include "core/Settings.h"

#include <climits>
#include <utility>

#include "core/ScrambleText.h"

namespace sieveclaw {

namespace {

constexpr std::array<std::string_view, 4> kRectSuffixes{"Left", "Top", "Right", "Bottom"};
constexpr std::array<std::string_view, 6> kTimeSuffixes{"Month", "Day", "Year", "Hour", "Minute", "Second"};
constexpr std::uint32_t kDefaultMaxMsgSize = 1048576;
constexpr std::string_view kDefaultPorts = "995;465;";

std::string Joined(std::string_view prefix, std::string_view suffix) {
    std::string name(prefix);
    name += suffix;
    return name;
}

int LowHalf(std::uint32_t value) {
    return static_cast<int>(value & 0xFFFFu);
}
int HighHalf(std::uint32_t value) {
    return static_cast<int>(value >> 16);
}

// Reads of the section, so that LoadSettings reads like the table.
class CSectionReader {
public:
    explicit CSectionReader(const CProfileStore& store) : m_Store(store) {}

    int Int(std::string_view name, int defaultValue) const {
        return m_Store.GetProfileInt(kSettingsSection, name, defaultValue);
    }
    bool Switch(std::string_view name, bool defaultValue) const { return Int(name, defaultValue ? 1 : 0) != 0; }
    std::string Text(std::string_view name, std::string_view defaultValue = {}) const {
        return m_Store.GetProfileString(kSettingsSection, name, defaultValue);
    }
    WindowRect Rect(std::string_view prefix) const {
        WindowRect rect;
        rect.m_Left = Int(Joined(prefix, "Left"), -1);
        rect.m_Top = Int(Joined(prefix, "Top"), -1);
        rect.m_Right = Int(Joined(prefix, "Right"), -1);
        rect.m_Bottom = Int(Joined(prefix, "Bottom"), -1);
        return rect;
    }
    // Built from local time, daylight saving left to the system.
    std::time_t TimeStamp(std::string_view prefix) const {
        const long long year = Int(Joined(prefix, "Year"), 2000);
        const long long month = Int(Joined(prefix, "Month"), 1);
        const long long fields[] = {year - 1900, month - 1};
        for (const long long field : fields) {
            if (field < INT_MIN || field > INT_MAX) {
                return DefaultSettingsTimeStamp();
            }
        }
        std::tm parts{};
        parts.tm_year = static_cast<int>(fields[0]);
        parts.tm_mon = static_cast<int>(fields[1]);
        parts.tm_mday = Int(Joined(prefix, "Day"), 1);
        parts.tm_hour = Int(Joined(prefix, "Hour"), 1);
        parts.tm_min = Int(Joined(prefix, "Minute"), 1);
        parts.tm_sec = Int(Joined(prefix, "Second"), 1);
        parts.tm_isdst = -1;
        const std::time_t when = std::mktime(&parts);
        return when == static_cast<std::time_t>(-1) ? DefaultSettingsTimeStamp() : when;
    }
    std::uint32_t HiLo(std::string_view prefix, std::uint32_t defaultValue) const {
        const int high = Int(Joined(prefix, "HI"), HighHalf(defaultValue));
        const int low = Int(Joined(prefix, "LO"), LowHalf(defaultValue));
        return (static_cast<std::uint32_t>(high) << 16) | (static_cast<std::uint32_t>(low) & 0xFFFFu);
    }

private:
    const CProfileStore& m_Store;
};

// Writes of the section, so that SaveSettings reads like the table.
class CSectionWriter {
public:
    explicit CSectionWriter(CProfileStore& store) : m_Store(store) {}

    void PutInt(std::string_view name, int value) { m_Store.WriteProfileInt(kSettingsSection, name, value); }
    void PutSwitch(std::string_view name, bool on) { PutInt(name, on ? 1 : 0); }
    void PutText(std::string_view name, std::string_view value) {
        m_Store.WriteProfileString(kSettingsSection, name, value);
    }
    void PutRect(std::string_view prefix, const WindowRect& rect) {
        PutInt(Joined(prefix, "Left"), rect.m_Left);
        PutInt(Joined(prefix, "Top"), rect.m_Top);
        PutInt(Joined(prefix, "Right"), rect.m_Right);
        PutInt(Joined(prefix, "Bottom"), rect.m_Bottom);
    }
    void PutTimeStamp(std::string_view prefix, std::time_t when) {
        std::tm parts{};
        if (::localtime_r(&when, &parts) == nullptr) {
            parts = {};
            parts.tm_year = 2000 - 1900;
            parts.tm_mday = parts.tm_hour = parts.tm_min = parts.tm_sec = 1;
        }
        PutInt(Joined(prefix, "Month"), parts.tm_mon + 1);
        PutInt(Joined(prefix, "Day"), parts.tm_mday);
        PutInt(Joined(prefix, "Year"), parts.tm_year + 1900);
        PutInt(Joined(prefix, "Hour"), parts.tm_hour);
        PutInt(Joined(prefix, "Minute"), parts.tm_min);
        PutInt(Joined(prefix, "Second"), parts.tm_sec);
    }
    void PutHiLo(std::string_view prefix, std::uint32_t value) {
        PutInt(Joined(prefix, "LO"), LowHalf(value));
        PutInt(Joined(prefix, "HI"), HighHalf(value));
    }

private:
    CProfileStore& m_Store;
};

std::vector<SettingsValueInfo> BuildValueTable() {
    std::vector<SettingsValueInfo> table;
    auto integer = [&table](std::string name, int defaultValue) {
        table.push_back({std::move(name), true, defaultValue, {}});
    };
    auto text = [&table](std::string name, std::string defaultValue = {}) {
        table.push_back({std::move(name), false, 0, std::move(defaultValue)});
    };
    auto rect = [&](std::string_view prefix) {
        for (const std::string_view suffix : kRectSuffixes) {
            integer(Joined(prefix, suffix), -1);
        }
    };
    auto timeStamp = [&](std::string_view prefix) {
        for (const std::string_view suffix : kTimeSuffixes) {
            integer(Joined(prefix, suffix), suffix == "Year" ? 2000 : 1);
        }
    };
    auto hiLo = [&](std::string_view prefix, std::uint32_t defaultValue) {
        integer(Joined(prefix, "LO"), LowHalf(defaultValue));
        integer(Joined(prefix, "HI"), HighHalf(defaultValue));
    };

    integer("EmailDelay", 1);
    rect("Inbox");
    rect("Trash");
    text("FilterPassword");
    rect("ViewEmail");
    integer("PlaySounds", 1);
    timeStamp("LastDataUpdateDate");
    text("SoundFilePath");
    integer("Timeout", 2);
    hiLo("HotKey", 0);
    integer("AcceptOnlyFriends", 0);
    integer("DeleteAfterDaysOld", 7);
    integer("AutoDelete", 1);
    timeStamp("LastAutoDeleteTime");
    integer("AutoDelFileExts", 0);
    hiLo("MaxMsgSize", kDefaultMaxMsgSize);
    for (const std::string_view list : {"Accounts", "Inbox", "Trash"}) {
        integer(Joined(list, "SortOrder"), 3);
        integer(Joined(list, "Col2SortBy"), -1);
    }
    text("MailProgram");
    text("Exts");
    for (std::size_t column = 0; column < kInboxColumns; ++column) {
        integer("InboxColWidth" + std::to_string(column), 0);
    }
    for (std::size_t column = 0; column < kTrashColumns; ++column) {
        integer("TrashColWidth" + std::to_string(column), 0);
    }
    text("ImplicitTlsPorts", std::string(kDefaultPorts));
    return table;
}

}  // namespace

std::uint32_t ReadHiLoSetting(const CProfileStore& store, std::string_view name) {
    return CSectionReader(store).HiLo(name, name == "MaxMsgSize" ? kDefaultMaxMsgSize : 0);
}

bool WriteHiLoSetting(CProfileStore& store, std::string_view name, std::uint32_t value) {
    CProfileStore::CWriteBatch batch(store);
    CSectionWriter(store).PutHiLo(name, value);
    return batch.Commit();
}

std::time_t ReadTimeStampSetting(const CProfileStore& store, std::string_view name) {
    return CSectionReader(store).TimeStamp(name);
}

bool WriteTimeStampSetting(CProfileStore& store, std::string_view name, std::time_t when) {
    CProfileStore::CWriteBatch batch(store);
    CSectionWriter(store).PutTimeStamp(name, when);
    return batch.Commit();
}

std::time_t DefaultSettingsTimeStamp() {
    std::tm parts{};
    parts.tm_year = 2000 - 1900;
    parts.tm_mon = 0;
    parts.tm_mday = 1;
    parts.tm_hour = 1;
    parts.tm_min = 1;
    parts.tm_sec = 1;
    parts.tm_isdst = -1;
    return std::mktime(&parts);
}

const std::vector<SettingsValueInfo>& SettingsValueTable() {
    static const std::vector<SettingsValueInfo> table = BuildValueTable();
    return table;
}

std::string JoinExtensionList(const std::vector<std::string>& exts) {
    std::string text;
    for (const std::string& ext : exts) {
        text += ext;
        text += ';';
    }
    return text;
}

std::vector<std::string> SplitExtensionList(std::string_view text) {
    std::vector<std::string> exts;
    std::size_t start = 0;
    for (std::size_t end = text.find(';'); end != std::string_view::npos; end = text.find(';', start)) {
        exts.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
    if (exts.empty()) {
        exts = {".pif", ".bat"};
    }
    return exts;
}

std::string JoinPortList(const std::vector<int>& ports) {
    std::string text;
    for (const int port : ports) {
        text += std::to_string(port);
        text += ';';
    }
    return text;
}

std::vector<int> SplitPortList(std::string_view text) {
    std::vector<int> ports;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(';', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        const std::string_view entry = text.substr(start, end - start);
        int port = 0;
        bool digits = !entry.empty() && entry.size() <= 5;
        for (const char c : entry) {
            digits = digits && c >= '0' && c <= '9';
            if (digits) {
                port = port * 10 + (c - '0');
            }
        }
        if (digits && port >= 1 && port <= 65535) {
            ports.push_back(port);
        }
        start = end + 1;
    }
    return ports;
}

bool IsMessageShown(const CProfileStore& store, std::string_view box) {
    return store.GetProfileInt(kSettingsSection, box, 1) != 0;
}

bool SetMessageShown(CProfileStore& store, std::string_view box, bool shown) {
    return store.WriteProfileInt(kSettingsSection, box, shown ? 1 : 0);
}

CSettings::CSettings() {
    m_Values.m_EmailDelay = 0;
}

void CSettings::LoadSettings(const CProfileStore& store) {
    const CSectionReader section(store);
    SettingsValues values;
    values.m_EmailDelay = section.Int("EmailDelay", 1);
    values.m_InboxRect = section.Rect("Inbox");
    values.m_TrashRect = section.Rect("Trash");
    values.m_FilterPassword = ScrambleText(section.Text("FilterPassword"));
    values.m_ViewEmailRect = section.Rect("ViewEmail");
    values.m_PlaySounds = section.Switch("PlaySounds", true);
    values.m_LastDataUpdateDate = section.TimeStamp("LastDataUpdateDate");
    values.m_SoundFilePath = section.Text("SoundFilePath");
    values.m_Timeout = section.Int("Timeout", 2);
    values.m_HotKey = section.HiLo("HotKey", 0);
    values.m_AcceptOnlyFriends = section.Switch("AcceptOnlyFriends", false);
    values.m_DeleteAfterDaysOld = section.Int("DeleteAfterDaysOld", 7);
    values.m_AutoDelete = section.Switch("AutoDelete", true);
    values.m_LastAutoDeleteTime = section.TimeStamp("LastAutoDeleteTime");
    values.m_AutoDelFileExts = section.Switch("AutoDelFileExts", false);
    values.m_MaxMsgSize = section.HiLo("MaxMsgSize", kDefaultMaxMsgSize);
    values.m_AccountsSort = {section.Int("AccountsSortOrder", 3), section.Int("AccountsCol2SortBy", -1)};
    values.m_InboxSort = {section.Int("InboxSortOrder", 3), section.Int("InboxCol2SortBy", -1)};
    values.m_TrashSort = {section.Int("TrashSortOrder", 3), section.Int("TrashCol2SortBy", -1)};
    values.m_MailProgram = section.Text("MailProgram");
    values.m_Exts = SplitExtensionList(section.Text("Exts"));
    for (std::size_t column = 0; column < kInboxColumns; ++column) {
        values.m_InboxColWidths[column] = section.Int("InboxColWidth" + std::to_string(column), 0);
    }
    for (std::size_t column = 0; column < kTrashColumns; ++column) {
        values.m_TrashColWidths[column] = section.Int("TrashColWidth" + std::to_string(column), 0);
    }
    values.m_ImplicitTlsPorts = SplitPortList(section.Text("ImplicitTlsPorts", kDefaultPorts));

    std::lock_guard lock(m_Lock);
    m_Values = std::move(values);
}

bool CSettings::SaveSettings(CProfileStore& store) const {
    // A copy taken under the lock, so the worker may go on changing members while the file is
    // written.
    const SettingsValues values = Snapshot();
    CProfileStore::CWriteBatch batch(store);
    CSectionWriter section(store);
    section.PutInt("EmailDelay", values.m_EmailDelay);
    section.PutRect("Inbox", values.m_InboxRect);
    section.PutRect("Trash", values.m_TrashRect);
    section.PutText("FilterPassword", ScrambleText(values.m_FilterPassword));
    section.PutRect("ViewEmail", values.m_ViewEmailRect);
    section.PutSwitch("PlaySounds", values.m_PlaySounds);
    section.PutTimeStamp("LastDataUpdateDate", values.m_LastDataUpdateDate);
    section.PutText("SoundFilePath", values.m_SoundFilePath);
    section.PutInt("Timeout", values.m_Timeout);
    section.PutHiLo("HotKey", values.m_HotKey);
    section.PutSwitch("AcceptOnlyFriends", values.m_AcceptOnlyFriends);
    section.PutInt("DeleteAfterDaysOld", values.m_DeleteAfterDaysOld);
    section.PutSwitch("AutoDelete", values.m_AutoDelete);
    section.PutTimeStamp("LastAutoDeleteTime", values.m_LastAutoDeleteTime);
    section.PutSwitch("AutoDelFileExts", values.m_AutoDelFileExts);
    section.PutHiLo("MaxMsgSize", values.m_MaxMsgSize);
    section.PutInt("AccountsSortOrder", values.m_AccountsSort.m_SortOrder);
    section.PutInt("AccountsCol2SortBy", values.m_AccountsSort.m_Col2SortBy);
    section.PutInt("InboxSortOrder", values.m_InboxSort.m_SortOrder);
    section.PutInt("InboxCol2SortBy", values.m_InboxSort.m_Col2SortBy);
    section.PutInt("TrashSortOrder", values.m_TrashSort.m_SortOrder);
    section.PutInt("TrashCol2SortBy", values.m_TrashSort.m_Col2SortBy);
    section.PutText("MailProgram", values.m_MailProgram);
    section.PutText("Exts", JoinExtensionList(values.m_Exts));
    for (std::size_t column = 0; column < kInboxColumns; ++column) {
        section.PutInt("InboxColWidth" + std::to_string(column), values.m_InboxColWidths[column]);
    }
    for (std::size_t column = 0; column < kTrashColumns; ++column) {
        section.PutInt("TrashColWidth" + std::to_string(column), values.m_TrashColWidths[column]);
    }
    section.PutText("ImplicitTlsPorts", JoinPortList(values.m_ImplicitTlsPorts));
    return batch.Commit();
}

SettingsValues CSettings::Snapshot() const {
    std::lock_guard lock(m_Lock);
    return m_Values;
}

void CSettings::Update(const std::function<void(SettingsValues&)>& change) {
    std::lock_guard lock(m_Lock);
    change(m_Values);
}

int CSettings::GetEmailDelay() const {
    return Get(&SettingsValues::m_EmailDelay);
}
void CSettings::SetEmailDelay(int minutes) {
    Set(&SettingsValues::m_EmailDelay, minutes);
}
bool CSettings::GetPlaySounds() const {
    return Get(&SettingsValues::m_PlaySounds);
}
void CSettings::SetPlaySounds(bool on) {
    Set(&SettingsValues::m_PlaySounds, on);
}
std::time_t CSettings::GetLastDataUpdateDate() const {
    return Get(&SettingsValues::m_LastDataUpdateDate);
}
void CSettings::SetLastDataUpdateDate(std::time_t when) {
    Set(&SettingsValues::m_LastDataUpdateDate, when);
}
int CSettings::GetTimeout() const {
    return Get(&SettingsValues::m_Timeout);
}
void CSettings::SetTimeout(int minutes) {
    Set(&SettingsValues::m_Timeout, minutes);
}
bool CSettings::GetAcceptOnlyFriends() const {
    return Get(&SettingsValues::m_AcceptOnlyFriends);
}
void CSettings::SetAcceptOnlyFriends(bool on) {
    Set(&SettingsValues::m_AcceptOnlyFriends, on);
}
int CSettings::GetDeleteAfterDaysOld() const {
    return Get(&SettingsValues::m_DeleteAfterDaysOld);
}
void CSettings::SetDeleteAfterDaysOld(int days) {
    Set(&SettingsValues::m_DeleteAfterDaysOld, days);
}
bool CSettings::GetAutoDelete() const {
    return Get(&SettingsValues::m_AutoDelete);
}
void CSettings::SetAutoDelete(bool on) {
    Set(&SettingsValues::m_AutoDelete, on);
}
std::time_t CSettings::GetLastAutoDeleteTime() const {
    return Get(&SettingsValues::m_LastAutoDeleteTime);
}
void CSettings::SetLastAutoDeleteTime(std::time_t when) {
    Set(&SettingsValues::m_LastAutoDeleteTime, when);
}
bool CSettings::GetAutoDelFileExts() const {
    return Get(&SettingsValues::m_AutoDelFileExts);
}
void CSettings::SetAutoDelFileExts(bool on) {
    Set(&SettingsValues::m_AutoDelFileExts, on);
}
std::uint32_t CSettings::GetMaxMsgSize() const {
    return Get(&SettingsValues::m_MaxMsgSize);
}
void CSettings::SetMaxMsgSize(std::uint32_t bytes) {
    Set(&SettingsValues::m_MaxMsgSize, bytes);
}
std::vector<std::string> CSettings::GetExts() const {
    return Get(&SettingsValues::m_Exts);
}
void CSettings::SetExts(std::vector<std::string> exts) {
    Set(&SettingsValues::m_Exts, std::move(exts));
}
std::vector<int> CSettings::GetImplicitTlsPorts() const {
    return Get(&SettingsValues::m_ImplicitTlsPorts);
}
void CSettings::SetImplicitTlsPorts(std::vector<int> ports) {
    Set(&SettingsValues::m_ImplicitTlsPorts, std::move(ports));
}

}  // namespace sieveclaw
