#include "ui/CFileExtDlg.h"

#include <QFormLayout>

#include "filter/ListEdits.h"
#include "ui/DialogParts.h"

namespace sieveclaw {

CFileExtDlg::CFileExtDlg(CUserPrompt& prompt, QWidget* parent)
    : QDialog(parent), m_Prompt(prompt), m_Edit(NamedEdit("extension", this)) {
    setWindowTitle(QStringLiteral("File Extension"));
    auto* layout = new QFormLayout(this);
    layout->addRow(WrappedLabel(QStringLiteral("Email with an attachment whose name ends in this extension (for "
                                               "example .pif) will be treated as spam."),
                                this));
    layout->addRow(QStringLiteral("File &extension:"), m_Edit);
    layout->addRow(OkCancelButtons(this));
    setMinimumWidth(380);
}

void CFileExtDlg::accept() {
    std::string error;
    const auto extension = CheckFileExtension(m_Edit->text().toStdString(), error);
    if (!extension) {
        m_Prompt.ShowError(error);
        m_Edit->setFocus();
        return;
    }
    m_Extension = *extension;
    QDialog::accept();
}

}  // namespace sieveclaw
