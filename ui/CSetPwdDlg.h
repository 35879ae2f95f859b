#pragma once

#include <string>

#include <QDialog>

#include "core/UserPrompt.h"

class QLineEdit;

namespace sieveclaw {

// "Set Password": the password of an account found without one, typed twice.
class CSetPwdDlg : public QDialog {
    Q_OBJECT
public:
    CSetPwdDlg(CUserPrompt& prompt, const std::string& accountName, const std::string& userId,
               QWidget* parent = nullptr);

    // The password, once the dialog ended with OK.
    const std::string& Password() const { return m_Password; }

    void accept() override;

private:
    CUserPrompt& m_Prompt;
    QLineEdit* m_First;
    QLineEdit* m_Second;
    std::string m_Password;
};

}  // namespace sieveclaw
