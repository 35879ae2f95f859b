#include "ui/CBlockDomainsDlg.h"

#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "filter/ListEdits.h"
#include "ui/DialogParts.h"

namespace sieveclaw {

CBlockDomainsDlg::CBlockDomainsDlg(CUserPrompt& prompt, const std::vector<std::string>& domains, QWidget* parent)
    : QDialog(parent), m_Prompt(prompt), m_Edit(new QPlainTextEdit(this)) {
    setWindowTitle(QStringLiteral("Block These Domains"));
    m_Edit->setObjectName(QStringLiteral("domains"));
    QString text;
    for (const std::string& domain : domains) {
        text += QString::fromStdString(domain) + u'\n';
    }
    m_Edit->setPlainText(text);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(WrappedLabel(QStringLiteral("You can block all email that comes from these domains.  If these "
                                                  "are domains that you want to block all email from, then just "
                                                  "click <Ok>."),
                                   this));
    layout->addWidget(m_Edit);
    layout->addWidget(OkCancelButtons(this));
    resize(420, 320);
}

void CBlockDomainsDlg::accept() {
    const BlockDomainsCheck check = CheckBlockDomains(m_Edit->toPlainText().toStdString());
    switch (check.m_Outcome) {
        case BlockDomainsCheck::EOutcome::kBlank:
            m_Prompt.ShowError(std::string(kBlankDomainListMessage));
            m_Edit->setFocus();
            return;
        case BlockDomainsCheck::EOutcome::kCorrected:
            m_Edit->setPlainText(QString::fromStdString(check.m_CorrectedText));
            m_Prompt.ShowError(std::string(kCorrectedDomainListMessage));
            return;
        case BlockDomainsCheck::EOutcome::kAccepted:
            break;
    }
    m_Domains = check.m_Domains;
    QDialog::accept();
}

}  // namespace sieveclaw
