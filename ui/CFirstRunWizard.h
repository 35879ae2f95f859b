#pragma once

#include <QPointer>
#include <QWizard>

#include "core/AccountList.h"
#include "setup/AccountDiscovery.h"
#include "ui/DialogContext.h"

namespace sieveclaw {

class CAccountsPage;
class CConnectTestPage;

// The first-run wizard: "Email Accounts", then "Test Email Connections", over the account list
// that account discovery filled. Finishing keeps the list as it is, for its caller to save.
class CFirstRunWizard : public QWizard {
    Q_OBJECT
public:
    CFirstRunWizard(CDialogContext& context, CAccountList& accounts, QWidget* parent = nullptr);

private:
    CAccountsPage* m_AccountsPage;
    CConnectTestPage* m_TestPage;
};

// Account discovery's wizard, as these windows show it.
class CQtAccountWizard : public CAccountWizard {
public:
    CQtAccountWizard(CDialogContext& context, QWidget* parent) : m_Context(context), m_Parent(parent) {}

    bool Run(CAccountList& accounts) override;

private:
    CDialogContext& m_Context;
    QPointer<QWidget> m_Parent;
};

}  // namespace sieveclaw
