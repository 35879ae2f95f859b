#pragma once

#include <string>
#include <vector>

#include <QDialog>

#include "core/UserPrompt.h"

class QPlainTextEdit;

namespace sieveclaw {

// "Block These Domains": the domains its opener offers, one a line, for the user to confirm or
// correct before they join the From list.
class CBlockDomainsDlg : public QDialog {
    Q_OBJECT
public:
    CBlockDomainsDlg(CUserPrompt& prompt, const std::vector<std::string>& domains, QWidget* parent = nullptr);

    // The domains, each once, once the dialog ended with OK.
    const std::vector<std::string>& Domains() const { return m_Domains; }

    void accept() override;

private:
    CUserPrompt& m_Prompt;
    QPlainTextEdit* m_Edit;
    std::vector<std::string> m_Domains;
};

}  // namespace sieveclaw
