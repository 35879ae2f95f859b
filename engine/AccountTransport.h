#pragma once

#include "core/EmailAccountInfo.h"
#include "net/TransportOptions.h"

namespace sieveclaw {

enum class EMailServer { kPop3, kSmtp };

// The transport for one of the account's two servers: base, with the connection security the
// account chose for that server and the certificate the user chose to trust there.
CTransportOptions AccountTransport(CTransportOptions base, const EmailAccountInfo& account, EMailServer server);

}  // namespace sieveclaw
