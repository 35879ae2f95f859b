#pragma once

#include <string>

#include <QDialog>

#include "core/UserPrompt.h"

class QLineEdit;

namespace sieveclaw {

// "Offensive Word or Phrase": one new entry for the From or Body list, under the prompt its opener
// gives.
class COffsensiveWordDlg : public QDialog {
    Q_OBJECT
public:
    COffsensiveWordDlg(CUserPrompt& prompt, const QString& promptText, QWidget* parent = nullptr);

    // What the field holds when the dialog opens.
    void SetEntry(const QString& text);
    // The entry, without white space at either end, once the dialog ended with OK.
    const std::string& Entry() const { return m_Entry; }

    void accept() override;

private:
    CUserPrompt& m_Prompt;
    QLineEdit* m_Edit;
    std::string m_Entry;
};

}  // namespace sieveclaw
