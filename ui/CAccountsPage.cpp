#include "ui/CAccountsPage.h"

#include <QGridLayout>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>
#include <QVBoxLayout>

#include "engine/AccountCommands.h"
#include "ui/CServerDlg.h"
#include "ui/DialogParts.h"
#include "ui/WizardRows.h"

namespace sieveclaw {

CAccountsPage::CAccountsPage(CDialogContext& context, CAccountList& accounts, QWidget* parent)
    : QWizardPage(parent),
      m_Context(context),
      m_Accounts(accounts),
      m_List(AccountRowsList(this)),
      m_Properties(new QPushButton(QStringLiteral("&Properties"), this)),
      m_Delete(new QPushButton(QStringLiteral("&Delete"), this)) {
    setTitle(QStringLiteral("Email Accounts"));
    m_Properties->setObjectName(QStringLiteral("properties"));
    m_Delete->setObjectName(QStringLiteral("delete"));
    auto* add = new QPushButton(QStringLiteral("&Add"), this);
    add->setObjectName(QStringLiteral("add"));

    auto* layout = new QGridLayout(this);
    layout->addWidget(WrappedLabel(QStringLiteral("Sieveclaw detected the following email accounts on your PC.  "
                                                  "Please delete the accounts that \n"
                                                  "1. You do not use anymore or, \n"
                                                  "2. You do not want Sieveclaw to check."),
                                   this),
                      0, 0, 1, 2);
    layout->addWidget(m_List, 1, 0);
    auto* buttons = new QVBoxLayout;
    for (QPushButton* button : {m_Properties, m_Delete, add}) {
        buttons->addWidget(button);
    }
    buttons->addStretch();
    layout->addLayout(buttons, 1, 1);
    layout->addWidget(new QLabel(QStringLiteral("When you are ready to continue, click <Next>."), this), 2, 0, 1, 2);

    connect(m_Delete, &QPushButton::clicked, this, &CAccountsPage::DeleteAccount);
    connect(new QShortcut(QKeySequence::Delete, m_List, nullptr, nullptr, Qt::WidgetShortcut), &QShortcut::activated,
            this, &CAccountsPage::DeleteAccount);
    connect(m_Properties, &QPushButton::clicked, this, &CAccountsPage::EditAccount);
    connect(m_List, &QTreeWidget::itemDoubleClicked, this, &CAccountsPage::EditAccount);
    connect(add, &QPushButton::clicked, this, &CAccountsPage::AddAccount);
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, &CAccountsPage::UpdateButtons);
    timer->start(100);
}

void CAccountsPage::initializePage() {
    m_List->clear();
    for (const EmailAccountInfo& account : m_Accounts.Snapshot()) {
        AppendAccountRow(m_List, account);
    }
    UpdateButtons();
}

void CAccountsPage::UpdateButtons() {
    const bool selected = !m_List->selectedItems().isEmpty();
    m_Properties->setEnabled(selected);
    m_Delete->setEnabled(selected);
}

void CAccountsPage::DeleteAccount() {
    QTreeWidgetItem* row = m_List->currentItem();
    if (row == nullptr || !row->isSelected()) {
        return;
    }
    const int index = m_List->indexOfTopLevelItem(row);
    RemoveAccountNamed(m_Accounts, row->text(0).toStdString());
    delete row;
    const int count = m_List->topLevelItemCount();
    if (count > 0) {
        m_List->setCurrentItem(m_List->topLevelItem(std::min(index, count - 1)));
    }
}

void CAccountsPage::EditAccount() {
    QTreeWidgetItem* row = m_List->currentItem();
    if (row == nullptr || !row->isSelected()) {
        return;
    }
    const ListPos pos = FindAccount(m_Accounts, row->text(0).toStdString());
    const std::optional<EmailAccountInfo> account = m_Accounts.GetAt(pos);
    if (!account) {
        return;
    }
    CServerDlg dialog(m_Context, m_Accounts, *account, this);
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    m_Accounts.ModifyAt(pos, [&dialog](EmailAccountInfo& stored) { CopyAccountSettings(dialog.Account(), stored); });
    // The row keeps naming its account: later deletes and edits find it by this name.
    SetAccountRowTexts(row, *m_Accounts.GetAt(pos));
    SetTestState(row, ETestState::kUntested);
}

void CAccountsPage::AddAccount() {
    CServerDlg dialog(m_Context, m_Accounts, EmailAccountInfo(), this);
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    sieveclaw::AddAccount(m_Accounts, dialog.Account());
    AppendAccountRow(m_List, dialog.Account());
}

}  // namespace sieveclaw
