#pragma once

#include <string>

#include <QDialog>

#include "core/UserPrompt.h"

class QLineEdit;

namespace sieveclaw {

// "File Extension": one attachment extension for the Preferences' list.
class CFileExtDlg : public QDialog {
    Q_OBJECT
public:
    explicit CFileExtDlg(CUserPrompt& prompt, QWidget* parent = nullptr);

    // The extension with its dot (".pif"), once the dialog ended with OK.
    const std::string& Extension() const { return m_Extension; }

    void accept() override;

private:
    CUserPrompt& m_Prompt;
    QLineEdit* m_Edit;
    std::string m_Extension;
};

}  // namespace sieveclaw
