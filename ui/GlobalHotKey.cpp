#include "ui/GlobalHotKey.h"

#include <xcb/xcb.h>

#include <array>
#include <cstdlib>
#include <memory>

#include <QGuiApplication>
#include <QtGui/qguiapplication_platform.h>

#include "ui/HotKey.h"

namespace sieveclaw {

namespace {

constexpr std::uint32_t kShift = 1;
constexpr std::uint32_t kControl = 2;
constexpr std::uint32_t kAlt = 4;

// Caps Lock and Num Lock must not keep the key from working, so it is taken with each of them.
constexpr std::uint16_t kNumLock = XCB_MOD_MASK_2;
constexpr std::array<std::uint16_t, 4> kLockVariants{0, XCB_MOD_MASK_LOCK, kNumLock, XCB_MOD_MASK_LOCK | kNumLock};

struct KeySym {
    Qt::Key m_Key;
    std::uint32_t m_Sym;
};

constexpr std::array<KeySym, 17> kKeySyms{{
    {Qt::Key_Backspace, 0xff08},
    {Qt::Key_Tab, 0xff09},
    {Qt::Key_Return, 0xff0d},
    {Qt::Key_Enter, 0xff0d},
    {Qt::Key_Pause, 0xff13},
    {Qt::Key_Escape, 0xff1b},
    {Qt::Key_Home, 0xff50},
    {Qt::Key_Left, 0xff51},
    {Qt::Key_Up, 0xff52},
    {Qt::Key_Right, 0xff53},
    {Qt::Key_Down, 0xff54},
    {Qt::Key_PageUp, 0xff55},
    {Qt::Key_PageDown, 0xff56},
    {Qt::Key_End, 0xff57},
    {Qt::Key_Print, 0xff61},
    {Qt::Key_Insert, 0xff63},
    {Qt::Key_Delete, 0xffff},
}};

xcb_connection_t* X11Connection() {
    auto* x11 = qApp != nullptr ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 != nullptr ? x11->connection() : nullptr;
}

xcb_window_t RootWindow(xcb_connection_t* connection) {
    return xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
}

// The first key code that carries sym in the current keyboard map, 0 when none does.
std::uint8_t KeyCodeOf(xcb_connection_t* connection, std::uint32_t sym) {
    const xcb_setup_t* setup = xcb_get_setup(connection);
    const int count = setup->max_keycode - setup->min_keycode + 1;
    const std::unique_ptr<xcb_get_keyboard_mapping_reply_t, decltype(&std::free)> mapping(
        xcb_get_keyboard_mapping_reply(
            connection, xcb_get_keyboard_mapping(connection, setup->min_keycode, static_cast<std::uint8_t>(count)),
            nullptr),
        &std::free);
    if (!mapping) {
        return 0;
    }
    const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(mapping.get());
    const int perCode = mapping->keysyms_per_keycode;
    for (int code = 0; code < count; ++code) {
        for (int i = 0; i < perCode; ++i) {
            if (syms[code * perCode + i] == sym) {
                return static_cast<std::uint8_t>(setup->min_keycode + code);
            }
        }
    }
    return 0;
}

}  // namespace

std::uint32_t KeySymOfVirtualKey(std::uint16_t code) {
    const Qt::Key key = HotKeyCombination(code).key();
    if (key == Qt::Key_unknown) {
        return 0;
    }
    if (key >= Qt::Key_A && key <= Qt::Key_Z) {
        return static_cast<std::uint32_t>(key - Qt::Key_A + 'a');
    }
    if (key < 0x100) {
        return static_cast<std::uint32_t>(key);  // digits, the blank and punctuation are Latin-1 syms
    }
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24) {
        return static_cast<std::uint32_t>(0xffbe + (key - Qt::Key_F1));
    }
    for (const KeySym& known : kKeySyms) {
        if (known.m_Key == key) {
            return known.m_Sym;
        }
    }
    return 0;
}

CGlobalHotKey::CGlobalHotKey(QObject* parent) : QObject(parent) {}

CGlobalHotKey::~CGlobalHotKey() {
    Unregister();
    if (m_Filtering && qApp != nullptr) {
        qApp->removeNativeEventFilter(this);
    }
}

bool CGlobalHotKey::Register(std::uint32_t value) {
    Unregister();
    xcb_connection_t* connection = X11Connection();
    const std::uint32_t sym = KeySymOfVirtualKey(static_cast<std::uint16_t>(value & 0xFFFF));
    if (value == 0 || connection == nullptr || sym == 0) {
        return false;
    }
    const std::uint8_t code = KeyCodeOf(connection, sym);
    if (code == 0) {
        return false;
    }
    const std::uint32_t flags = value >> 16;
    std::uint16_t modifiers = 0;
    modifiers |= (flags & kShift) != 0 ? XCB_MOD_MASK_SHIFT : 0;
    modifiers |= (flags & kControl) != 0 ? XCB_MOD_MASK_CONTROL : 0;
    modifiers |= (flags & kAlt) != 0 ? XCB_MOD_MASK_1 : 0;
    const xcb_window_t root = RootWindow(connection);
    for (const std::uint16_t variant : kLockVariants) {
        const xcb_void_cookie_t cookie = xcb_grab_key_checked(connection, 1, root, modifiers | variant, code,
                                                              XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
        if (xcb_generic_error_t* error = xcb_request_check(connection, cookie)) {
            // Another program holds the key.
            std::free(error);
            for (const std::uint16_t taken : kLockVariants) {
                if (taken == variant) {
                    break;
                }
                xcb_ungrab_key(connection, code, root, modifiers | taken);
            }
            xcb_flush(connection);
            return false;
        }
    }
    xcb_flush(connection);
    m_KeyCode = code;
    m_Modifiers = modifiers;
    if (!m_Filtering) {
        qApp->installNativeEventFilter(this);
        m_Filtering = true;
    }
    return true;
}

void CGlobalHotKey::Unregister() {
    if (m_KeyCode == 0) {
        return;
    }
    if (xcb_connection_t* connection = X11Connection()) {
        const xcb_window_t root = RootWindow(connection);
        for (const std::uint16_t variant : kLockVariants) {
            xcb_ungrab_key(connection, m_KeyCode, root, m_Modifiers | variant);
        }
        xcb_flush(connection);
    }
    m_KeyCode = 0;
    m_Modifiers = 0;
}

bool CGlobalHotKey::nativeEventFilter(const QByteArray& eventType, void* message, qintptr* /*result*/) {
    if (m_KeyCode == 0 || eventType != "xcb_generic_event_t") {
        return false;
    }
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7f) != XCB_KEY_PRESS) {
        return false;
    }
    const auto* press = static_cast<const xcb_key_press_event_t*>(message);
    const std::uint16_t modifiers = press->state & ~(XCB_MOD_MASK_LOCK | kNumLock);
    if (press->detail != m_KeyCode ||
        (modifiers & (XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1)) != m_Modifiers) {
        return false;
    }
    emit Pressed();
    return true;
}

}  // namespace sieveclaw
