#pragma once

#include <optional>
#include <string>

#include <QPointer>
#include <QWidget>

#include "core/ProfileStore.h"
#include "core/UserPrompt.h"

namespace sieveclaw {

// The boxes of the logic below the windows as modal Qt boxes titled "Sieveclaw", owned by parent
// (which may be null, as for boxes before any window exists). The dismissable boxes remember
// their switch in store. User interface thread only.
class CQtUserPrompt : public CUserPrompt {
public:
    CQtUserPrompt(QWidget* parent, CProfileStore& store) : m_Parent(parent), m_Store(store) {}

    void ShowDismissable(const std::string& switchName, const std::string& text) override;
    void ShowError(const std::string& text) override;
    void ShowInformation(const std::string& text) override;
    void ShowPlain(const std::string& text) override;
    EAnswer AskYesNoCancel(const std::string& text) override;
    std::optional<std::string> ChooseFileToOpen(const std::string& filter,
                                                const std::string& defaultExtension) override;
    std::optional<std::string> ChooseFileToOpenAt(const std::string& filter, const std::string& defaultExtension,
                                                  const std::string& initialFile) override;

private:
    QPointer<QWidget> m_Parent;
    CProfileStore& m_Store;
};

// The file dialog's filter for a "Description (*.ext)|*.ext|..." list, as Qt writes it.
QString QtFileFilter(const std::string& filter);

}  // namespace sieveclaw
