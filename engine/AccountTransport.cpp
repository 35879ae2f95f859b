#include "engine/AccountTransport.h"

#include <algorithm>

#include "core/LeadingNumber.h"

namespace sieveclaw {

CTransportOptions AccountTransport(CTransportOptions base, const EmailAccountInfo& account, EMailServer server) {
    const bool pop3 = server == EMailServer::kPop3;
    base.m_TrustedCertificate = pop3 ? account.m_POP3Certificate : account.m_SMTPCertificate;
    const EConnectionSecurity security = pop3 ? account.m_POP3Security : account.m_SMTPSecurity;
    const int port = LeadingNumber<int>(pop3 ? account.m_POP3Port : account.m_SMTPPort);
    if (security == EConnectionSecurity::kSslTls && !base.IsImplicitTlsPort(port)) {
        base.m_ImplicitTlsPorts.push_back(port);
    }
    return base;
}

}  // namespace sieveclaw
