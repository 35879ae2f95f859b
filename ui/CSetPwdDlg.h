#pragma once

#include <string>

#include "core/UserPrompt.h"
#include "ui/PasswordPairDlg.h"

namespace sieveclaw {

// "Set Password": the password of an account found without one, typed twice.
class CSetPwdDlg : public CPasswordPairDlg {
    Q_OBJECT
public:
    CSetPwdDlg(CUserPrompt& prompt, const std::string& accountName, const std::string& userId,
               QWidget* parent = nullptr);

    void accept() override;
};

}  // namespace sieveclaw
