#pragma once

#include <QDialog>

#include "filter/FilterFiles.h"
#include "ui/DialogContext.h"

class QLabel;
class QListWidget;
class QPushButton;
class QStackedWidget;
class QTabBar;

namespace sieveclaw {

// "Filters": the From and Body lists. Every change goes to the live list at once; closing the
// dialog, however it is closed, saves "wordlist.txt" when something changed. With a filter
// password the lists stay hidden behind the lock until it is typed.
class CFilters : public QDialog {
    Q_OBJECT
public:
    explicit CFilters(CDialogContext& context, QWidget* parent = nullptr);

    void done(int result) override;

private:
    EFilterList CurrentList() const;
    void ShowTab(int tab);
    void AddEntry();
    void DeleteEntry();
    void ImportEntries();
    void OnPasswordButton();
    void SetLocked(bool locked);
    void Rescan();

    CDialogContext& m_Context;
    QTabBar* m_Tabs;
    QLabel* m_Description;
    QStackedWidget* m_Stack;
    QListWidget* m_List;
    QLabel* m_Lock;
    QPushButton* m_Password;
    bool m_Changed = false;
    bool m_Locked = false;
};

}  // namespace sieveclaw
