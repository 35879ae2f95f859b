#pragma once

#include <string>

#include "core/UserPrompt.h"
#include "ui/PasswordPairDlg.h"

namespace sieveclaw {

// "Password Protect Your Filters": the new filter password, typed twice.
class CPasswordProtectDlg : public CPasswordPairDlg {
    Q_OBJECT
public:
    explicit CPasswordProtectDlg(CUserPrompt& prompt, QWidget* parent = nullptr);

    void accept() override;
};

}  // namespace sieveclaw
