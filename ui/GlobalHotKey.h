#pragma once

#include <cstdint>

#include <QAbstractNativeEventFilter>
#include <QObject>

namespace sieveclaw {

// The show hot key for the whole desktop: on an X11 session the key is grabbed on the root window
// and reported wherever the focus is; elsewhere nothing is grabbed (Preferences says so). User
// interface thread only.
class CGlobalHotKey : public QObject, public QAbstractNativeEventFilter {
    Q_OBJECT
public:
    explicit CGlobalHotKey(QObject* parent = nullptr);
    ~CGlobalHotKey() override;  // Unregister()

    // Lets go of the key held, then takes the stored key value (modifier flags << 16 | virtual-key
    // code). False when it cannot be taken: no X11 session, a key with no counterpart here, or a
    // key another program holds. 0 only lets go.
    bool Register(std::uint32_t value);
    void Unregister();
    bool IsRegistered() const { return m_KeyCode != 0; }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

signals:
    void Pressed();

private:
    std::uint8_t m_KeyCode = 0;
    std::uint16_t m_Modifiers = 0;
    bool m_Filtering = false;
};

// The X keysym of a key of the stored form's virtual-key code; 0 for a code it has none for.
std::uint32_t KeySymOfVirtualKey(std::uint16_t code);

}  // namespace sieveclaw
