#include "net/TransportOptions.h"

#include <algorithm>

namespace sieveclaw {

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
