#pragma once

#include <QDialog>

#include "ui/DialogContext.h"

class QCheckBox;
class QComboBox;
class QKeySequenceEdit;
class QListWidget;
class QPushButton;
class QSpinBox;
class QTreeWidget;
class QTreeWidgetItem;

namespace sieveclaw {

// "Preferences": the accounts, with Add, Edit, Delete and Hold taking effect (and being saved) at
// once whatever closes the dialog, and the program-wide settings, stored only by OK.
class CPrefsDlg : public QDialog {
    Q_OBJECT
public:
    explicit CPrefsDlg(CDialogContext& context, QWidget* parent = nullptr);

    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* BuildAccountsGroup();
    QWidget* BuildSettingsGroup();
    QWidget* BuildAttachmentsGroup();
    void FillAccounts();
    void AddRow(const std::string& name, bool held);
    void SortAccounts();
    void OnHeaderClicked(int column);
    void FillMailPrograms();
    std::string SelectedName() const;

    void AddAccount();
    void EditAccount();
    void DeleteAccount();
    void ToggleHold();
    void AddExtension();
    void DeleteExtension();
    void ApplyExtensionSwitch();
    void UpdateControls();

    CDialogContext& m_Context;
    QTreeWidget* m_Accounts = nullptr;
    QPushButton* m_Add = nullptr;
    QPushButton* m_Edit = nullptr;
    QPushButton* m_Delete = nullptr;
    QPushButton* m_Hold = nullptr;
    QSpinBox* m_Interval = nullptr;
    QKeySequenceEdit* m_HotKey = nullptr;
    QCheckBox* m_RunAtStartup = nullptr;
    QCheckBox* m_MarkFriends = nullptr;
    QCheckBox* m_AutoDelExts = nullptr;
    QListWidget* m_Exts = nullptr;
    QPushButton* m_ExtAdd = nullptr;
    QPushButton* m_ExtDelete = nullptr;
    QSpinBox* m_Size = nullptr;
    QComboBox* m_MailProgram = nullptr;
    bool m_Shown = false;
};

}  // namespace sieveclaw
