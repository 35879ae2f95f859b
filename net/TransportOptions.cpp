#include "net/TransportOptions.h"

#include <algorithm>
#include <cctype>

namespace sieveclaw {

namespace {

std::string HexDigitsOf(std::string_view fingerprint) {
    std::string digits;
    for (const char c : fingerprint) {
        if (std::isxdigit(static_cast<unsigned char>(c)) != 0) {
            digits += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
    }
    return digits;
}

}  // namespace

bool SameFingerprint(std::string_view a, std::string_view b) {
    const std::string digits = HexDigitsOf(a);
    return !digits.empty() && digits == HexDigitsOf(b);
}

int CTransportOptions::TimeoutUnits() const { return m_Timeout ? m_Timeout() : 2; }

std::chrono::milliseconds CTransportOptions::TimeoutAtLeastOneUnit() const {
    return std::max(TimeoutDuration(), m_TimeoutUnit);
}

bool CTransportOptions::IsImplicitTlsPort(int port) const {
    return std::find(m_ImplicitTlsPorts.begin(), m_ImplicitTlsPorts.end(), port) != m_ImplicitTlsPorts.end();
}

bool CTransportOptions::TlsFromFirstByte(int port) const {
    return m_Security == EConnectionSecurity::kSslTls ||
           (m_Security == EConnectionSecurity::kWhenOffered && IsImplicitTlsPort(port));
}

}  // namespace sieveclaw
