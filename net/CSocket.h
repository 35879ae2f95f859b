#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "net/TransportOptions.h"

namespace sieveclaw {

class CTlsSession;

// The longest a reader sleeps in one poll() before it looks at its time-out and runs the wait
// hook again; data that arrives ends the wait at once.
inline constexpr std::chrono::milliseconds kPollSlice{50};

// The connection object of a mail client: a non-blocking TCP socket, plain or TLS, with its own
// read buffer so that peeking, line reading and the dead test work the same over both. Used by
// the one thread that created it. Failures set the thread's last socket error (Windows Sockets
// numbers, see SocketErrorText.h).
class CSocket {
public:
    explicit CSocket(CTransportOptions options = {});
    ~CSocket();
    CSocket(const CSocket&) = delete;
    CSocket& operator=(const CSocket&) = delete;

    // Marks the object ready to connect; the descriptor itself is made by Connect, once the
    // address family is known, so descriptor failures surface there.
    bool Create();
    bool IsValid() const { return m_Valid; }

    // Resolves host (a failed look-up is 10022, and LookupFailed() says so) and connects, waiting
    // in poll slices for at most the Timeout (then 10060) and no longer once a stop is requested
    // (then 10004). A second connect on a connected object fails with 10056.
    bool Connect(const std::string& host, int port);
    bool LookupFailed() const { return m_LookupFailed; }
    bool IsConnected() const { return m_Fd >= 0; }

    // Sends the whole text, waiting while the socket is full. Returns the bytes sent, or -1 when
    // the connection failed, when nothing more could be sent for the Timeout (a peer that stopped
    // reading), or once the deadline has passed; the last two fail the connection with 10060.
    int Send(std::string_view text);

    // From this moment on every wait gives up: Send fails and a read wait ends (ReadComplete
    // reports a time-out). The default is no deadline.
    void SetDeadline(std::chrono::steady_clock::time_point deadline) { m_Deadline = deadline; }
    bool IsPastDeadline() const { return std::chrono::steady_clock::now() >= m_Deadline; }

    // Closes the descriptor (and TLS) and makes the object invalid. Buffered data is dropped.
    void Close();

    // Runs the TLS handshake over the connected socket and verifies the peer's certificate
    // chain and host name. On failure returns false with a sentence naming the reason in error.
    bool StartTls(const std::string& host, std::string& error);
    bool IsTls() const { return m_Tls != nullptr; }
    // "TLSv1.3, TLS_AES_256_GCM_SHA384" once TLS is up.
    std::string TlsDescription() const;

    // --- reading ---------------------------------------------------------------------------
    // Reads what the network has ready into the read buffer without waiting. Returns the bytes
    // added, 0 when nothing was ready, -1 when the peer closed or the connection failed.
    long FillNow();
    // Waits up to slice (at most 50 ms at a time) until data is ready to read, running the wait
    // hook between slices. Returns as soon as data is ready.
    void WaitReadable(std::chrono::milliseconds slice);
    // Waiting bytes not yet taken.
    std::string_view Buffered() const;
    // Removes count bytes from the front of the read buffer.
    void Consume(std::size_t count);
    // The peer closed or the connection failed; bytes already buffered may still be taken.
    bool HasFailed() const { return m_Failed; }
    // Declared dead by MarkDead: nothing more is to be read from it.
    bool IsMarkedDead() const { return m_Dead; }
    // Used when a reply grows past every sane bound: the connection counts as dead from now on.
    void MarkDead();

    const CTransportOptions& Options() const { return m_Options; }
    void RunWaitHook() const;

private:
    bool WaitFor(short events, std::chrono::milliseconds slice) const;
    // After a wait of Send: false (the connection failed with 10060) when the deadline has passed
    // or nothing was sent since lastProgress for the Timeout.
    bool MaySendOn(std::chrono::steady_clock::time_point lastProgress);
    long ReadSome(char* into, std::size_t room);

    CTransportOptions m_Options;
    int m_Fd = -1;
    bool m_Valid = false;
    bool m_Failed = false;
    bool m_Dead = false;
    bool m_LookupFailed = false;
    std::chrono::steady_clock::time_point m_Deadline = std::chrono::steady_clock::time_point::max();
    std::unique_ptr<CTlsSession> m_Tls;
    // Bytes received and not yet taken: m_ReadBuf[m_ReadPos, end).
    std::string m_ReadBuf;
    std::size_t m_ReadPos = 0;
    std::unique_ptr<char[]> m_Scratch;  // where each read lands before it joins m_ReadBuf
};

}  // namespace sieveclaw
