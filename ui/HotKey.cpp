#include "ui/HotKey.h"

#include <array>

#include <QGuiApplication>

namespace sieveclaw {

namespace {

constexpr std::uint32_t kShift = 1;
constexpr std::uint32_t kControl = 2;
constexpr std::uint32_t kAlt = 4;

struct KeyCode {
    Qt::Key m_Key;
    std::uint16_t m_Code;
};

// Keys whose virtual-key code is not their own character code (letters, digits and the blank are).
constexpr std::array<KeyCode, 34> kKeyCodes{{
    {Qt::Key_Backspace, 0x08},
    {Qt::Key_Tab, 0x09},
    {Qt::Key_Return, 0x0D},
    {Qt::Key_Enter, 0x0D},
    {Qt::Key_Pause, 0x13},
    {Qt::Key_Escape, 0x1B},
    {Qt::Key_PageUp, 0x21},
    {Qt::Key_PageDown, 0x22},
    {Qt::Key_End, 0x23},
    {Qt::Key_Home, 0x24},
    {Qt::Key_Left, 0x25},
    {Qt::Key_Up, 0x26},
    {Qt::Key_Right, 0x27},
    {Qt::Key_Down, 0x28},
    {Qt::Key_Print, 0x2C},
    {Qt::Key_Insert, 0x2D},
    {Qt::Key_Delete, 0x2E},
    {Qt::Key_Semicolon, 0xBA},
    {Qt::Key_Equal, 0xBB},
    {Qt::Key_Comma, 0xBC},
    {Qt::Key_Minus, 0xBD},
    {Qt::Key_Period, 0xBE},
    {Qt::Key_Slash, 0xBF},
    {Qt::Key_QuoteLeft, 0xC0},
    {Qt::Key_BracketLeft, 0xDB},
    {Qt::Key_Backslash, 0xDC},
    {Qt::Key_BracketRight, 0xDD},
    {Qt::Key_Apostrophe, 0xDE},
    // What Shift makes of the digit keys on the common layout: the key stays the digit's.
    {Qt::Key_Exclam, 0x31},
    {Qt::Key_At, 0x32},
    {Qt::Key_NumberSign, 0x33},
    {Qt::Key_Dollar, 0x34},
    {Qt::Key_Percent, 0x35},
    {Qt::Key_ParenRight, 0x30},
}};

std::uint16_t CodeOf(Qt::Key key) {
    if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9) || key == Qt::Key_Space) {
        return static_cast<std::uint16_t>(key);
    }
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24) {
        return static_cast<std::uint16_t>(0x70 + (key - Qt::Key_F1));
    }
    for (const KeyCode& known : kKeyCodes) {
        if (known.m_Key == key) {
            return known.m_Code;
        }
    }
    return 0;
}

Qt::Key KeyOf(std::uint16_t code) {
    if ((code >= 0x41 && code <= 0x5A) || (code >= 0x30 && code <= 0x39) || code == 0x20) {
        return static_cast<Qt::Key>(code);
    }
    if (code >= 0x70 && code <= 0x87) {
        return static_cast<Qt::Key>(Qt::Key_F1 + (code - 0x70));
    }
    for (const KeyCode& known : kKeyCodes) {
        if (known.m_Code == code) {
            return known.m_Key;
        }
    }
    return Qt::Key_unknown;
}

}  // namespace

std::uint32_t HotKeyValue(QKeyCombination combination) {
    const Qt::KeyboardModifiers modifiers = combination.keyboardModifiers();
    const std::uint16_t code = CodeOf(combination.key());
    if (code == 0 || modifiers.testFlag(Qt::MetaModifier)) {
        return 0;
    }
    std::uint32_t flags = 0;
    flags |= modifiers.testFlag(Qt::ShiftModifier) ? kShift : 0;
    flags |= modifiers.testFlag(Qt::ControlModifier) ? kControl : 0;
    flags |= modifiers.testFlag(Qt::AltModifier) ? kAlt : 0;
    return flags << 16 | code;
}

QKeyCombination HotKeyCombination(std::uint32_t value) {
    const Qt::Key key = KeyOf(static_cast<std::uint16_t>(value & 0xFFFF));
    if (value == 0 || key == Qt::Key_unknown) {
        return QKeyCombination(Qt::Key_unknown);
    }
    const std::uint32_t flags = value >> 16;
    Qt::KeyboardModifiers modifiers;
    modifiers.setFlag(Qt::ShiftModifier, (flags & kShift) != 0);
    modifiers.setFlag(Qt::ControlModifier, (flags & kControl) != 0);
    modifiers.setFlag(Qt::AltModifier, (flags & kAlt) != 0);
    return QKeyCombination(modifiers, key);
}

bool CanGrabGlobalHotKey() {
    return QGuiApplication::platformName() == QStringLiteral("xcb");
}

}  // namespace sieveclaw
