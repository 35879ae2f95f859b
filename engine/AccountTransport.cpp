#include "engine/AccountTransport.h"

namespace sieveclaw {

CTransportOptions AccountTransport(CTransportOptions base, const EmailAccountInfo& account, EMailServer server) {
    const bool pop3 = server == EMailServer::kPop3;
    base.m_TrustedCertificate = pop3 ? account.m_POP3Certificate : account.m_SMTPCertificate;
    base.m_Security = pop3 ? account.m_POP3Security : account.m_SMTPSecurity;
    return base;
}

}  // namespace sieveclaw
