#include "ui/CConnectTestPage.h"

#include <QApplication>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWizard>

#include "engine/ServerTest.h"
#include "ui/BackgroundWork.h"
#include "ui/CAccountsPage.h"
#include "ui/CSetPwdDlg.h"
#include "ui/DialogParts.h"
#include "ui/WizardRows.h"

namespace sieveclaw {

CConnectTestPage::CConnectTestPage(CDialogContext& context, CAccountList& accounts, CAccountsPage& accountsPage,
                                   QWidget* parent)
    : QWizardPage(parent),
      m_Context(context),
      m_Accounts(accounts),
      m_AccountsPage(accountsPage),
      m_List(AccountRowsList(this)) {
    setTitle(QStringLiteral("Test Email Connections"));
    setFinalPage(true);
    auto* connect = new QPushButton(QStringLiteral("&Connect Now"), this);
    connect->setObjectName(QStringLiteral("connect"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(WrappedLabel(QStringLiteral("Sieveclaw will now test to be sure that it can connect to each of "
                                                  "your email accounts.  Please click the <Connect Now> button when "
                                                  "you are ready to begin."),
                                   this));
    layout->addWidget(m_List);
    layout->addWidget(connect, 0, Qt::AlignLeft);
    QObject::connect(connect, &QPushButton::clicked, this, &CConnectTestPage::ConnectNow);
}

void CConnectTestPage::initializePage() {
    m_List->clear();
    const QTreeWidget* rows = m_AccountsPage.Rows();
    for (int i = 0; i < rows->topLevelItemCount(); ++i) {
        auto* copy = rows->topLevelItem(i)->clone();
        SetTestState(copy, ETestState::kUntested);
        m_List->addTopLevelItem(copy);
    }
    m_Finishable = false;
    emit completeChanged();
}

void CConnectTestPage::cleanupPage() {
    QTreeWidget* rows = m_AccountsPage.Rows();
    for (int i = 0; i < m_List->topLevelItemCount() && i < rows->topLevelItemCount(); ++i) {
        SetTestState(rows->topLevelItem(i), TestStateOf(m_List->topLevelItem(i)));
    }
}

bool CConnectTestPage::isComplete() const {
    return m_Finishable;
}

void CConnectTestPage::TestAccount(ListPos pos, QTreeWidgetItem* row) {
    std::optional<EmailAccountInfo> account = m_Accounts.GetAt(pos);
    bool test = account.has_value();
    if (test && account->m_POP3Password.empty()) {
        CSetPwdDlg dialog(m_Context.m_Prompt, account->m_AccountName, account->m_POP3UserId, wizard());
        if (dialog.exec() == QDialog::Accepted) {
            account->m_POP3Password = dialog.Password();
            m_Accounts.ModifyAt(pos,
                                [&dialog](EmailAccountInfo& stored) { stored.m_POP3Password = dialog.Password(); });
        } else {
            test = false;
        }
    }
    m_List->setCurrentItem(row);
    SetTestState(row, ETestState::kTesting);
    QApplication::processEvents();
    if (!test) {
        return;
    }
    CUserPrompt& prompt = m_Context.m_Prompt;
    const CTransportOptions base = m_Context.TransportOptions();
    for (;;) {
        const EmailAccountInfo tried = *account;
        const ServerTestResult result =
            RunInBackground<ServerTestResult>(wizard(), [&tried, &base] { return TestPop3Logon(tried, base); });
        if (result.m_Step == EServerTestStep::kWorked) {
            SetRowValue(row, 1);
            SetTestState(row, ETestState::kWorked);
            return;
        }
        SetRowValue(row, 0);
        SetTestState(row, ETestState::kFailed);
        if (result.m_Step == EServerTestStep::kUnresolved) {
            prompt.ShowError(UnresolvedServerMessage(EMailServer::kPop3, tried.m_POP3Server));
            return;
        }
        const std::string failure =
            WizardLogonFailedMessage(tried.m_POP3Server, tried.m_POP3UserId, result.m_LastError);
        if (result.m_RefusedCertificate.empty()) {
            prompt.ShowError(failure);
            return;
        }
        if (prompt.AskYesNoCancel(TrustCertificateQuestion(EMailServer::kPop3, failure, result.m_RefusedCertificate)) !=
            CUserPrompt::EAnswer::kYes) {
            return;
        }
        account->m_POP3Certificate = result.m_RefusedCertificate;
        m_Accounts.ModifyAt(
            pos, [&result](EmailAccountInfo& stored) { stored.m_POP3Certificate = result.m_RefusedCertificate; });
        SetTestState(row, ETestState::kTesting);
    }
}

void CConnectTestPage::ConnectNow() {
    int index = 0;
    for (ListPos pos = m_Accounts.First(); pos != kNoPos && index < m_List->topLevelItemCount();
         pos = m_Accounts.Next(pos), ++index) {
        TestAccount(pos, m_List->topLevelItem(index));
    }
    const int rows = m_List->topLevelItemCount();
    int worked = 0;
    for (int i = 0; i < rows; ++i) {
        worked += RowValueOf(m_List->topLevelItem(i)) != 0 ? 1 : 0;
    }
    const EConnectTestEnding ending = ConnectTestEnding(rows, worked);
    if (ending == EConnectTestEnding::kNoneWorked) {
        m_Context.m_Prompt.ShowError(ConnectTestSummary(rows, worked));
        return;
    }
    if (ending == EConnectTestEnding::kSomeWorked) {
        m_Context.m_Prompt.ShowInformation(ConnectTestSummary(rows, worked));
    }
    m_Finishable = true;
    emit completeChanged();
    if (ending == EConnectTestEnding::kAllWorked) {
        wizard()->accept();
    }
}

}  // namespace sieveclaw
