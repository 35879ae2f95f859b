#pragma once

#include <ctime>
#include <functional>
#include <optional>
#include <string>

#include "ui/MessageListDlg.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QSpinBox;

namespace sieveclaw {

// "Sieveclaw - Clawed Spam": the spam the checks took off the servers, with the reason for each,
// every account's or (with an account filter) one account's. From here the user reads, deletes,
// salvages (sends the message to the account's own address, so that it arrives again as ordinary
// mail) or bounces spam, removes the filter that caught it, befriends or blocks senders, and sets
// the automatic deletion of old spam.
class CTrashDlg : public CMessageListDlg {
    Q_OBJECT
public:
    explicit CTrashDlg(CDialogContext& context, std::string accountFilter = {}, QWidget* parent = nullptr);

    // "&Close" first checks the day count.
    void accept() override;
    // What the ages of spam are counted to from now on (the rows are read again); the system clock
    // unless set. For tests and the manual's pictures, whose files are all new.
    void SetClock(std::function<std::time_t()> clock);

private:
    std::vector<CListRow> LoadRows() override;
    void UpdateButtons() override;
    std::vector<CMenuItem> ContextMenuItems() override;
    void ViewSelected() override;
    void DeleteSelected() override;
    void StoreSettings(SettingsValues& values) override;
    void ShowStartMessage() override;

    void DeleteAll();
    // Salvage or bounce of every selected row, from the last to the first.
    void SendSelected(bool bounce);
    void EnableAgeFields();
    // The typed day count, when it is one the deletion can use.
    std::optional<int> DayCount() const;

    std::string m_AccountFilter;
    std::function<std::time_t()> m_Clock;
    int m_DeleteAfterDays;
    QPushButton* m_View;
    QPushButton* m_Delete;
    QPushButton* m_DeleteAll;
    QPushButton* m_Salvage;
    QPushButton* m_Bounce;
    QCheckBox* m_AutoDelete;
    QLabel* m_Before;
    QSpinBox* m_Days;
    QLabel* m_After;
};

}  // namespace sieveclaw
