#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/ConnectionSecurity.h"

namespace sieveclaw {

// What the creator of a mail client decides about its connection. In the program these come
// from the settings store and the account; tests shorten the time unit and pick their own TLS
// port.
struct CTransportOptions {
    // The Timeout in whole units (minutes in the program), read anew at every check so that a
    // change in the Preferences applies to the next read. Empty: 2.
    std::function<int()> m_Timeout;
    // The length of one Timeout unit.
    std::chrono::milliseconds m_TimeoutUnit = std::chrono::minutes(1);
    // Called between poll slices while a read or connect waits, so a UI thread keeps its events
    // flowing. Runs on the thread that owns the connection.
    std::function<void()> m_WaitHook;
    // Asked between poll slices of every wait (connect, read, the pause between connect tries):
    // once it answers true the wait ends at once. The mail check's stop signal. Empty: never.
    std::function<bool()> m_StopRequested;
    // Ports that speak TLS from the first byte.
    std::vector<int> m_ImplicitTlsPorts{995, 465};
    // How the account wants its connection protected.
    EConnectionSecurity m_Security = EConnectionSecurity::kWhenOffered;
    // Trusted certificates: this file when set, else the file named by SSL_CERT_FILE, else the
    // system store.
    std::string m_CaFile;
    // The SHA-256 fingerprint of the one certificate the user chose to trust for this server
    // (as CertificateFingerprint writes it; letter case and colons do not count). When set, that
    // certificate is accepted in place of the usual verification, and every other is refused.
    std::string m_TrustedCertificate;
    // Told the fingerprint of a server certificate that was refused (it did not verify, or it is
    // not the trusted one), so that the user can be asked whether to trust it. Runs on the thread
    // that owns the connection.
    std::function<void(const std::string& fingerprint)> m_OnCertificateRefused;
    // A POP3 session sends one command at a time and asks for no message ids, whatever the server
    // offers: how a server without PIPELINING and UIDL is served. For comparing the two ways.
    bool m_OneCommandAtATime = false;

    int TimeoutUnits() const;
    std::chrono::milliseconds TimeoutDuration() const { return TimeoutUnits() * m_TimeoutUnit; }
    // The Timeout, but never less than one unit: a wait that must give the peer some time.
    std::chrono::milliseconds TimeoutAtLeastOneUnit() const;
    bool IsImplicitTlsPort(int port) const;
    // TLS from the first byte: chosen as SSL/TLS, or left to the port as mail programs did before
    // the choice existed.
    bool TlsFromFirstByte(int port) const;
    bool StopRequested() const { return m_StopRequested && m_StopRequested(); }
};

// True when both name the same fingerprint: the same hexadecimal digits in the same order, letter
// case and separators aside. An empty fingerprint matches none.
bool SameFingerprint(std::string_view a, std::string_view b);

}  // namespace sieveclaw
