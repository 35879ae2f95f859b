#include "ui/CPasswordProtectDlg.h"

#include <QFormLayout>

#include "ui/DialogParts.h"

namespace sieveclaw {

CPasswordProtectDlg::CPasswordProtectDlg(CUserPrompt& prompt, QWidget* parent) : CPasswordPairDlg(prompt, parent) {
    setWindowTitle(QStringLiteral("Password Protect Your Filters"));
    auto* layout = new QFormLayout(this);
    layout->setRowWrapPolicy(QFormLayout::WrapAllRows);
    layout->addRow(QStringLiteral("Type the &password that you want to use to protect your filters."), m_First);
    layout->addRow(QStringLiteral("Type it &again"), m_Second);
    layout->addRow(OkCancelButtons(this));
}

void CPasswordProtectDlg::accept() {
    if (m_First->text() != m_Second->text()) {
        Refuse("Your passwords are not the same.  Please retype them.");
    } else {
        Take();
    }
}

}  // namespace sieveclaw
