#pragma once

#include <optional>
#include <string>

namespace sieveclaw {

// The message boxes that logic below the windows must show. The windows implement it with
// modal boxes titled "Sieveclaw", sieveclaw-cli by printing and answering from its options,
// tests by recording.
class CUserPrompt {
public:
    enum class EAnswer { kYes, kNo, kCancel };

    virtual ~CUserPrompt() = default;

    // An information box with the check box "&Do not show me this message again.". switchName
    // is the settings value that remembers the tick (1 = show); the implementation reads and
    // writes it, and shows nothing when it is 0.
    virtual void ShowDismissable(const std::string& switchName, const std::string& text) = 0;
    // An error box (error icon).
    virtual void ShowError(const std::string& text) = 0;
    // An information box.
    virtual void ShowInformation(const std::string& text) = 0;
    // A box without an icon; an information box where the implementation has nothing plainer.
    virtual void ShowPlain(const std::string& text) { ShowInformation(text); }
    // A Yes/No/Cancel question (question icon); only kYes proceeds.
    virtual EAnswer AskYesNoCancel(const std::string& text) = 0;
    // An open-file dialog with a filter such as "Text Files (*.txt)|*.txt"; nothing when the user
    // cancels.
    virtual std::optional<std::string> ChooseFileToOpen(const std::string& filter,
                                                        const std::string& defaultExtension) = 0;
    // The same, starting at initialFile: a folder and a pattern such as "/home/me/*.wav". Where
    // the implementation cannot start anywhere in particular, the plain chooser.
    virtual std::optional<std::string> ChooseFileToOpenAt(const std::string& filter,
                                                          const std::string& defaultExtension,
                                                          const std::string& /*initialFile*/) {
        return ChooseFileToOpen(filter, defaultExtension);
    }
};

}  // namespace sieveclaw
