#include "ui/PasswordPairDlg.h"

#include "ui/DialogParts.h"

namespace sieveclaw {

CPasswordPairDlg::CPasswordPairDlg(CUserPrompt& prompt, QWidget* parent)
    : QDialog(parent),
      m_Prompt(prompt),
      m_First(NamedEdit("password", this, true)),
      m_Second(NamedEdit("again", this, true)) {}

void CPasswordPairDlg::Refuse(const std::string& message) {
    m_Prompt.ShowError(message);
    m_First->setFocus();
}

void CPasswordPairDlg::Take() {
    m_Password = m_First->text().toStdString();
    QDialog::accept();
}

}  // namespace sieveclaw
