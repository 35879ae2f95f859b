#include "ui/CPasswordProtectDlg.h"

#include <QFormLayout>

#include "ui/DialogParts.h"

namespace sieveclaw {

CPasswordProtectDlg::CPasswordProtectDlg(CUserPrompt& prompt, QWidget* parent)
    : QDialog(parent),
      m_Prompt(prompt),
      m_First(NamedEdit("password", this, true)),
      m_Second(NamedEdit("again", this, true)) {
    setWindowTitle(QStringLiteral("Password Protect Your Filters"));
    auto* layout = new QFormLayout(this);
    layout->setRowWrapPolicy(QFormLayout::WrapAllRows);
    layout->addRow(QStringLiteral("Type the &password that you want to use to protect your filters."), m_First);
    layout->addRow(QStringLiteral("Type it &again"), m_Second);
    layout->addRow(OkCancelButtons(this));
}

void CPasswordProtectDlg::accept() {
    if (m_First->text() != m_Second->text()) {
        m_Prompt.ShowError("Your passwords are not the same.  Please retype them.");
        m_First->setFocus();
        return;
    }
    m_Password = m_First->text().toStdString();
    QDialog::accept();
}

}  // namespace sieveclaw
