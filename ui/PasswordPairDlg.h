#pragma once

#include <string>

#include <QDialog>
#include <QLineEdit>

#include "core/UserPrompt.h"

namespace sieveclaw {

// What the boxes that take a password twice share: the two fields (named "password" and "again"
// for tests), where their messages go, and the password once OK took it.
class CPasswordPairDlg : public QDialog {
public:
    // The password, once the dialog ended with OK.
    const std::string& Password() const { return m_Password; }

protected:
    CPasswordPairDlg(CUserPrompt& prompt, QWidget* parent);

    // Shows message as an error and puts the focus back on the first field.
    void Refuse(const std::string& message);
    // Keeps the first field's text and closes with OK.
    void Take();

    CUserPrompt& m_Prompt;
    QLineEdit* m_First;
    QLineEdit* m_Second;

private:
    std::string m_Password;
};

}  // namespace sieveclaw
