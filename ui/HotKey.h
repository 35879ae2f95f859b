#pragma once

#include <cstdint>

#include <QKeyCombination>

// The show hot key as the settings keep it ("HotKey"): the modifier flags (Shift 1, Control 2,
// Alt 4) shifted left by 16 bits, or-ed with the key's virtual-key code.

namespace sieveclaw {

// 0 for no key, or for a key or modifier the stored form cannot name (the Meta key among them).
std::uint32_t HotKeyValue(QKeyCombination combination);

// The combination a stored value names; Qt::Key_unknown for 0 or a code it cannot name.
QKeyCombination HotKeyCombination(std::uint32_t value);

// True where the desktop lets a program take a key for itself (an X11 session); elsewhere
// (Wayland, no display) the hot key is kept but has no effect.
bool CanGrabGlobalHotKey();

}  // namespace sieveclaw
