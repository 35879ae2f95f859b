#include "ui/CEditFriendDlg.h"

#include <QButtonGroup>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

#include "ui/DialogParts.h"

namespace sieveclaw {

CEditFriendDlg::CEditFriendDlg(CUserPrompt& prompt, const std::string& entry, EFriendType type, QWidget* parent)
    : QDialog(parent),
      m_Prompt(prompt),
      m_Individual(new QRadioButton(QStringLiteral("An &individual"), this)),
      m_Domain(new QRadioButton(QStringLiteral("All users in a &domain"), this)),
      m_Edit(NamedEdit("friend", this)),
      m_Hint(WrappedLabel(QString(), this)),
      m_Type(type) {
    setWindowTitle(QStringLiteral("A Friend"));
    m_Individual->setObjectName(QStringLiteral("individual"));
    m_Domain->setObjectName(QStringLiteral("domain"));
    (type == EFriendType::kIndividual ? m_Individual : m_Domain)->setChecked(true);
    m_Edit->setText(QString::fromStdString(entry));
    m_Hint->setObjectName(QStringLiteral("hint"));
    // Room for the longer hint, so the box does not change size when the type changes.
    m_Hint->setMinimumHeight(m_Hint->fontMetrics().lineSpacing() * 4);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("What type of friend will this be?"), this));
    layout->addWidget(m_Individual);
    layout->addWidget(m_Domain);
    layout->addWidget(m_Edit);
    layout->addWidget(m_Hint);
    layout->addWidget(OkCancelButtons(this));
    setMinimumWidth(440);

    connect(m_Individual, &QRadioButton::toggled, this, &CEditFriendDlg::ShowHint);
    ShowHint();
    m_Edit->setFocus();
}

void CEditFriendDlg::ShowHint() {
    m_Hint->setText(m_Individual->isChecked()
                        ? QStringLiteral("Type the email address of the person you want to accept email from.\n"
                                         "For example: anna.berger@example.com")
                        : QStringLiteral("Type the domain name people you want to accept email from.  You will be "
                                         "able to receive email from any and all of the people at this domain.\n"
                                         "For example: example.com"));
}

void CEditFriendDlg::accept() {
    const EFriendType type = m_Individual->isChecked() ? EFriendType::kIndividual : EFriendType::kDomain;
    std::string error;
    const auto entry = CheckFriendEntry(m_Edit->text().toStdString(), type, error);
    if (!entry) {
        m_Prompt.ShowError(error);
        m_Edit->setFocus();
        return;
    }
    m_Entry = *entry;
    m_Type = type;
    QDialog::accept();
}

}  // namespace sieveclaw
