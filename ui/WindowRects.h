#pragma once

#include <QWidget>

#include "core/Settings.h"

namespace sieveclaw {

// Moves window to the rectangle saved for it; an unset one (bottom -1) leaves it where it is.
void RestoreWindowRect(QWidget& window, const WindowRect& saved);

// The window's rectangle on the screen, as it is saved.
WindowRect SavedWindowRect(const QWidget& window);

}  // namespace sieveclaw
