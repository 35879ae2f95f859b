#pragma once

#include <chrono>
#include <string>

#include "core/StatusSink.h"
#include "mail/CEmailMsg.h"
#include "net/CSocket.h"

namespace sieveclaw {

// The client side of POP3 for one mailbox: USER/PASS logon (over TLS when the port is an
// implicit-TLS port or the server offers STLS), statistics, sizes, headers, whole messages,
// deletion, QUIT. Used by one thread only. Replies are judged by their first characters; the
// server's error text is kept in m_LastError. Every step writes a trace line.
class CPOP3Client {
public:
    explicit CPOP3Client(CTransportOptions options = {});
    ~CPOP3Client();  // closes the socket; sends no QUIT
    CPOP3Client(const CPOP3Client&) = delete;
    CPOP3Client& operator=(const CPOP3Client&) = delete;

    void SetNotifyWindow(CStatusSink* sink) { m_NotifyWindow = sink; }

    // True when logged on. On a refused password m_LastError holds the server's text (after
    // "-ERR"); on a TLS failure a sentence naming the reason.
    bool Logon(const std::string& host, const std::string& user, const std::string& password, int port);
    // Sends STAT; returns the count (count and size stay as given when not logged on).
    long long GetStats(long long& count, long long& size);
    // LIST n; 0 when the reply cannot be read.
    long long GetMessageSize(int n);
    // TOP n 0 into the four header fields; on "-ERR" the record is untouched and the line kept.
    void GetHeader(int n, CEmailMsg& message);
    // RETR n into m_Body and m_RawText, exactly as it came off the wire after the "+OK" line.
    void GetMessage(int n, CEmailMsg& message);
    // DELE n; a refused reply is kept in m_LastError.
    void DeleteMessage(int n);
    // QUIT when logged on, then close. Always 0.
    int Logoff();

    // One whole CR LF line (CR LF included); 0 with an empty line once the Timeout has passed,
    // -1 when the connection died. Bytes after the line stay buffered.
    int SockRecvLine(std::string& line);

    int m_Connected = 0;
    CStatusSink* m_NotifyWindow = nullptr;
    std::string m_LastError;
    CSocket m_Sock;

    // Pause between connect attempts that fail with 10022 (a failed name look-up); the logon
    // tries 240 times.
    std::chrono::milliseconds m_RetryPause{500};

private:
    bool StartTlsIfOffered(const std::string& host);
    bool StartTls(const std::string& host);
    // Keeps reason as the error the user sees, closes the connection, returns false.
    bool FailLogon(const std::string& reason);
    void SendCommand(std::string_view command);
    int ReadOneShot(char* buffer, int capacity);
};

}  // namespace sieveclaw
