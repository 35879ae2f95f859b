#include "ui/WindowRects.h"

namespace sieveclaw {

void RestoreWindowRect(QWidget& window, const WindowRect& saved) {
    if (saved.m_Bottom == -1 || saved.m_Right <= saved.m_Left || saved.m_Bottom <= saved.m_Top) {
        return;
    }
    window.setGeometry(saved.m_Left, saved.m_Top, saved.m_Right - saved.m_Left, saved.m_Bottom - saved.m_Top);
}

WindowRect SavedWindowRect(const QWidget& window) {
    const QRect geometry = window.geometry();
    return {geometry.left(), geometry.top(), geometry.left() + geometry.width(), geometry.top() + geometry.height()};
}

}  // namespace sieveclaw
