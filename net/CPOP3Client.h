#pragma once

#include <chrono>
#include <map>
#include <string>
#include <string_view>

#include "core/StatusSink.h"
#include "mail/CEmailMsg.h"
#include "net/CSocket.h"

namespace sieveclaw {

class CPop3ReplyReader;

// The client side of POP3 for one mailbox: USER/PASS logon (over TLS as the account's connection
// security asks), statistics, sizes, headers, whole messages, deletion, QUIT. Used by one thread
// only.
//
// Every reply is read whole (status line, and for CAPA, TOP and RETR the lines up to the end
// marker) and counts as success only when it starts with "+OK". A session that deletes on a
// server trusts nothing it did not read whole: after a reply that did not arrive whole in time,
// a connection that broke, or a reply the command does not expect, the session is over. The
// connection is closed and no further command (no DELE, no QUIT) is sent on it; m_SessionError
// says why. A "-ERR" to TOP, LIST, RETR or DELE is an answer read whole: it refuses that command
// only.
//
// Every wait has an overall deadline: a reply must be whole within the Timeout; a download gets
// the Timeout plus one second for every kSlowestHonestRate bytes that LIST announced.
class CPOP3Client {
public:
    // The slowest link a real server is still given the time for: 4 KiB a second (about 32
    // kbit/s, slower than any dial-up line in use). A 1 MiB message may take the Timeout plus
    // 256 seconds to arrive.
    static constexpr long long kSlowestHonestRate = 4096;
    // Slack above what LIST announced before a download counts as endless: servers that count
    // line ends as LF, and the end of a header rewritten on the way out.
    static constexpr long long kDownloadSlack = 64 * 1024;
    // The most a download may grow to, announced or not.
    static constexpr long long kDownloadCeiling = 256LL * 1024 * 1024;
    // A STAT count above this is no mailbox but a broken or hostile server.
    static constexpr long long kMostMessages = 1'000'000;

    explicit CPOP3Client(CTransportOptions options = {});
    ~CPOP3Client();  // closes the socket; sends no QUIT
    CPOP3Client(const CPOP3Client&) = delete;
    CPOP3Client& operator=(const CPOP3Client&) = delete;

    void SetNotifyWindow(CStatusSink* sink) { m_NotifyWindow = sink; }

    // True when logged on. On a refused password m_LastError holds the server's text (after
    // "-ERR"); on a TLS failure, a connection security the server cannot give, or a host name
    // that does not resolve, a sentence naming the reason. m_SessionError names the reason of
    // every failure. A user name or password holding a line break sends nothing.
    bool Logon(const std::string& host, const std::string& user, const std::string& password, int port);
    // Sends STAT; returns the count. count and size stay as given when not logged on or when the
    // reply is not a plain count and size (the session is then over).
    long long GetStats(long long& count, long long& size);
    // LIST n: the size in octets, remembered as the bound of a later GetMessage(n). 0 when the
    // server refused (its text in m_LastError) or the session ended.
    long long GetMessageSize(int n);
    // TOP n 0 into the four header fields, and into headerBlock when given (the header as the
    // server holds it, with the blank line that ends it). False on "-ERR" (the record untouched,
    // the line kept in m_LastError) or when the session ended.
    bool GetHeader(int n, CEmailMsg& message, std::string* headerBlock = nullptr);
    // RETR n into m_Body and m_RawText: the message as the server holds it, dot-unstuffed,
    // without the end marker, CR LF line ends. True only when it arrived whole; otherwise the
    // record keeps its texts.
    bool GetMessage(int n, CEmailMsg& message);
    // DELE n. True on "+OK"; a refusal is kept in m_LastError.
    bool DeleteMessage(int n);
    // QUIT when logged on and the session still holds, then close. Always 0. m_QuitAccepted
    // tells whether the server confirmed it (only then do this session's deletions take effect).
    int Logoff();

    // A fault or a stop ended the session early; m_SessionError says why.
    bool SessionOver() const { return m_SessionOver; }

    // One whole CR LF line (CR LF included); 0 with an empty line once the Timeout has passed,
    // -1 when the connection died. Bytes after the line stay buffered.
    int SockRecvLine(std::string& line);

    int m_Connected = 0;
    CStatusSink* m_NotifyWindow = nullptr;
    std::string m_LastError;
    // Why the logon failed or the session ended before its work was done, for people; empty
    // while all is well.
    std::string m_SessionError;
    bool m_QuitAccepted = false;
    CSocket m_Sock;

    // Pause between connect attempts that fail because the name does not resolve; the logon
    // tries 240 times.
    std::chrono::milliseconds m_RetryPause{500};

private:
    enum class EReadOutcome { kComplete, kTimedOut, kClosed, kTooLong, kStopped };
    using Clock = std::chrono::steady_clock;

    bool ConnectWithTries(const std::string& host, int port);
    bool StartTlsIfOffered(const std::string& host);
    bool StartTls(const std::string& host);
    // Keeps reason as the error of the failed logon, closes the connection, returns false.
    bool FailLogon(const std::string& reason);
    // Sends command (none when empty) and reads the reply whole by deadline. False when it did
    // not come whole: the session is then over, with the reason naming what.
    bool Exchange(std::string_view command, std::string_view what, CPop3ReplyReader& reply,
                  Clock::time_point deadline, bool postProgress = false);
    EReadOutcome ReadReply(CPop3ReplyReader& reply, Clock::time_point deadline, bool postProgress);
    // The session is over: the reason is kept, the connection closed, nothing more is sent.
    void EndSession(const std::string& reason);
    // Ends the session over a reply the command does not expect.
    void EndOnUnexpected(std::string_view what, const CPop3ReplyReader& reply);
    // Commands may still be sent: connected, and no fault or stop ended the session.
    bool CanSend() const;
    // Bytes have come that no command asked for yet.
    bool HoldsUnaskedBytes();
    Clock::time_point ReplyDeadline() const;

    bool m_SessionOver = false;
    bool m_Stopped = false;
    std::map<int, long long> m_ListedSizes;  // LIST n answers of this session
};

}  // namespace sieveclaw
