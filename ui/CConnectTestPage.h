#pragma once

#include <QWizardPage>

#include "core/AccountList.h"
#include "ui/DialogContext.h"

class QTreeWidget;
class QTreeWidgetItem;

namespace sieveclaw {

class CAccountsPage;

// The first-run wizard's "Test Email Connections": logs on to each account's POP3 server once and
// marks its row as working or not. Finish becomes possible once at least one account worked; when
// all did, the wizard finishes by itself.
class CConnectTestPage : public QWizardPage {
    Q_OBJECT
public:
    CConnectTestPage(CDialogContext& context, CAccountList& accounts, CAccountsPage& accountsPage,
                     QWidget* parent = nullptr);

    void initializePage() override;
    void cleanupPage() override;
    bool isComplete() const override;

private:
    void ConnectNow();
    // Tests one account (its password asked for when it has none), marking its row.
    void TestAccount(ListPos pos, QTreeWidgetItem* row);

    CDialogContext& m_Context;
    CAccountList& m_Accounts;
    CAccountsPage& m_AccountsPage;
    QTreeWidget* m_List;
    bool m_Finishable = false;
};

}  // namespace sieveclaw
