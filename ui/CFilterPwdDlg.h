#pragma once

#include <string>

#include <QDialog>

#include "core/UserPrompt.h"

class QLineEdit;

namespace sieveclaw {

// "Password Filter Password": unlocks the filter lists; OK only with the filter password.
class CFilterPwdDlg : public QDialog {
    Q_OBJECT
public:
    CFilterPwdDlg(CUserPrompt& prompt, std::string filterPassword, QWidget* parent = nullptr);

    void accept() override;

private:
    CUserPrompt& m_Prompt;
    std::string m_FilterPassword;
    QLineEdit* m_Edit;
};

}  // namespace sieveclaw
