#include "ui/ListWindowHost.h"

namespace sieveclaw {

void CListWindowHost::Register(EListWindow kind, CListWindow& window) {
    (kind == EListWindow::kInbox ? m_Inbox : m_Trash) = &window;
}

void CListWindowHost::Unregister(EListWindow kind, const CListWindow& window) {
    CListWindow*& slot = kind == EListWindow::kInbox ? m_Inbox : m_Trash;
    if (slot == &window) {
        slot = nullptr;
    }
}

bool CListWindowHost::IsOpen(EListWindow kind) const {
    return (kind == EListWindow::kInbox ? m_Inbox : m_Trash) != nullptr;
}

bool CListWindowHost::Reload(EListWindow kind) {
    CListWindow* window = kind == EListWindow::kInbox ? m_Inbox : m_Trash;
    if (window == nullptr) {
        return false;
    }
    window->Reload();
    return true;
}

CListWindowRegistration::CListWindowRegistration(CListWindowHost& host, EListWindow kind, CListWindow& window)
    : m_Host(host), m_Kind(kind), m_Window(window) {
    m_Host.Register(m_Kind, m_Window);
}

CListWindowRegistration::~CListWindowRegistration() {
    m_Host.Unregister(m_Kind, m_Window);
}

}  // namespace sieveclaw
