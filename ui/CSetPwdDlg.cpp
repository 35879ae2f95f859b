#include "ui/CSetPwdDlg.h"

#include <QFormLayout>

#include "core/TextFile.h"
#include "ui/DialogParts.h"

namespace sieveclaw {

CSetPwdDlg::CSetPwdDlg(CUserPrompt& prompt, const std::string& accountName, const std::string& userId, QWidget* parent)
    : QDialog(parent),
      m_Prompt(prompt),
      m_First(NamedEdit("password", this, true)),
      m_Second(NamedEdit("again", this, true)) {
    setWindowTitle(QStringLiteral("Set Password"));
    auto* layout = new QFormLayout(this);
    layout->addRow(WrappedLabel(QStringLiteral("Type the password of this email account."), this));
    layout->addRow(QStringLiteral("Account Name:"), new QLabel(QString::fromStdString(accountName), this));
    layout->addRow(QStringLiteral("User Id:"), new QLabel(QString::fromStdString(userId), this));
    layout->addRow(QStringLiteral("&Password:"), m_First);
    layout->addRow(QStringLiteral("Type it &again:"), m_Second);
    layout->addRow(OkCancelButtons(this));
    setMinimumWidth(360);
}

void CSetPwdDlg::accept() {
    const std::string first = m_First->text().toStdString();
    if (StripWhiteSpace(first).empty()) {
        m_Prompt.ShowError("You have not typed your password.  Please type it again.");
        m_First->setFocus();
        return;
    }
    if (first != m_Second->text().toStdString()) {
        m_Prompt.ShowError("Your passwords are not the same.  Please type them again.");
        m_First->setFocus();
        return;
    }
    m_Password = first;
    QDialog::accept();
}

}  // namespace sieveclaw
