#include "core/ConnectionSecurity.h"

#include <algorithm>
#include <array>

namespace sieveclaw {

namespace {

struct SecurityText {
    EConnectionSecurity m_Security;
    std::string_view m_Name;
    std::string_view m_Label;
};

constexpr std::array<SecurityText, 3> kSecurityTexts{{
    {EConnectionSecurity::kWhenOffered, "when-offered", "STARTTLS when offered"},
    {EConnectionSecurity::kStartTls, "starttls", "STARTTLS"},
    {EConnectionSecurity::kSslTls, "ssl-tls", "SSL/TLS"},
}};

const SecurityText& TextsOf(EConnectionSecurity security) {
    const auto found = std::find_if(kSecurityTexts.begin(), kSecurityTexts.end(),
                                    [security](const SecurityText& texts) { return texts.m_Security == security; });
    return found != kSecurityTexts.end() ? *found : kSecurityTexts.front();
}

}  // namespace

std::string_view SecurityName(EConnectionSecurity security) { return TextsOf(security).m_Name; }

std::string_view SecurityLabel(EConnectionSecurity security) { return TextsOf(security).m_Label; }

std::optional<EConnectionSecurity> ParseSecurityName(std::string_view name) {
    for (const SecurityText& texts : kSecurityTexts) {
        if (texts.m_Name == name) {
            return texts.m_Security;
        }
    }
    return std::nullopt;
}

EConnectionSecurity DefaultSecurityForPort(int port, const std::vector<int>& implicitTlsPorts) {
    const bool implicit = std::find(implicitTlsPorts.begin(), implicitTlsPorts.end(), port) != implicitTlsPorts.end();
    return implicit ? EConnectionSecurity::kSslTls : EConnectionSecurity::kStartTls;
}

}  // namespace sieveclaw
