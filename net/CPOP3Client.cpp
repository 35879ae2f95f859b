#include "net/CPOP3Client.h"

#include <thread>

#include "core/ActivityLog.h"
#include "mail/HeaderFields.h"
#include "net/Pop3Replies.h"
#include "net/ReadComplete.h"
#include "net/SockRecv.h"
#include "net/SocketErrorText.h"

namespace sieveclaw {

namespace {

constexpr int kMaxConnectTries = 240;
constexpr int kOneShotCapacity = 512;
constexpr int kStatCapacity = 1024;
constexpr int kChunkCapacity = 1024;
// A line or header block this long without its end is not a mail server talking.
constexpr std::size_t kMaxReplyBytes = 16u * 1024 * 1024;

using Clock = std::chrono::steady_clock;

bool TimedOut(Clock::time_point start, const CSocket& sock) {
    return Clock::now() - start >= sock.Options().TimeoutDuration();
}

bool HoldsLineBreak(const std::string& text) {
    return text.find_first_of("\r\n") != std::string::npos;
}

}  // namespace

CPOP3Client::CPOP3Client(CTransportOptions options) : m_Sock(std::move(options)) {
    WriteActivityLog("CPOP3Client - Creating socket");
    if (!m_Sock.Create()) {
        WriteActivityLog2("CPOP3Client - ", SocketErrorText(0));
    }
}

CPOP3Client::~CPOP3Client() {
    WriteActivityLog("CPOP3Client - destructor");
    m_Sock.Close();
}

void CPOP3Client::SendCommand(std::string_view command) {
    m_Sock.Send(command);
}

int CPOP3Client::ReadOneShot(char* buffer, int capacity) {
    return SockRecv(m_Sock, buffer, capacity, true);
}

bool CPOP3Client::Logon(const std::string& host, const std::string& user, const std::string& password, int port) {
    // A line break would let the text end the command and start another one of its choosing.
    if (HoldsLineBreak(user) || HoldsLineBreak(password)) {
        m_LastError = "The user name or password holds a line break.";
        WriteActivityLog("CPOP3Client::Logon - refused a user name or password with a line break");
        return false;
    }
    int tries = 0;
    bool keepTrying = true;
    while (m_Connected == 0 && keepTrying) {
        WriteActivityLog("CPOP3Client::Logon - Connecting");
        if (!m_Sock.IsValid()) {
            WriteActivityLog("CPOP3Client::Logon - Creating socket");
            if (!m_Sock.Create()) {
                WriteActivityLog2("CPOP3Client::Logon - ", SocketErrorText(0));
            }
        }
        if (!m_Sock.Connect(host, port)) {
            const int code = GetLastSocketError();
            WriteActivityLog2("CPOP3Client::Logon - ", SocketErrorText(code));
            if (code == kWsaInvalid) {
                for (auto waited = std::chrono::milliseconds::zero(); waited < m_RetryPause; waited += kPollSlice) {
                    std::this_thread::sleep_for(std::min<std::chrono::milliseconds>(m_RetryPause - waited, kPollSlice));
                    m_Sock.RunWaitHook();
                }
                ++tries;
            } else {
                keepTrying = false;
            }
        } else {
            WriteActivityLog("CPOP3Client::Logon - Connected");
            m_Connected = 0;
            const bool implicitTls = m_Sock.Options().IsImplicitTlsPort(port);
            if (implicitTls && !StartTls(host)) {
                return false;
            }
            char reply[kOneShotCapacity];
            ReadOneShot(reply, kOneShotCapacity);  // the greeting says nothing we act on
            if (!implicitTls && !StartTlsIfOffered(host)) {
                return false;
            }
            SendCommand("USER " + user + "\r\n");
            ReadOneShot(reply, kOneShotCapacity);
            if (IsOkReply(reply)) {
                SendCommand("PASS " + password + "\r\n");
                ReadOneShot(reply, kOneShotCapacity);
                if (IsOkReply(reply)) {
                    m_Connected = 1;
                } else if (IsErrReply(reply)) {
                    m_LastError = reply + 4;
                    WriteActivityLog("CPOP3Client::Logon - Logon failed.  Logging off");
                    Logoff();
                    return false;
                }
            }
        }
        if (tries >= kMaxConnectTries) {
            break;
        }
    }
    if (tries >= kMaxConnectTries) {
        WriteActivityLog2("CPOP3Client::Logon - unable to connect: ", SocketErrorText(0));
    }
    WriteActivityLog("CPOP3Client::Logon - leaving");
    return m_Connected != 0;
}

// Servers that offer STLS get the password only over TLS. A server that lists STLS and then
// refuses it ends the logon: going on in plain text would hand the password to whoever stripped
// the upgrade.
bool CPOP3Client::StartTlsIfOffered(const std::string& host) {
    WriteActivityLog("CPOP3Client::Logon - sending CAPA");
    SendCommand("CAPA\r\n");
    std::string line;
    if (SockRecvLine(line) <= 0 || !IsOkReply(line)) {
        WriteActivityLog("CPOP3Client::Logon - no capabilities, going on without TLS");
        return true;
    }
    std::string capabilities;
    for (;;) {
        if (SockRecvLine(line) <= 0) {
            return FailLogon("The server " + host + " stopped answering while it listed its capabilities.");
        }
        if (line == ".\r\n") {
            break;
        }
        capabilities += line;
        if (capabilities.size() > kMaxReplyBytes) {
            m_Sock.MarkDead();
            return FailLogon("The server " + host + " sent an endless list of capabilities.");
        }
    }
    if (!CapaListsStls(capabilities)) {
        WriteActivityLog("CPOP3Client::Logon - server does not offer STLS, going on without TLS");
        return true;
    }
    WriteActivityLog("CPOP3Client::Logon - sending STLS");
    SendCommand("STLS\r\n");
    if (SockRecvLine(line) <= 0 || !IsOkReply(line)) {
        return FailLogon("The server " + host + " offers a secure connection (STLS) but refused to start it: " +
                         (IsErrReply(line) ? line.substr(4) : line));
    }
    return StartTls(host);
}

bool CPOP3Client::StartTls(const std::string& host) {
    WriteActivityLog("CPOP3Client::Logon - Starting TLS");
    std::string error;
    if (!m_Sock.StartTls(host, error)) {
        return FailLogon(error);
    }
    WriteActivityLog2("CPOP3Client::Logon - TLS established: ", m_Sock.TlsDescription());
    return true;
}

bool CPOP3Client::FailLogon(const std::string& reason) {
    m_LastError = reason;
    WriteActivityLog2("CPOP3Client::Logon - TLS failed: ", reason);
    WriteActivityLog("CPOP3Client::Logon - Logon failed.  Logging off");
    Logoff();
    return false;
}

long long CPOP3Client::GetStats(long long& count, long long& size) {
    WriteActivityLog("CPOP3Client::GetStats - entered");
    if (m_Connected != 0) {
        SendCommand("STAT\r\n");
        char reply[kStatCapacity];
        SockRecv(m_Sock, reply, kStatCapacity, true);
        const Pop3Stats stats = ParseStatReply(reply);
        count = stats.m_Count;
        size = stats.m_Size;
        WriteActivityLog("CPOP3Client::GetStats - got stats");
    }
    WriteActivityLog("CPOP3Client::GetStats - leaving");
    return count;
}

long long CPOP3Client::GetMessageSize(int n) {
    SendCommand("LIST " + std::to_string(n) + "\r\n");
    std::string line;
    SockRecvLine(line);
    return ParseListReply(line);
}

void CPOP3Client::GetHeader(int n, CEmailMsg& message) {
    const auto start = Clock::now();
    WriteActivityLog("CPOP3Client::GetHeader - entered");
    SendCommand("TOP " + std::to_string(n) + " 0\r\n");
    std::string line;
    SockRecvLine(line);
    WriteActivityLog("CPOP3Client::GetHeader - sent TOP");
    if (IsErrReply(line)) {
        WriteActivityLog2("CPOP3Client::GetHeader - TOP return an error:", line);
        WriteActivityLog("CPOP3Client::GetHeader - leaving prematurely");
        m_LastError = line;
        return;
    }
    std::string header;
    bool giveUp = false;
    while (!EndsWithEndMarker(header)) {
        if (IsSocketDead(m_Sock) || giveUp) {
            break;
        }
        SockRecvLine(line);
        header += line;
        if (header.size() > kMaxReplyBytes) {
            m_Sock.MarkDead();
            break;
        }
        if (line.empty() && TimedOut(start, m_Sock)) {
            giveUp = true;
        }
    }
    ExtractHeaderFields(header, message);
    WriteActivityLog("CPOP3Client::GetHeader - leaving");
}

void CPOP3Client::GetMessage(int n, CEmailMsg& message) {
    const auto start = Clock::now();
    WriteActivityLog("CPOP3Client::GetMessage - entered");
    if (m_Connected != 0) {
        SendCommand("RETR " + std::to_string(n) + "\r\n");
        std::string line;
        SockRecvLine(line);
        WriteActivityLog("CPOP3Client::GetMessage - sent RETR and got the response");
        WriteActivityLog2("CPOP3Client::GetMessage - ", line);
        if (IsErrReply(line)) {
            return;
        }
        std::string text;
        long long total = 0;
        bool giveUp = false;
        char chunk[kChunkCapacity];
        while (!EndsWithEndMarker(text)) {
            if (IsSocketDead(m_Sock) || giveUp) {
                break;
            }
            WriteActivityLog("CPOP3Client::GetMessage - calling SockRecv");
            // The count, not the text length: a NUL byte in a message must not cut the chunk.
            const int received = SockRecv(m_Sock, chunk, kChunkCapacity, true);
            WriteActivityLog("CPOP3Client::GetMessage - back from SockRecv");
            if (received < 0) {
                WriteActivityLog("CPOP3Client::GetMessage - Socket is dead!!! Closing socket");
                m_Connected = 0;
                m_Sock.Close();
                WriteActivityLog("CPOP3Client::GetMessage - Socket is closed");
                return;
            }
            if (received > 0) {
                const std::string_view piece(chunk, static_cast<std::size_t>(received));
                WriteActivityLog("CPOP3Client::GetMessage - data received.  Adding to the list");
                total += received;
                if (m_NotifyWindow != nullptr) {
                    m_NotifyWindow->PostStatus(kStatusBytesDownloaded, total);
                }
                text += piece;
                m_Sock.RunWaitHook();
                WriteActivityLog("CPOP3Client::GetMessage - looking for end of msg marker.");
            } else if (TimedOut(start, m_Sock)) {
                giveUp = true;
            }
        }
        WriteActivityLog("CPOP3Client::GetMessage - assembling data chunks");
        if (total > 0) {
            // The fields come from the whole text, not from each piece as it arrives: a header line
            // split between two pieces would otherwise be cut (a From of "seat1@" for
            // "seat1@casino.example" lets spam through).
            if (message.m_To.empty() || message.m_From.empty() || message.m_Subject.empty() || message.m_Date.empty()) {
                ExtractHeaderFields(text, message);
            }
            message.m_RawText = text;
            message.m_Body = std::move(text);
            WriteActivityLog("CPOP3Client::GetMessage - done assembling");
        }
    }
    WriteActivityLog("CPOP3Client::GetMessage - leaving");
}

void CPOP3Client::DeleteMessage(int n) {
    WriteActivityLog("CPOP3Client::DeleteMessage - entered");
    if (m_Connected == 0) {
        return;
    }
    SendCommand("DELE " + std::to_string(n) + "\r\n");
    std::string line;
    SockRecvLine(line);
    WriteActivityLog("CPOP3Client::DeleteMessage - sent DELE and received response");
    WriteActivityLog2("CPOP3Client::DeleteMessage - Response=", line);
    if (!line.empty() && !IsOkReply(line)) {
        m_LastError = line.size() > 4 ? line.substr(4) : std::string();
    }
}

int CPOP3Client::Logoff() {
    WriteActivityLog("CPOP3Client::Logoff - entered");
    if (m_Connected != 0) {
        WriteActivityLog("CPOP3Client::Logon - sending QUIT");
        SendCommand("QUIT\r\n");
        char reply[kOneShotCapacity];
        ReadOneShot(reply, kOneShotCapacity);
        WriteActivityLog2("CPOP3Client::Logoff - ", reply);
    }
    m_Connected = 0;
    m_Sock.Close();
    WriteActivityLog("CPOP3Client::Logoff - leaving");
    return 0;
}

int CPOP3Client::SockRecvLine(std::string& line) {
    line.clear();
    WriteActivityLog("CPOP3Client::SockRecvLine - entering");
    const auto findLineEnd = [](std::string_view ready, std::size_t scannedFrom) {
        // One byte back: the CR of a CR LF may have been the last byte looked at.
        const std::size_t end = ready.find("\r\n", scannedFrom > 0 ? scannedFrom - 1 : 0);
        return end == std::string_view::npos ? end : end + 2;
    };
    std::size_t length = 0;
    const EReadComplete outcome = ReadComplete(m_Sock, findLineEnd, kMaxReplyBytes, length);
    if (outcome == EReadComplete::kTimedOut) {
        WriteActivityLog("CPOP3Client::SockRecvLine - timed out");
        return 0;
    }
    if (outcome == EReadComplete::kTooLong) {
        WriteActivityLog("CPOP3Client::SockRecvLine - line too long, giving up on the connection");
    } else if (outcome == EReadComplete::kClosed) {
        // The peer closed in the middle of a line: take what came, the line will not end.
        line.assign(m_Sock.Buffered());
        m_Sock.Consume(line.size());
    }
    if (outcome != EReadComplete::kComplete) {
        WriteActivityLogF("CPOP3Client::SockRecvLine - Socket Died: Error %ld : '%s'",
                          static_cast<long>(GetLastSocketError()), SocketErrorText(0).c_str());
        return -1;
    }
    line.assign(m_Sock.Buffered().substr(0, length));
    m_Sock.Consume(length);
    WriteActivityLogF("CPOP3Client::SockRecvLine - Received data: Offset %d : '%s'", static_cast<int>(line.size()),
                      line.c_str());
    WriteActivityLogF("CPOP3Client::SockRecvLine - leaving: '%s'", line.c_str());
    return static_cast<int>(line.size());
}

}  // namespace sieveclaw
