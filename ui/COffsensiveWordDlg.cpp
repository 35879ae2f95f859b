#include "ui/COffsensiveWordDlg.h"

#include <QVBoxLayout>

#include "filter/ListEdits.h"
#include "ui/DialogParts.h"

namespace sieveclaw {

COffsensiveWordDlg::COffsensiveWordDlg(CUserPrompt& prompt, const QString& promptText, QWidget* parent)
    : QDialog(parent), m_Prompt(prompt), m_Edit(NamedEdit("entry", this)) {
    setWindowTitle(QStringLiteral("Offensive Word or Phrase"));
    auto* layout = new QVBoxLayout(this);
    QLabel* label = WrappedLabel(promptText, this);
    label->setBuddy(m_Edit);
    layout->addWidget(label);
    layout->addWidget(m_Edit);
    layout->addWidget(OkCancelButtons(this));
    setMinimumWidth(420);
}

void COffsensiveWordDlg::SetEntry(const QString& text) {
    m_Edit->setText(text);
}

void COffsensiveWordDlg::accept() {
    std::string error;
    const auto entry = CheckFilterEntry(m_Edit->text().toStdString(), error);
    if (!entry) {
        m_Prompt.ShowPlain(error);
        m_Edit->setFocus();
        return;
    }
    m_Entry = *entry;
    QDialog::accept();
}

}  // namespace sieveclaw
