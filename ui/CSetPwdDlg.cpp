#include "ui/CSetPwdDlg.h"

#include <QFormLayout>

#include "core/TextFile.h"
#include "ui/DialogParts.h"

namespace sieveclaw {

CSetPwdDlg::CSetPwdDlg(CUserPrompt& prompt, const std::string& accountName, const std::string& userId, QWidget* parent)
    : CPasswordPairDlg(prompt, parent) {
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
        Refuse("You have not typed your password.  Please type it again.");
    } else if (first != m_Second->text().toStdString()) {
        Refuse("Your passwords are not the same.  Please type them again.");
    } else {
        Take();
    }
}

}  // namespace sieveclaw
