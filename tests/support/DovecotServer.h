#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// A real Dovecot POP3 server for tests, benchmarks and the demo, run from a private
// configuration in a fresh folder under /tmp and listening on 127.0.0.1 only: a plain port
// whose CAPA offers STLS and an implicit-TLS port, both with a certificate signed by a
// throwaway CA.
//
// The server is a child of the creating process and dies with it: the child asks the kernel for
// SIGTERM when the thread that started it ends, so create and Start it on a thread that
// outlives the server (the main thread in tests and benchmarks). Used by one thread only.

namespace sieveclaw::test {

// The throwaway TLS material of the test servers, PEM encoded: a CA, an unrelated CA, and one
// server key with two certificates signed by the CA, one naming localhost and 127.0.0.1, one
// naming localhost only, and a third certificate of that key that signs itself (as small
// providers and home servers often have), naming both.
struct CertificateSet {
    std::string m_CaCert;
    std::string m_OtherCaCert;
    std::string m_ServerKey;
    std::string m_ServerCertWithIp;
    std::string m_ServerCertNameOnly;
    std::string m_SelfSignedCert;
};

// Made with the openssl command line on first use and shared by every server of the process.
// Nothing, with error set, when openssl failed.
const CertificateSet* ThrowawayCertificates(std::string& error);

class CDovecotServer {
public:
    // What the server certificate names. kLocalhostAndIp is what clients normally see; a
    // server started with kLocalhostOnly lets a test connect to 127.0.0.1 with a certificate
    // that does not name that address. kSelfSigned: the certificate that no CA signed.
    enum class ECertificateNames { kLocalhostAndIp, kLocalhostOnly, kSelfSigned };

    // kOff: no TLS at all (CAPA lists no STLS, no TLS port), for plain-text figures and the
    // plain logon path.
    enum class ETls { kOffered, kOff };

    explicit CDovecotServer(ECertificateNames names = ECertificateNames::kLocalhostAndIp,
                            ETls tls = ETls::kOffered);
    ~CDovecotServer();  // Stop()
    CDovecotServer(const CDovecotServer&) = delete;
    CDovecotServer& operator=(const CDovecotServer&) = delete;

    // Before Start: a mailbox with its password and its messages, message 1 first. Texts may
    // use LF or CR LF line ends; they are stored the way Dovecot keeps them (LF). A name or
    // password holding ':' or a line end makes Start fail.
    void AddUser(const std::string& name, const std::string& password,
                 std::vector<std::string> messages = {});

    // Writes the configuration, certificates and mailboxes, launches dovecot and waits until
    // both ports accept connections. False with Error() set (the log's tail included) when the
    // server did not come up; nothing is left running or on disk then.
    bool Start();
    // Stops dovecot (SIGTERM, then SIGKILL after a few seconds), reaps it and removes the
    // folder. Safe to call twice.
    void Stop();
    // The process was started and has not exited.
    bool IsRunning();
    const std::string& Error() const { return m_Error; }

    int PlainPort() const { return m_PlainPort; }
    int TlsPort() const { return m_TlsPort; }  // nothing listens there with ETls::kOff
    pid_t Pid() const { return m_Pid; }
    // The private folder (no trailing '/'); empty before Start and after Stop.
    const std::string& Folder() const { return m_Folder; }
    // The CA that signed the server certificate, and an unrelated one that did not.
    std::string CaFile() const;
    std::string OtherCaFile() const;

    // Messages waiting in the user's maildir (cur/ and new/); -1 when it cannot be read.
    long MessageCount(const std::string& user) const;
    // Delivers one more message while running; it is seen from the next logon on.
    bool AddMessage(const std::string& user, const std::string& text);

    // The log (and dovecot's own standard error), whole or its last lines. After Stop they hold
    // what the log said at the end.
    std::string LogText() const;
    std::string LogTail(std::size_t lines = 40) const;
    // Waits until the log, from byte offset on, holds needle. For facts dovecot writes after
    // the client has gone, such as the line that ends a connection.
    bool WaitForLog(std::string_view needle, std::size_t offset,
                    std::chrono::milliseconds limit = std::chrono::seconds(10)) const;

    // The size a POP3 server reports for the text (every line end counted as CR LF); the text
    // as the server holds it for a client, with CR LF line ends; and the text as RETR sends it
    // after the "+OK" line: lines starting with '.' stuffed, ended by ".\r\n".
    static std::size_t WireSize(std::string_view text);
    static std::string HeldForm(std::string_view text);
    static std::string RetrWireForm(std::string_view text);

private:
    struct User {
        std::string m_Name;
        std::string m_Password;
        std::vector<std::string> m_Messages;
    };

    bool StartOnce(std::string& error);
    bool WriteFiles(std::string& error);
    bool StockMailbox(const User& user, std::string& error);
    bool WriteMessage(const std::string& directory, const std::string& tmpDirectory,
                      std::string_view text, bool isNew, std::string& error);
    bool Launch(std::string& error);
    bool WaitUntilListening(std::string& error);
    void Kill();
    void RemoveFolder();
    std::string MaildirOf(const std::string& user) const;

    ECertificateNames m_Names;
    ETls m_Tls;
    std::vector<User> m_Users;
    std::string m_Folder;
    std::string m_Error;
    std::string m_FinalLog;
    int m_PlainPort = 0;
    int m_TlsPort = 0;
    pid_t m_Pid = -1;
    // Stocked file names carry increasing times: Dovecot numbers new messages in time order.
    long long m_NextTime = 0;
    long long m_NextSequence = 0;
};

}  // namespace sieveclaw::test
