#pragma once

#include <functional>

#include "ui/MessageListDlg.h"

class QPushButton;

namespace sieveclaw {

// "Sieveclaw - Your Inbox": the good mail the checks let through, every account's, one row a
// message. From here the user reads, deletes, befriends senders, and blocks a sender, a domain or
// subject words, which moves every matching row to the Trash Can at once.
class CInboxDlg : public CMessageListDlg {
    Q_OBJECT
public:
    // launchMailProgram is what "&Get Your Email" does (the main window's routine); without one
    // the command is not offered.
    explicit CInboxDlg(CDialogContext& context, std::function<void()> launchMailProgram = {},
                       QWidget* parent = nullptr);

private:
    std::vector<CListRow> LoadRows() override;
    void UpdateButtons() override;
    std::vector<CMenuItem> ContextMenuItems() override;
    void ViewSelected() override;
    void DeleteSelected() override;
    void ShowStartMessage() override;

    void BlockSender();
    void BlockDomain();
    void BlockSubject();
    void AddToFriends();

    std::function<void()> m_LaunchMailProgram;
    bool m_MarkFriends;
    QPushButton* m_View;
    QPushButton* m_Delete;
    QPushButton* m_GetEmail;
};

}  // namespace sieveclaw
