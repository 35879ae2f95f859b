#include "ui/CEmailAddressDlg.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "engine/StartupSteps.h"
#include "ui/DialogParts.h"

namespace sieveclaw {

CEmailAddressDlg::CEmailAddressDlg(CUserPrompt& prompt, const std::string& accountName, QWidget* parent)
    : QDialog(parent), m_Prompt(prompt), m_Edit(NamedEdit("address", this)) {
    setWindowTitle(kProgramTitle);
    auto* name = new QLabel(ToQString(accountName), this);
    name->setObjectName(QStringLiteral("accountName"));
    QFont bold = name->font();
    bold.setBold(true);
    name->setFont(bold);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("For the account named"), this));
    layout->addWidget(name);
    layout->addWidget(new QLabel(QStringLiteral("what is the email address?"), this));
    layout->addWidget(m_Edit);
    layout->addWidget(buttons);
    setMinimumWidth(320);
}

void CEmailAddressDlg::accept() {
    const std::string typed = m_Edit->text().toStdString();
    if (!IsAcceptableEmailAddress(typed)) {
        m_Prompt.ShowError(std::string(kInvalidEmailAddressMessage));
        m_Edit->setFocus();
        return;
    }
    m_Address = typed;
    QDialog::accept();
}

}  // namespace sieveclaw
