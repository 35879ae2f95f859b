#pragma once

#include <string>

#include <QDialog>

#include "filter/ListEdits.h"
#include "ui/DialogContext.h"

class QCheckBox;
class QTreeWidget;

namespace sieveclaw {

// "Friends": the friends list, one row per entry with its type. Every change goes to the live list
// at once; closing the dialog, however it is closed, saves "friends.txt" when something changed
// and stores the "Only accept email from my friends" switch.
class CFriendsDlg : public QDialog {
    Q_OBJECT
public:
    explicit CFriendsDlg(CDialogContext& context, QWidget* parent = nullptr);

    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void InsertRow(const std::string& entry, bool atTop);
    void AddFriendEntry();
    void EditFriendEntry();
    void RemoveFriendEntry();
    void ImportFriends();
    void SortBy(int column);

    CDialogContext& m_Context;
    QTreeWidget* m_List;
    QCheckBox* m_OnlyFriends;
    bool m_Changed = false;
    bool m_Shown = false;
    int m_SortColumn = -1;
    Qt::SortOrder m_SortOrder = Qt::AscendingOrder;
};

}  // namespace sieveclaw
