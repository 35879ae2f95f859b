#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "net/TransportOptions.h"
#include "tests/support/DovecotServer.h"
#include "tests/support/SmtpServer.h"

// The servers the connection tests log on to, all on 127.0.0.1, each with the mailbox "alice"
// (password kMailPassword): POP3 and SMTP servers with the CA-signed certificate (STLS/STARTTLS on
// the plain port, TLS from the first byte on the other), without TLS, and with the self-signed
// certificate. Start it once per test program, on its main thread.

namespace sieveclaw::test {

inline constexpr const char* kMailUser = "alice";
inline constexpr const char* kMailPassword = "alice-pw";

class CMailServerSet {
public:
    CMailServerSet();
    // False with error set when a server did not come up.
    bool Start(std::string& error);

    CDovecotServer m_Pop3;
    CDovecotServer m_Pop3Plain;
    CDovecotServer m_Pop3SelfSigned;
    CSmtpServer m_Smtp;
    CSmtpServer m_SmtpPlain;
    CSmtpServer m_SmtpSelfSigned;

    // Trusts the servers' CA (not the self-signed certificate); replies that come at all come
    // within a second, so the Timeout is in seconds.
    CTransportOptions Options() const {
        CTransportOptions options;
        options.m_TimeoutUnit = std::chrono::seconds(1);
        options.m_Timeout = [] { return 30; };
        options.m_CaFile = m_Pop3.CaFile();
        return options;
    }
};

}  // namespace sieveclaw::test
