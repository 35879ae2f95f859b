#pragma once

#include <string>

#include "core/EmailAccountInfo.h"
#include "engine/AccountTransport.h"
#include "net/TransportOptions.h"

// The logon tests of the account settings dialog and of the first-run wizard: the account's
// server name is looked up first, then the real POP3 or SMTP client logs on (with TLS as the
// account asks) and off. Each test blocks the calling thread for its length, so windows run it on
// another thread; it touches nothing but its own connection.

namespace sieveclaw {

enum class EServerTestStep {
    kUnresolved,   // the server's name could not be looked up
    kLogonFailed,  // the client's Logon failed
    kWorked,       // logged on and off
};

struct ServerTestResult {
    EServerTestStep m_Step = EServerTestStep::kUnresolved;
    // The client's m_LastError after a failed logon.
    std::string m_LastError;
    // The fingerprint of the server certificate that made the logon fail, when that was the cause:
    // the user may choose to trust it (the account's m_POP3Certificate or m_SMTPCertificate).
    std::string m_RefusedCertificate;
};

// True when the name resolves to at least one address.
bool ResolvesHostName(const std::string& host);

// The POP3 logon with the account's server, port, user id and password.
ServerTestResult TestPop3Logon(const EmailAccountInfo& account, const CTransportOptions& base);
// The SMTP logon with the account's server and port, plus its user id and password when the
// account says the server needs a logon.
ServerTestResult TestSmtpLogon(const EmailAccountInfo& account, const CTransportOptions& base);

// --- what the user reads -------------------------------------------------------------------------

// "Would you like Sieveclaw to automatically verify your incoming mail server (POP3) and logon
// information with your ISP now?" and its outgoing (SMTP) twin.
std::string VerifyServerQuestion(EMailServer server);
// "Sieveclaw was not able to resolve your incoming mail server (POP3): <host>.  Perhaps ..."
std::string UnresolvedServerMessage(EMailServer server, const std::string& host);
// "Sieveclaw was unable to logon to your incoming mail server (POP3).  The following error was
// returned: <error>"
std::string LogonFailedMessage(EMailServer server, const std::string& error);
// "Your incoming mail server (POP3) settings worked successfully!"
std::string ServerWorkedMessage(EMailServer server);
// The wizard's logon failure: "... incoming (POP3) mail server - <host> UserId: <user>.  The
// following error was returned: <error>"
std::string WizardLogonFailedMessage(const std::string& host, const std::string& userId, const std::string& error);

// The question that follows a logon refused for its certificate: failure says why (the logon
// failure message), then the certificate's fingerprint, and whether to trust that certificate
// for this server of the account from now on, and no other.
std::string TrustCertificateQuestion(EMailServer server, const std::string& failure, const std::string& fingerprint);

// How the wizard's connection test ends, from the rows tested (rows) and those that worked.
enum class EConnectTestEnding {
    kNoneWorked,  // error box; the wizard stays as it was
    kSomeWorked,  // information box; Back and Finish
    kAllWorked,   // no box; the wizard finishes by itself
};
EConnectTestEnding ConnectTestEnding(int rows, int worked);
// The box of that ending; empty for kAllWorked.
std::string ConnectTestSummary(int rows, int worked);

}  // namespace sieveclaw
