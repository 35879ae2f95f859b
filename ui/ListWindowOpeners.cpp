// The list windows the main window opens. Each opener shows its window modally over the request's
// parent and registers it with the request's host while it is open (CListWindowRegistration).

#include "ui/CInboxDlg.h"
#include "ui/CTrashDlg.h"
#include "ui/ListWindowHost.h"
#include "ui/ShellHelpers.h"

namespace sieveclaw {

namespace {

// What the host calls while the window is open. The window itself decides when to read its rows
// again: never in the middle of a command, a question or the viewer.
class COpenListWindow : public CListWindow {
public:
    explicit COpenListWindow(CMessageListDlg& window) : m_Window(window) {}
    void Reload() override { m_Window.Reload(); }

private:
    CMessageListDlg& m_Window;
};

void ShowRegistered(CMessageListDlg& window, const CListWindowRequest& request, EListWindow kind) {
    COpenListWindow open(window);
    const CListWindowRegistration registration(request.m_Host, kind, open);
    window.exec();
}

}  // namespace

CListWindowOpeners DefaultListWindowOpeners() {
    CListWindowOpeners openers;
    openers.m_OpenInbox = [](const CListWindowRequest& request) {
        CDialogContext& context = request.m_Context;
        CInboxDlg inbox(
            context,
            [&context] { LaunchMailProgram(context.m_Prompt, context.m_State.m_Settings.Snapshot().m_MailProgram); },
            request.m_Parent);
        ShowRegistered(inbox, request, EListWindow::kInbox);
    };
    openers.m_OpenTrash = [](const CListWindowRequest& request) {
        CTrashDlg trash(request.m_Context, request.m_Account, request.m_Parent);
        ShowRegistered(trash, request, EListWindow::kTrash);
    };
    return openers;
}

}  // namespace sieveclaw
