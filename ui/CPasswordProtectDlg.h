#pragma once

#include <string>

#include <QDialog>

#include "core/UserPrompt.h"

class QLineEdit;

namespace sieveclaw {

// "Password Protect Your Filters": the new filter password, typed twice.
class CPasswordProtectDlg : public QDialog {
    Q_OBJECT
public:
    explicit CPasswordProtectDlg(CUserPrompt& prompt, QWidget* parent = nullptr);

    // The password once the dialog ended with OK; it may be empty.
    const std::string& Password() const { return m_Password; }

    void accept() override;

private:
    CUserPrompt& m_Prompt;
    QLineEdit* m_First;
    QLineEdit* m_Second;
    std::string m_Password;
};

}  // namespace sieveclaw
