#pragma once

#include <functional>
#include <string>

#include "core/StatusSink.h"
#include "ui/DialogContext.h"

class QWidget;

// Where the main window meets the list windows (the Inbox, the Trash Can).
//
// - Opening: the main window's "&Inbox" and "&Trash Can" buttons and the account list's double
//   click call the two openers of CListWindowOpeners, which show the window modally and return
//   when it is closed. The main window recounts the Trash Can afterwards. DefaultListWindowOpeners
//   (ui/ListWindowOpeners.cpp) is where the list windows plug theirs in; a window without an
//   opener leaves its buttons disabled.
// - Reloading: while open, a list window registers with the host (CListWindowRegistration), and
//   the mail check's reload requests reach its Reload() on the user interface thread: the Inbox's
//   queued, the Trash Can's while the worker waits for it to finish.

namespace sieveclaw {

// A list window while it is open.
class CListWindow {
public:
    virtual ~CListWindow() = default;
    // Reads the window's folder again (the mail check stored or removed messages).
    virtual void Reload() = 0;
};

// The open list windows, one of each kind. User interface thread only.
class CListWindowHost {
public:
    void Register(EListWindow kind, CListWindow& window);
    // Only the window registered for kind is taken off.
    void Unregister(EListWindow kind, const CListWindow& window);
    bool IsOpen(EListWindow kind) const;
    // The open window of kind reloads; false when none is open.
    bool Reload(EListWindow kind);

private:
    CListWindow* m_Inbox = nullptr;
    CListWindow* m_Trash = nullptr;
};

// Registers window with host for the life of this object (a member of the window, or a local of
// its exec()).
class CListWindowRegistration {
public:
    CListWindowRegistration(CListWindowHost& host, EListWindow kind, CListWindow& window);
    ~CListWindowRegistration();
    CListWindowRegistration(const CListWindowRegistration&) = delete;
    CListWindowRegistration& operator=(const CListWindowRegistration&) = delete;

private:
    CListWindowHost& m_Host;
    EListWindow m_Kind;
    CListWindow& m_Window;
};

// What a list window is opened with: the program's shared state and boxes, the host to register
// with, the account to show (empty: every account; the Trash Can only) and the parent window.
struct CListWindowRequest {
    CDialogContext& m_Context;
    CListWindowHost& m_Host;
    std::string m_Account;
    QWidget* m_Parent = nullptr;
};

// Shows a list window modally; returns once it is closed.
using CListWindowOpener = std::function<void(const CListWindowRequest& request)>;

struct CListWindowOpeners {
    CListWindowOpener m_OpenInbox;
    CListWindowOpener m_OpenTrash;
};

// The openers of the program's own list windows. Defined in ui/ListWindowOpeners.cpp.
CListWindowOpeners DefaultListWindowOpeners();

}  // namespace sieveclaw
