#include "net/TransportOptions.h"

#include <algorithm>

namespace sieveclaw {


int CTransportOptions::TimeoutUnits() const { return m_Timeout ? m_Timeout() : 2; }

bool CTransportOptions::IsImplicitTlsPort(int port) const {
    return std::find(m_ImplicitTlsPorts.begin(), m_ImplicitTlsPorts.end(), port) != m_ImplicitTlsPorts.end();
}

}  // namespace sieveclaw
