#include "tests/support/MailServerSet.h"

namespace sieveclaw::test {

CMailServerSet::CMailServerSet()
    : m_Pop3Plain(CDovecotServer::ECertificateNames::kLocalhostAndIp, CDovecotServer::ETls::kOff),
      m_Pop3SelfSigned(CDovecotServer::ECertificateNames::kSelfSigned),
      m_Smtp(kMailUser, kMailPassword),
      m_SmtpPlain(kMailUser, kMailPassword),
      m_SmtpSelfSigned(kMailUser, kMailPassword) {
    for (CDovecotServer* server : {&m_Pop3, &m_Pop3Plain, &m_Pop3SelfSigned}) {
        server->AddUser(kMailUser, kMailPassword);
    }
    m_SmtpPlain.SetOfferStartTls(false);
    m_SmtpSelfSigned.SetSelfSigned(true);
}

bool CMailServerSet::Start(std::string& error) {
    for (CDovecotServer* server : {&m_Pop3, &m_Pop3Plain, &m_Pop3SelfSigned}) {
        if (!server->Start()) {
            error = server->Error();
            return false;
        }
    }
    for (CSmtpServer* server : {&m_Smtp, &m_SmtpPlain, &m_SmtpSelfSigned}) {
        if (!server->Start()) {
            error = server->Error();
            return false;
        }
    }
    return true;
}

}  // namespace sieveclaw::test
