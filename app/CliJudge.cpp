#include <iostream>
#include <mutex>

#include "app/CliCommands.h"
#include "core/PrintableText.h"
#include "core/ProfileStore.h"
#include "core/Settings.h"
#include "filter/FilterFiles.h"
#include "filter/FilterLists.h"
#include "filter/SpamDecision.h"
#include "mail/CEmailMsg.h"
#include "mail/MessageFiles.h"
#include "mail/RawMessage.h"

namespace sieveclaw {

namespace {

// A stored message file begins with the lines the program writes before the message.
bool IsStoredMessageFile(const std::string& path) {
    MessageEntry unused;
    std::string reason;
    ReadReasonLine(path, unused, reason);
    return !reason.empty() || !ReadAccountLine(path).empty();
}

}  // namespace

int RunJudgeCommand(const std::vector<std::string>& arguments) {
    if (arguments.empty()) {
        std::cerr << "usage: sieveclaw-cli judge FILE...\n";
        return 2;
    }
    CProfileStore store(GetProfileStorePath());
    if (!store.Load()) {
        std::cerr << "sieveclaw-cli judge: " << store.LastError() << "\n";
        return 1;
    }
    CSettings settings;
    settings.LoadSettings(store);

    // The lists as the program holds them after start-up, without touching any file: the word
    // list, filters not merged yet, the friends and the extensions.
    CFilterLists lists;
    std::mutex settingsLock;
    std::optional<DataFileDamage> damage[3];
    LoadFilterFile(lists, WordListPath(), true, settingsLock, &damage[0]);
    LoadFilterFile(lists, NewFiltersPath(), true, settingsLock, &damage[1]);
    LoadFriends(lists, settingsLock, FriendsPath(), &damage[2]);
    for (const std::optional<DataFileDamage>& list : damage) {
        if (list) {
            // A verdict on lists that did not load is no verdict.
            std::cerr << "sieveclaw-cli judge: " << DamageText(*list) << "\n";
            return 1;
        }
    }
    for (std::string& ext : settings.GetExts()) {
        lists.m_Exts.Append(std::move(ext));
    }

    int status = 0;
    for (const std::string& path : arguments) {
        CEmailMsg message;
        if (IsStoredMessageFile(path)) {
            LoadMessageText(path, message);
        } else if (!LoadRawMessage(path, message)) {
            std::cerr << "sieveclaw-cli judge: cannot read '" << path << "'\n";
            status = 1;
            continue;
        }
        message.Process();
        std::string reason;
        if (IsSpam(message, reason, lists, settings.GetAutoDelFileExts(), nullptr)) {
            std::cout << "spam\t" << PrintableText(reason) << "\n";
        } else {
            std::cout << "good\n";
        }
    }
    return std::cout.flush() ? status : 1;
}

}  // namespace sieveclaw
