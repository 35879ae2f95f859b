#pragma once

#include <string>

#include <QDialog>

#include "core/UserPrompt.h"

class QLineEdit;

namespace sieveclaw {

// "Sieveclaw": asks for the email address of an account that has none. OK takes only an address
// the rule accepts (IsAcceptableEmailAddress); otherwise the error box, and the dialog stays open
// with the focus on the field.
class CEmailAddressDlg : public QDialog {
    Q_OBJECT
public:
    CEmailAddressDlg(CUserPrompt& prompt, const std::string& accountName, QWidget* parent = nullptr);

    // The address, once the dialog ended with OK.
    const std::string& Address() const { return m_Address; }

    void accept() override;

private:
    CUserPrompt& m_Prompt;
    QLineEdit* m_Edit;
    std::string m_Address;
};

}  // namespace sieveclaw
