#pragma once

#include <QWizardPage>

#include "core/AccountList.h"
#include "ui/DialogContext.h"

class QPushButton;
class QTreeWidget;

namespace sieveclaw {

// The first-run wizard's "Email Accounts": the accounts found on the machine, to delete, complete
// and add to. Works on the account list directly.
class CAccountsPage : public QWizardPage {
    Q_OBJECT
public:
    CAccountsPage(CDialogContext& context, CAccountList& accounts, QWidget* parent = nullptr);

    void initializePage() override;

    // The rows, which the test page copies and, going back, marks with its results.
    QTreeWidget* Rows() const { return m_List; }

private:
    void DeleteAccount();
    void EditAccount();
    void AddAccount();
    void UpdateButtons();

    CDialogContext& m_Context;
    CAccountList& m_Accounts;
    QTreeWidget* m_List;
    QPushButton* m_Properties;
    QPushButton* m_Delete;
};

}  // namespace sieveclaw
