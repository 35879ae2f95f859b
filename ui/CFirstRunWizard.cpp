#include "ui/CFirstRunWizard.h"

#include "ui/CAccountsPage.h"
#include "ui/CConnectTestPage.h"
#include "ui/DialogParts.h"

namespace sieveclaw {

CFirstRunWizard::CFirstRunWizard(CDialogContext& context, CAccountList& accounts, QWidget* parent)
    : QWizard(parent),
      m_AccountsPage(new CAccountsPage(context, accounts, this)),
      m_TestPage(new CConnectTestPage(context, accounts, *m_AccountsPage, this)) {
    setWindowTitle(kProgramTitle);
    // The same look on every desktop, which the manual's pictures show.
    setWizardStyle(QWizard::ClassicStyle);
    setOption(QWizard::NoBackButtonOnStartPage);
    addPage(m_AccountsPage);
    addPage(m_TestPage);
    resize(620, 440);
}

bool CQtAccountWizard::Run(CAccountList& accounts) {
    CFirstRunWizard wizard(m_Context, accounts, m_Parent);
    return wizard.exec() == QDialog::Accepted;
}

}  // namespace sieveclaw
