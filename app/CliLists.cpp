// sieveclaw-cli lists: the Filters and Friends dialogs' operations on the list
// files.

#include <cerrno>
#include <iostream>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/CliCommands.h"
#include "core/AccountList.h"
#include "core/AsciiCase.h"
#include "core/DataFolder.h"
#include "core/PrintableText.h"
#include "core/ProfileStore.h"
#include "core/Settings.h"
#include "core/TextFile.h"
#include "core/UserPrompt.h"
#include "filter/AddressBookImport.h"
#include "filter/FilterFiles.h"
#include "filter/FilterLists.h"
#include "filter/RescanInbox.h"

namespace sieveclaw {

namespace {

constexpr const char* kUsage =
    "usage: sieveclaw-cli lists [/a] show friends|from|body|exts\n"
    "       sieveclaw-cli lists [/a] add friends|from|body|exts TEXT\n"
    "       sieveclaw-cli lists [/a] remove friends|from|body|exts TEXT\n"
    "       sieveclaw-cli lists [/a] import-words FILE --to from|body\n"
    "       sieveclaw-cli lists [/a] import-friends FILE\n"
    "  /a also appends every new From or Body entry to adminfromlist.txt or "
    "adminbodylist.txt.\n"
    "  A new filter entry is followed by the rescan of the remembered Inbox "
    "messages; the command\n"
    "  line keeps no Inbox messages, so its rescan finds none.\n";

std::string Stripped(std::string_view text) {
    return std::string(StripWhiteSpace(text));
}

int Usage(const std::string& problem) {
    std::cerr << "sieveclaw-cli lists: " << problem << "\n" << kUsage;
    return 2;
}

int Failure(const std::string& problem) {
    std::cerr << "sieveclaw-cli lists: " << problem << "\n";
    return 1;
}

// The prompts of the dialogs, printed. The file dialog answers with the file
// named on the command line; a dismissable box is printed once per run and not
// at all when its switch is off.
class CCliPrompt : public CUserPrompt {
public:
    CCliPrompt(const CProfileStore& store, std::optional<std::string> file) : m_Store(store), m_File(std::move(file)) {}

    void ShowDismissable(const std::string& switchName, const std::string& text) override {
        if (!m_Shown.insert(switchName).second || !IsMessageShown(m_Store, switchName)) {
            return;
        }
        std::cout << PrintableText(text, true) << "\n";
    }
    void ShowError(const std::string& text) override { std::cerr << PrintableText(text, true) << "\n"; }
    void ShowInformation(const std::string& text) override { std::cout << PrintableText(text, true) << "\n"; }
    EAnswer AskYesNoCancel(const std::string& text) override {
        // Nobody is there to answer: nothing that needs a yes is done.
        std::cerr << PrintableText(text, true) << "\n(no answer on the command line: cancelled)\n";
        return EAnswer::kCancel;
    }
    std::optional<std::string> ChooseFileToOpen(const std::string&, const std::string&) override { return m_File; }

private:
    const CProfileStore& m_Store;
    std::optional<std::string> m_File;
    std::set<std::string> m_Shown;
};

enum class EListName { kFriends, kFrom, kBody, kExts };

std::optional<EListName> ParseListName(const std::string& name) {
    if (name == "friends") {
        return EListName::kFriends;
    }
    if (name == "from") {
        return EListName::kFrom;
    }
    if (name == "body") {
        return EListName::kBody;
    }
    if (name == "exts") {
        return EListName::kExts;
    }
    return std::nullopt;
}

// Everything a list operation of the dialogs needs, loaded the way the program
// loads it.
struct CListsSession {
    CProfileStore m_Store{GetProfileStorePath()};
    CFilterLists m_Lists;
    std::mutex m_SettingsLock;
    CAccountList m_Accounts;  // no remembered Inbox messages on the command line
    bool m_Administrator = false;

    // Empty on success, else why the lists could not be loaded.
    std::string Load() {
        // A later save would replace what a damaged file holds with what could be read of it.
        if (!m_Store.Load()) {
            const std::optional<DataFileDamage> damage = m_Store.Damage();
            return damage ? RefusedSaveText(*damage) : m_Store.LastError();
        }
        std::optional<DataFileDamage> damage;
        LoadFilterFile(m_Lists, WordListPath(), true, m_SettingsLock, &damage);
        if (!damage) {
            LoadFriends(m_Lists, m_SettingsLock, FriendsPath(), &damage);
        }
        if (damage) {
            return RefusedSaveText(*damage);
        }
        for (std::string& ext : Exts()) {
            m_Lists.m_Exts.Append(std::move(ext));
        }
        return {};
    }

    std::vector<std::string> Exts() const {
        return SplitExtensionList(m_Store.GetProfileString(kSettingsSection, "Exts", ""));
    }

    bool AutoDelFileExts() const { return m_Store.GetProfileInt(kSettingsSection, "AutoDelFileExts", 0) != 0; }

    void Rescan(CUserPrompt& prompt) { RescanInbox(m_Accounts, m_Lists, AutoDelFileExts(), prompt, nullptr); }

    // 0 when "wordlist.txt" was written with every entry, else 1 after saying
    // why.
    int SaveWords() {
        std::vector<std::string> unstorable;
        EnsureProgramFolder();
        if (const SaveResult saved = SaveWordList(m_Lists, m_SettingsLock, WordListPath(), &unstorable); !saved) {
            return Failure(saved.m_Error);
        }
        for (const std::string& entry : unstorable) {
            std::cerr << "sieveclaw-cli lists: '" << PrintableText(entry)
                      << "' cannot be stored in the word list (a byte of it would "
                         "turn into a line end or a "
                         "trailing blank in the file); it was left out\n";
        }
        return unstorable.empty() ? 0 : 1;
    }

    int SaveFriendsFile() {
        EnsureProgramFolder();
        const SaveResult saved = SaveFriends(m_Lists, m_SettingsLock);
        return saved ? 0 : Failure(saved.m_Error);
    }

    int SaveExts(const std::vector<std::string>& exts) {
        if (!m_Store.WriteProfileString(kSettingsSection, "Exts", JoinExtensionList(exts))) {
            return Failure(m_Store.LastError());
        }
        return 0;
    }
};

GuardedStringSet& WordList(CFilterLists& lists, EListName name) {
    return name == EListName::kFrom ? lists.m_FromList : lists.m_BodyList;
}

const char* WordListLabel(EListName name) {
    return name == EListName::kFrom ? "From" : "Body";
}

int Show(CListsSession& session, EListName name) {
    switch (name) {
        case EListName::kFriends:
            for (const std::string& entry : session.m_Lists.m_Friends.Snapshot()) {
                std::cout << PrintableText(entry) << '\t' << FriendTypeText(entry) << '\n';
            }
            break;
        case EListName::kFrom:
        case EListName::kBody:
            for (const std::string& entry : WordList(session.m_Lists, name).Entries()) {
                std::cout << PrintableText(entry) << '\n';
            }
            break;
        case EListName::kExts:
            for (const std::string& ext : session.Exts()) {
                std::cout << PrintableText(ext) << '\n';
            }
            break;
    }
    return std::cout.flush() ? 0 : 1;
}

// The friend dialog's check of a domain entry (already lowered): a '.', and
// only letters, digits and '-' before the first one.
bool IsValidFriendDomain(const std::string& domain) {
    const std::size_t dot = domain.find('.');
    if (dot == std::string::npos) {
        return false;
    }
    for (std::size_t i = 0; i < dot; ++i) {
        const char c = domain[i];
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-')) {
            return false;
        }
    }
    return true;
}

int AddFriend(CListsSession& session, std::string entry) {
    if (entry.empty()) {
        return Failure("the friend is blank");
    }
    if (entry.find('@') != std::string::npos) {
        if (!IsValidFriendAddress(entry)) {
            return Failure("This does not appear to be a valid email address.");
        }
    } else {
        entry = AsciiLowered(entry);
        if (!IsValidFriendDomain(entry)) {
            return Failure(
                "It appears that the domain name you supplied is not "
                "typed correctly.  Use only letters, numbers or "
                "dashes (-) followed by .com, .net, .name, etc. ");
        }
    }
    if (session.m_Lists.m_Friends.Find(entry) != kNoPos) {
        std::cerr << "sieveclaw-cli lists: '" << PrintableText(entry) << "' is already a friend\n";
        return 0;
    }
    session.m_Lists.m_Friends.Append(entry);
    return session.SaveFriendsFile();
}

int AddWord(CListsSession& session, EListName name, const std::string& entry, CUserPrompt& prompt) {
    if (entry.empty()) {
        return Failure("Please enter a word, phrase or domain name.");
    }
    const EFilterList list = name == EListName::kFrom ? EFilterList::kFrom : EFilterList::kBody;
    if (!AddFilterEntryByHand(session.m_Lists, list, entry, session.m_Administrator, [&] { session.Rescan(prompt); })) {
        std::cerr << "sieveclaw-cli lists: '" << PrintableText(entry) << "' is already in the " << WordListLabel(name) << " list\n";
        return 0;
    }
    return session.SaveWords();
}

int AddExt(CListsSession& session, const std::string& text) {
    if (text.empty()) {
        return Failure("Your file extension is blank.");
    }
    // As the extension dialog: a leading dot, then the extension part of "test" +
    // text.
    const std::string name = "test" + (text.front() == '.' ? text : "." + text);
    const std::string ext = name.substr(name.rfind('.'));
    if (ext.find(';') != std::string::npos) {
        return Failure("an extension cannot hold ';', which separates the stored extensions");
    }
    std::vector<std::string> exts = session.Exts();
    for (const std::string& known : exts) {
        if (known == ext) {
            std::cerr << "sieveclaw-cli lists: '" << ext << "' is already in the extension list\n";
            return 0;
        }
    }
    exts.push_back(ext);
    return session.SaveExts(exts);
}

int Remove(CListsSession& session, EListName name, const std::string& entry) {
    switch (name) {
        case EListName::kFriends: {
            const ListPos pos = session.m_Lists.m_Friends.Find(entry);
            if (pos == kNoPos || !session.m_Lists.m_Friends.RemoveAt(pos)) {
                return Failure("'" + entry + "' is not a friend");
            }
            return session.SaveFriendsFile();
        }
        case EListName::kFrom:
        case EListName::kBody:
            if (!WordList(session.m_Lists, name).Remove(entry)) {
                return Failure("'" + entry + "' is not in the " + WordListLabel(name) + " list");
            }
            return session.SaveWords();
        case EListName::kExts: {
            std::vector<std::string> exts = session.Exts();
            std::vector<std::string> kept;
            for (std::string& ext : exts) {
                if (ext != entry) {
                    kept.push_back(std::move(ext));
                }
            }
            if (kept.size() == exts.size()) {
                return Failure("'" + entry + "' is not in the extension list");
            }
            if (kept.empty()) {
                std::cerr << "sieveclaw-cli lists: the extension list is empty now; it "
                             "reads as .pif and .bat\n";
            }
            return session.SaveExts(kept);
        }
    }
    return 2;
}

int ImportWords(CListsSession& session, const std::vector<std::string>& arguments) {
    if (arguments.size() != 3 || arguments[1] != "--to" || (arguments[2] != "from" && arguments[2] != "body")) {
        return Usage("import-words takes FILE --to from|body");
    }
    const EFilterList list = arguments[2] == "from" ? EFilterList::kFrom : EFilterList::kBody;
    CCliPrompt prompt(session.m_Store, arguments[0]);
    const FilterImportResult result =
        ImportFilterFile(prompt, session.m_Lists, list, session.m_Administrator, [&] { session.Rescan(prompt); });
    if (!result.m_FileRead) {
        return Failure("cannot read " + arguments[0]);
    }
    for (const std::string& entry : result.m_Added) {
        std::cout << PrintableText(entry) << '\n';
    }
    return session.SaveWords();
}

int ImportFriends(CListsSession& session, const std::vector<std::string>& arguments) {
    if (arguments.size() != 1) {
        return Usage("import-friends takes one FILE");
    }
    CCliPrompt prompt(session.m_Store, arguments[0]);
    const AddressBookImportResult result = ImportAddressBook(prompt, session.m_Lists);
    if (!result.m_FileRead) {
        return Failure("cannot read " + arguments[0]);
    }
    if (result.m_MissingColumn) {
        return 1;
    }
    for (const FriendRow& row : result.m_Added) {
        std::cout << PrintableText(row.m_Entry) << '\t' << row.m_Type << '\n';
    }
    return session.SaveFriendsFile();
}

}  // namespace

const char* ListsUsage() {
    return kUsage;
}

int RunListsCommand(const std::vector<std::string>& arguments) {
    std::vector<std::string> rest = arguments;
    CListsSession session;
    if (!rest.empty() && rest.front() == "/a") {
        session.m_Administrator = true;
        rest.erase(rest.begin());
    }
    if (rest.empty()) {
        return Usage("a subcommand is missing");
    }
    const std::string command = rest.front();
    rest.erase(rest.begin());
    if (command != "show" && command != "add" && command != "remove" && command != "import-words" &&
        command != "import-friends") {
        return Usage("unknown subcommand '" + command + "'");
    }
    std::optional<EListName> name;
    if (command == "show" || command == "add" || command == "remove") {
        const std::size_t wanted = command == "show" ? 1 : 2;
        if (rest.size() != wanted || !(name = ParseListName(rest[0]))) {
            return Usage(command + " takes friends|from|body|exts" + (wanted == 2 ? " and TEXT" : ""));
        }
    }

    if (const std::string problem = session.Load(); !problem.empty()) {
        return Failure(problem);
    }
    if (command == "show") {
        return Show(session, *name);
    }
    if (command == "import-words") {
        return ImportWords(session, rest);
    }
    if (command == "import-friends") {
        return ImportFriends(session, rest);
    }
    const std::string text = Stripped(rest[1]);
    if (command == "remove") {
        return Remove(session, *name, text);
    }
    CCliPrompt prompt(session.m_Store, std::nullopt);
    switch (*name) {
        case EListName::kFriends:
            return AddFriend(session, text);
        case EListName::kFrom:
        case EListName::kBody:
            return AddWord(session, *name, text, prompt);
        case EListName::kExts:
            return AddExt(session, text);
    }
    return 2;
}

}  // namespace sieveclaw
