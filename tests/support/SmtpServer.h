#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

// A real SMTP server for tests and measurements: smtp_server.py (beside this file) run by the
// Debian interpreter with its aiosmtpd package, listening on 127.0.0.1 only. A plain port offers
// STARTTLS, a second port speaks TLS from the first byte; both use the throwaway certificates of
// the Dovecot fixture. AUTH LOGIN is accepted for one user, without TLS too. Every message is
// saved raw before the server answers the final dot, so once SendMail has returned its copy is
// on disk.
//
// Replies the server refuses on purpose: MAIL FROM an address starting with "refused" (550),
// RCPT TO an address starting with "unknown" (550), a message holding the header line
// "X-Test-Refuse: yes" (554 after the final dot, saved all the same).
//
// The server is a child of the creating process and gets SIGTERM when the creating thread ends;
// Stop() ends it by its pid. Used by one thread only.

namespace sieveclaw::test {

class CSmtpServer {
public:
    explicit CSmtpServer(std::string user = "alice", std::string password = "alice-pw");
    ~CSmtpServer();  // Stop()
    CSmtpServer(const CSmtpServer&) = delete;
    CSmtpServer& operator=(const CSmtpServer&) = delete;

    // Before Start: the plain port offers no STARTTLS, so a client stays in plain text there.
    void SetOfferStartTls(bool offer) { m_OfferStartTls = offer; }
    // Before Start: both ports show the self-signed certificate instead of the CA-signed one.
    void SetSelfSigned(bool selfSigned) { m_SelfSigned = selfSigned; }

    // Launches the server in a fresh folder and waits until both ports listen. False with
    // Error() set (the server's standard error included) when it did not come up.
    bool Start();
    // SIGTERM, then SIGKILL after a few seconds; reaps the process and removes the folder.
    void Stop();
    const std::string& Error() const { return m_Error; }

    int PlainPort() const { return m_PlainPort; }
    int TlsPort() const { return m_TlsPort; }
    pid_t Pid() const { return m_Pid; }
    const std::string& User() const { return m_User; }
    const std::string& Password() const { return m_Password; }
    const std::string& Folder() const { return m_Folder; }
    // The CA that signed the server certificate, and one that did not.
    std::string CaFile() const { return m_Folder + "/ca.pem"; }
    std::string OtherCaFile() const { return m_Folder + "/other-ca.pem"; }

    // Messages saved so far, and one of them (1 = the first): the raw DATA, and its envelope as
    // JSON ({"from", "to", "user", "tls", "reply"}).
    std::size_t MessageCount() const;
    std::string MessagePath(std::size_t number) const;
    std::optional<std::string> Message(std::size_t number) const;
    std::optional<std::string> Envelope(std::size_t number) const;

    // The commands of one connection (1 = the first) in the order received, as the client sent
    // them ("EHLO host", "MAIL FROM:<a@b>"), among them the server's own notes "CONNECT plain",
    // "CONNECT tls", "TLS" (after a STARTTLS handshake) and "LOGIN <user> accepted|refused".
    std::vector<std::string> Commands(int connection) const;
    int ConnectionCount() const;

    // Runs /usr/bin/python3 -c code with the arguments and returns its standard output, or
    // nothing (error set) when it could not run or exited with a status other than 0.
    static std::optional<std::string> RunPython(const std::string& code, const std::vector<std::string>& arguments,
                                                std::string& error);

private:
    bool Launch();
    bool WaitUntilReady();
    std::string LogLines() const;

    std::string m_User;
    std::string m_Password;
    std::string m_Folder;
    std::string m_Error;
    int m_PlainPort = 0;
    int m_TlsPort = 0;
    pid_t m_Pid = -1;
    bool m_OfferStartTls = true;
    bool m_SelfSigned = false;
};

}  // namespace sieveclaw::test
