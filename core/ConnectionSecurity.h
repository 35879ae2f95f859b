#pragma once

#include <optional>
#include <string_view>
#include <vector>

namespace sieveclaw {

// How a mail client protects its connection, the three choices mail programs offer. An account
// read from a file written before the choice existed keeps kWhenOffered, the old behaviour.
enum class EConnectionSecurity {
    kWhenOffered,  // upgrade with STLS/STARTTLS when the server offers it, otherwise plain text
    kStartTls,     // STLS/STARTTLS required: without a successful upgrade nothing is sent
    kSslTls,       // TLS from the first byte, on any port
};

// "when-offered", "starttls", "ssl-tls": the stored and command-line names.
std::string_view SecurityName(EConnectionSecurity security);
// The name back; nothing for a text that names no choice.
std::optional<EConnectionSecurity> ParseSecurityName(std::string_view name);
// "STARTTLS when offered", "STARTTLS", "SSL/TLS": what people read in lists and dialogs.
std::string_view SecurityLabel(EConnectionSecurity security);

// The choice for a new account: SSL/TLS on a port that speaks TLS from the first byte,
// STARTTLS elsewhere.
EConnectionSecurity DefaultSecurityForPort(int port, const std::vector<int>& implicitTlsPorts);

}  // namespace sieveclaw
