#pragma once

#include <string>

#include <QDialog>

#include "core/UserPrompt.h"
#include "filter/ListEdits.h"

class QLabel;
class QLineEdit;
class QRadioButton;

namespace sieveclaw {

// "A Friend": one friends-list entry, an individual's address or a whole domain.
class CEditFriendDlg : public QDialog {
    Q_OBJECT
public:
    CEditFriendDlg(CUserPrompt& prompt, const std::string& entry, EFriendType type, QWidget* parent = nullptr);

    // Once the dialog ended with OK: the entry (a domain lowered) and its type.
    const std::string& Entry() const { return m_Entry; }
    EFriendType Type() const { return m_Type; }

    void accept() override;

private:
    void ShowHint();

    CUserPrompt& m_Prompt;
    QRadioButton* m_Individual;
    QRadioButton* m_Domain;
    QLineEdit* m_Edit;
    QLabel* m_Hint;
    std::string m_Entry;
    EFriendType m_Type;
};

}  // namespace sieveclaw
