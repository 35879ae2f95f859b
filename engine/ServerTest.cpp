#include "engine/ServerTest.h"

#include <netdb.h>
#include <sys/socket.h>

#include <memory>
#include <optional>

#include "core/LeadingNumber.h"
#include "net/CPOP3Client.h"
#include "net/CSMTPClient.h"

namespace sieveclaw {

namespace {

// "incoming mail server (POP3)" or "outgoing mail server (SMTP)", as every message names it.
std::string ServerWords(EMailServer server) {
    return server == EMailServer::kPop3 ? "incoming mail server (POP3)" : "outgoing mail server (SMTP)";
}

// The fingerprint on two lines of sixteen pairs, so that a box need not be as wide as all 32.
std::string FingerprintLines(const std::string& fingerprint) {
    constexpr std::size_t kHalf = 16 * 3;
    if (fingerprint.size() <= kHalf) {
        return fingerprint;
    }
    return fingerprint.substr(0, kHalf - 1) + "\n" + fingerprint.substr(kHalf);
}

// The account's options for one server, with a refused certificate's fingerprint kept in refused.
CTransportOptions TestTransport(const CTransportOptions& base, const EmailAccountInfo& account, EMailServer server,
                                const std::shared_ptr<std::string>& refused) {
    CTransportOptions options = AccountTransport(base, account, server);
    options.m_OnCertificateRefused = [refused](const std::string& fingerprint) { *refused = fingerprint; };
    return options;
}

ServerTestResult Failed(const std::string& lastError, const std::shared_ptr<std::string>& refused) {
    return {EServerTestStep::kLogonFailed, lastError, *refused};
}

}  // namespace

bool ResolvesHostName(const std::string& host) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (host.empty() || ::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0) {
        return false;
    }
    ::freeaddrinfo(found);
    return true;
}

ServerTestResult TestPop3Logon(const EmailAccountInfo& account, const CTransportOptions& base) {
    if (!ResolvesHostName(account.m_POP3Server)) {
        return {};
    }
    const auto refused = std::make_shared<std::string>();
    CPOP3Client client(TestTransport(base, account, EMailServer::kPop3, refused));
    if (!client.Logon(account.m_POP3Server, account.m_POP3UserId, account.m_POP3Password,
                      LeadingNumber<int>(account.m_POP3Port))) {
        return Failed(client.m_LastError, refused);
    }
    client.Logoff();
    return {EServerTestStep::kWorked, {}, {}};
}

ServerTestResult TestSmtpLogon(const EmailAccountInfo& account, const CTransportOptions& base) {
    if (!ResolvesHostName(account.m_SMTPServer)) {
        return {};
    }
    const auto refused = std::make_shared<std::string>();
    CSMTPClient client(TestTransport(base, account, EMailServer::kSmtp, refused));
    const bool logon = account.m_SMTPNeedsLogon != 0;
    if (!client.Logon(account.m_SMTPServer, LeadingNumber<int>(account.m_SMTPPort),
                      logon ? std::optional<std::string>(account.m_SMTPUserId) : std::nullopt,
                      logon ? std::optional<std::string>(account.m_SMTPPassword) : std::nullopt)) {
        return Failed(client.m_LastError, refused);
    }
    client.Logoff();
    return {EServerTestStep::kWorked, {}, {}};
}

std::string VerifyServerQuestion(EMailServer server) {
    return "Would you like Sieveclaw to automatically verify your " + ServerWords(server) +
           " and logon information with your ISP now?";
}

std::string UnresolvedServerMessage(EMailServer server, const std::string& host) {
    return "Sieveclaw was not able to resolve your " + ServerWords(server) + ": " + host +
           ".  Perhaps you typed the name incorrectly or you are not connected to the Internet.";
}

std::string LogonFailedMessage(EMailServer server, const std::string& error) {
    return "Sieveclaw was unable to logon to your " + ServerWords(server) +
           ".  The following error was returned: " + error;
}

std::string ServerWorkedMessage(EMailServer server) {
    return "Your " + ServerWords(server) + " settings worked successfully!";
}

std::string WizardLogonFailedMessage(const std::string& host, const std::string& userId, const std::string& error) {
    return "Sieveclaw was unable to logon to your incoming (POP3) mail server - " + host + " UserId: " + userId +
           ".  The following error was returned: " + error;
}

std::string TrustCertificateQuestion(EMailServer server, const std::string& failure, const std::string& fingerprint) {
    return failure +
           "\n\nA certificate that cannot be verified is common on small providers and home servers that make "
           "their own, and it is also what a stranger between you and the server would show.  Trust it only if "
           "you expect this server to show its own certificate; your provider can tell you its fingerprint.\n\n"
           "SHA-256 fingerprint of the server's certificate:\n" +
           FingerprintLines(fingerprint) + "\n\nWould you like Sieveclaw to trust this certificate for the " +
           ServerWords(server) +
           " of this account?  It will then accept this certificate from that server, and no "
           "other.";
}

EConnectTestEnding ConnectTestEnding(int rows, int worked) {
    if (rows == 0 || worked == 0) {
        return EConnectTestEnding::kNoneWorked;
    }
    return worked < rows ? EConnectTestEnding::kSomeWorked : EConnectTestEnding::kAllWorked;
}

std::string ConnectTestSummary(int rows, int worked) {
    switch (ConnectTestEnding(rows, worked)) {
        case EConnectTestEnding::kNoneWorked:
            return "None of the email accounts listed worked.  Please click <Back> and click <Properties> for each "
                   "of your accounts and make sure all of the information is correct for each.";
        case EConnectTestEnding::kSomeWorked:
            return std::to_string(worked) + " out of " + std::to_string(rows) +
                   " of your accounts worked.  You can A)continue by clicking <Finish> and allow Sieveclaw to scan "
                   "for spam on the accounts that it successfully verified, or B) you can click <Back> and correct "
                   "the accounts that are in error.";
        case EConnectTestEnding::kAllWorked:
            break;
    }
    return {};
}

}  // namespace sieveclaw
