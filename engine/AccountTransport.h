#pragma once

#include "core/EmailAccountInfo.h"
#include "net/TransportOptions.h"

namespace sieveclaw {

enum class EMailServer { kPop3, kSmtp };

// The transport for one of the account's two servers: base, with the certificate the user chose
// to trust for that server, and TLS from the first byte on the account's port when the account
// asks for SSL/TLS there.
CTransportOptions AccountTransport(CTransportOptions base, const EmailAccountInfo& account, EMailServer server);

}  // namespace sieveclaw
