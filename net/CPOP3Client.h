#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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
//
// Commands about messages can be queued (Queue) and their answers taken in order (NextAnswer).
// When the server lists PIPELINING, queued commands go out ahead of the answers to earlier ones,
// within a window bounded in bytes; otherwise one at a time, each after the answer to the last.
class CPOP3Client {
public:
    // The commands about one message that can be queued.
    enum class ECommand {
        kTop,       // TOP n 0: the header
        kTopWhole,  // TOP n with every line: the whole message, which the server keeps unread
        kRetr,      // RETR n: the whole message
        kList,      // LIST n: its size
        kDele,      // DELE n
    };
    // The answer to one queued command, read whole.
    struct CAnswer {
        ECommand m_Command = ECommand::kTop;
        int m_Number = 0;
        bool m_Ok = false;     // "+OK"; otherwise "-ERR", whose text is kept in m_LastError
        std::string m_Status;  // the status line as it came
        std::string m_Body;    // TOP and RETR: the text as the server holds it, unstuffed
        long long m_Size = 0;  // LIST: the size in octets
    };

    // Commands sent ahead of their answers never add up to more than this. Every connection
    // buffers at least this much in its kernels (the smallest send buffer Linux allows is 4608
    // bytes), so sending never has to wait for a server that has stopped reading until its own
    // answers are read: a slow reader on either side cannot deadlock the other.
    static constexpr std::size_t kCommandBytesInFlight = 2048;
    // Nor are answers asked for ahead past this many bytes (as far as LIST told their sizes): what
    // a pause or the end of a session must still read is bounded.
    static constexpr std::size_t kAnswerBytesInFlight = 1024 * 1024;
    // "TOP n <lines>" for a whole message: more lines than any message we download has.
    static constexpr long long kAllLines = 999'999'999;

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

    // After the logon: CAPA, unless the server refused it before the logon. Learns whether
    // commands may go out ahead of answers (PIPELINING) and whether messages have unique ids
    // (UIDL); both stay off with CTransportOptions::m_OneCommandAtATime. False when the session
    // ended.
    bool ReadCapabilities();
    bool Pipelining() const { return m_Pipelining; }
    bool OffersUniqueIds() const { return m_UniqueIds; }
    // UIDL: ids[n - 1] is the unique id of message n (see ParseUidlListing). False when the server
    // refused (its text in m_LastError) or the session ended.
    bool GetUniqueIds(long long count, std::vector<std::string>& ids);
    // LIST: sizes[n - 1] is the size of message n, -1 where the listing did not tell; each size
    // becomes the bound of that message's download. False as GetUniqueIds.
    bool GetMessageSizes(long long count, std::vector<long long>& sizes);

    // Queues a command about message n; it goes out with the next NextAnswer the window allows.
    void Queue(ECommand command, int n);
    // Commands queued or sent whose answers have not been taken.
    bool HasOutstanding() const { return !m_Queued.empty() || !m_InFlight.empty(); }
    // Queued commands not sent yet.
    std::size_t Unsent() const { return m_Queued.size(); }
    // The command whose answer NextAnswer gives next; false when there is none.
    bool NextInLine(ECommand& command, int& n) const;
    // Sends what the window allows and reads the answer to the oldest outstanding command. False
    // when it did not come whole, or is no answer to that command: the session is then over and
    // every outstanding command is dropped.
    bool NextAnswer(CAnswer& answer);
    // Ends the session over a fault the caller found in what was answered: nothing more is sent.
    void Abandon(const std::string& reason);
    // The text of a downloaded message into the record: m_RawText, m_Body and, while empty, the
    // four header fields.
    static void FillMessage(std::string text, CEmailMsg& message);
    // QUIT when logged on and the session still holds, then close. Always 0. m_QuitAccepted
    // tells whether the server confirmed it (only then do this session's deletions take effect).
    int Logoff();

    // A fault or a stop ended the session early; m_SessionError says why.
    bool SessionOver() const { return m_SessionOver; }
    // The session ended because an answer did not fit its command: what was read ahead of it
    // may belong to other commands.
    bool OutOfStep() const { return m_OutOfStep; }
    // Commands went out ahead of answers in this session.
    bool SentAhead() const { return m_SentAhead; }

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
    // moreAsked: command asks for more answers than this one, which may follow right behind it.
    bool Exchange(std::string_view command, std::string_view what, CPop3ReplyReader& reply,
                  Clock::time_point deadline, bool postProgress = false, bool moreAsked = false);
    EReadOutcome ReadReply(CPop3ReplyReader& reply, Clock::time_point deadline, bool postProgress);
    // The session is over: the reason is kept, the connection closed, nothing more is sent.
    void EndSession(const std::string& reason);
    void EndOutOfStep(const std::string& reason);
    void ConfirmInStep();
    // Ends the session over a reply the command does not expect.
    void EndOnUnexpected(std::string_view what, const CPop3ReplyReader& reply);
    // Commands may still be sent: connected, and no fault or stop ended the session.
    bool CanSend() const;
    // Bytes have come that no command asked for yet.
    bool HoldsUnaskedBytes();
    Clock::time_point ReplyDeadline() const;
    // A download of message n: the most its answer may hold, and its deadline from now.
    std::size_t DownloadBound(int n) const;
    Clock::time_point DownloadDeadline(int n) const;
    // A listing (UIDL, LIST) of count lines of at most lineBytes each, read whole after sending
    // command (nothing when empty: it was asked for already).
    bool ReadListing(std::string_view command, std::string_view what, long long count, std::size_t lineBytes,
                     std::string& body);
    // Sends the queued commands the window takes; false when the session ended.
    bool SendWindow();
    // Reads the answers of everything sent and drops what is queued, so a QUIT is answered as
    // QUIT; false when the session ended on the way.
    bool DrainAnswers();

    // A queued or sent command.
    struct CRequest {
        ECommand m_Command;
        int m_Number;
        std::string m_Line;           // the command as sent, with its CR LF
        std::size_t m_AnswerBytes;    // how large its answer is expected to be
    };
    static std::string CommandText(ECommand command, int n);

    bool m_SessionOver = false;
    bool m_Stopped = false;
    bool m_CapaRefused = false;  // the server answered CAPA before the logon with "-ERR"
    bool m_OutOfStep = false;
    bool m_SentAhead = false;
    long long m_StatCount = 0;          // STAT's count at the start of the session
    long long m_AcceptedDeletions = 0;  // DELEs answered with "+OK"
    bool m_Pipelining = false;
    bool m_UniqueIds = false;
    std::optional<std::string> m_EarlyIds;  // the UIDL listing read with STAT
    bool m_EarlyIdsRefused = false;         // ... or the server's refusal of it
    std::map<int, long long> m_ListedSizes;  // LIST answers of this session
    std::deque<CRequest> m_Queued;           // not sent yet
    std::deque<CRequest> m_InFlight;         // sent, answer not taken yet
    std::size_t m_CommandBytesInFlight = 0;
    std::size_t m_AnswerBytesInFlight = 0;
};

}  // namespace sieveclaw
