#include "ui/CFilterPwdDlg.h"

#include <utility>

#include <QFormLayout>

#include "ui/DialogParts.h"

namespace sieveclaw {

CFilterPwdDlg::CFilterPwdDlg(CUserPrompt& prompt, std::string filterPassword, QWidget* parent)
    : QDialog(parent),
      m_Prompt(prompt),
      m_FilterPassword(std::move(filterPassword)),
      m_Edit(NamedEdit("password", this, true)) {
    setWindowTitle(QStringLiteral("Password Filter Password"));
    auto* layout = new QFormLayout(this);
    layout->setRowWrapPolicy(QFormLayout::WrapAllRows);
    layout->addRow(QStringLiteral("Type that &password that allows you to see the filter list."), m_Edit);
    layout->addRow(OkCancelButtons(this));
}

void CFilterPwdDlg::accept() {
    if (m_Edit->text().toStdString() != m_FilterPassword) {
        m_Prompt.ShowError("The password is invalid");
        m_Edit->setFocus();
        return;
    }
    QDialog::accept();
}

}  // namespace sieveclaw
