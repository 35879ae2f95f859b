#include "net/CSocket.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <mutex>

#include "net/SocketErrorText.h"
#include "net/TlsSession.h"

namespace sieveclaw {

namespace {

// One FillNow reads at most this much, so a fast sender cannot keep the reader in the loop.
constexpr std::size_t kReadChunk = 64 * 1024;
constexpr std::size_t kMaxReadsPerFill = 4;

void FailWithErrno(int error) { SetLastSocketError(WsaErrorFromErrno(error)); }

// A peer that resets the connection while TLS writes must not kill the program; plain sends use
// MSG_NOSIGNAL, but OpenSSL's socket writes cannot.
void IgnoreSigPipeOnce() {
    static std::once_flag once;
    std::call_once(once, [] { std::signal(SIGPIPE, SIG_IGN); });
}

}  // namespace

CSocket::CSocket(CTransportOptions options) : m_Options(std::move(options)) {}

CSocket::~CSocket() { Close(); }

bool CSocket::Create() {
    IgnoreSigPipeOnce();
    m_Valid = true;
    m_Failed = false;
    m_Dead = false;
    return true;
}

void CSocket::RunWaitHook() const {
    if (m_Options.m_WaitHook) {
        m_Options.m_WaitHook();
    }
}

bool CSocket::WaitFor(short events, std::chrono::milliseconds slice) const {
    pollfd entry{m_Fd, events, 0};
    const int timeout = static_cast<int>(std::min(slice, kPollSlice).count());
    const int ready = ::poll(&entry, 1, timeout);
    RunWaitHook();
    return ready > 0;
}

bool CSocket::Connect(const std::string& host, int port) {
    m_LookupFailed = false;
    if (!m_Valid) {
        SetLastSocketError(10038);
        return false;
    }
    if (m_Fd >= 0) {
        SetLastSocketError(kWsaIsConnected);
        return false;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (host.empty() || ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found) != 0 || found == nullptr) {
        m_LookupFailed = true;
        SetLastSocketError(kWsaInvalid);
        return false;
    }
    std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> addresses(found, &::freeaddrinfo);

    // A host that never answers must not hold the thread longer than any reply may take.
    const auto deadline = std::chrono::steady_clock::now() + m_Options.TimeoutAtLeastOneUnit();
    // A name may stand for several addresses ("localhost": ::1 and 127.0.0.1); the first that
    // accepts wins.
    int lastError = ECONNREFUSED;
    for (const addrinfo* address = addresses.get(); address != nullptr; address = address->ai_next) {
        const int fd = ::socket(address->ai_family, address->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                                address->ai_protocol);
        if (fd < 0) {
            lastError = errno;
            continue;
        }
        m_Fd = fd;
        int result = ::connect(fd, address->ai_addr, address->ai_addrlen);
        if (result != 0 && errno == EINPROGRESS) {
            bool ready = false;
            while (!ready && !m_Options.StopRequested() && std::chrono::steady_clock::now() < deadline) {
                ready = WaitFor(POLLOUT, kPollSlice);
            }
            if (!ready) {
                ::close(fd);
                m_Fd = -1;
                SetLastSocketError(m_Options.StopRequested() ? kWsaCancelled : kWsaTimedOut);
                return false;
            }
            int error = 0;
            socklen_t length = sizeof error;
            ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length);
            result = error == 0 ? 0 : -1;
            errno = error;
        }
        if (result == 0) {
            const int on = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            return true;
        }
        lastError = errno;
        ::close(fd);
        m_Fd = -1;
    }
    FailWithErrno(lastError);
    return false;
}

bool CSocket::MaySendOn(std::chrono::steady_clock::time_point lastProgress) {
    const auto now = std::chrono::steady_clock::now();
    const auto stall = std::max(m_Options.TimeoutDuration(), m_Options.m_TimeoutUnit);
    if (now < m_Deadline && now - lastProgress < stall) {
        return true;
    }
    m_Failed = true;
    SetLastSocketError(kWsaTimedOut);
    return false;
}

int CSocket::Send(std::string_view text) {
    if (m_Fd < 0) {
        SetLastSocketError(10038);
        return -1;
    }
    // A peer that stops reading fills the socket; without a bound the sender would wait forever.
    auto lastProgress = std::chrono::steady_clock::now();
    std::size_t sent = 0;
    while (sent < text.size()) {
        if (m_Tls) {
            std::size_t count = 0;
            switch (m_Tls->Write(text.data() + sent, text.size() - sent, count)) {
                case CTlsSession::EResult::kDone:
                    sent += count;
                    lastProgress = std::chrono::steady_clock::now();
                    break;
                case CTlsSession::EResult::kWantRead:
                    WaitFor(POLLIN, kPollSlice);
                    if (!MaySendOn(lastProgress)) {
                        return -1;
                    }
                    break;
                case CTlsSession::EResult::kWantWrite:
                    WaitFor(POLLOUT, kPollSlice);
                    if (!MaySendOn(lastProgress)) {
                        return -1;
                    }
                    break;
                case CTlsSession::EResult::kClosed:
                    m_Failed = true;
                    SetLastSocketError(kWsaConnReset);
                    return -1;
            }
            continue;
        }
        const ssize_t count = ::send(m_Fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
        if (count > 0) {
            sent += static_cast<std::size_t>(count);
            lastProgress = std::chrono::steady_clock::now();
        } else if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
            WaitFor(POLLOUT, kPollSlice);
            if (!MaySendOn(lastProgress)) {
                return -1;
            }
        } else {
            FailWithErrno(errno);
            m_Failed = true;
            return -1;
        }
    }
    return static_cast<int>(sent);
}

void CSocket::Close() {
    if (m_Tls) {
        m_Tls->Shutdown();
        m_Tls.reset();
    }
    if (m_Fd >= 0) {
        ::close(m_Fd);
        m_Fd = -1;
    }
    m_Valid = false;
    m_ReadBuf.clear();
    m_ReadPos = 0;
}

bool CSocket::StartTls(const std::string& host, std::string& error) {
    if (m_Fd < 0) {
        error = "There is no connection to " + host + " to secure.";
        return false;
    }
    // Bytes that arrived before the handshake were not protected; a server that sends them is
    // broken or someone injected them, and they must not be read as if they came over TLS.
    if (!Buffered().empty()) {
        error = "The server " + host + " sent unexpected data before the secure connection began.";
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + m_Options.TimeoutAtLeastOneUnit();
    m_Tls = CTlsSession::Handshake(
        m_Fd, host, m_Options,
        [this](short events) {
            WaitFor(events, kPollSlice);
            return !m_Options.StopRequested();
        },
        deadline, error);
    return m_Tls != nullptr;
}

std::string CSocket::TlsDescription() const { return m_Tls ? m_Tls->Description() : std::string(); }

long CSocket::ReadSome(char* into, std::size_t room) {
    if (m_Tls) {
        std::size_t count = 0;
        switch (m_Tls->Read(into, room, count)) {
            case CTlsSession::EResult::kDone:
                return static_cast<long>(count);
            case CTlsSession::EResult::kWantRead:
            case CTlsSession::EResult::kWantWrite:
                return 0;
            case CTlsSession::EResult::kClosed:
                return -1;
        }
        return -1;
    }
    for (;;) {
        const ssize_t count = ::recv(m_Fd, into, room, MSG_DONTWAIT);
        if (count > 0) {
            return static_cast<long>(count);
        }
        if (count == 0) {
            return -1;  // orderly close by the peer
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            SetLastSocketError(kWsaWouldBlock);
            return 0;
        }
        FailWithErrno(errno);
        return -1;
    }
}

long CSocket::FillNow() {
    if (m_Fd < 0 || m_Failed) {
        return -1;
    }
    if (m_ReadPos > 0 && m_ReadPos >= m_ReadBuf.size() / 2) {
        m_ReadBuf.erase(0, m_ReadPos);
        m_ReadPos = 0;
    }
    long added = 0;
    if (!m_Scratch) {
        m_Scratch = std::make_unique<char[]>(kReadChunk);
    }
    for (std::size_t reads = 0; reads < kMaxReadsPerFill; ++reads) {
        const long count = ReadSome(m_Scratch.get(), kReadChunk);
        if (count > 0) {
            m_ReadBuf.append(m_Scratch.get(), static_cast<std::size_t>(count));
        }
        if (count < 0) {
            m_Failed = true;
            return added > 0 ? added : -1;
        }
        if (count == 0) {
            break;
        }
        added += count;
        // A short read drained what the kernel held; asking again would only hear "would block".
        if (static_cast<std::size_t>(count) < kReadChunk && !(m_Tls && m_Tls->HasPending())) {
            break;
        }
    }
    return added;
}

void CSocket::WaitReadable(std::chrono::milliseconds slice) {
    if (m_Fd < 0 || m_Failed || !Buffered().empty() || (m_Tls && m_Tls->HasPending())) {
        return;
    }
    WaitFor(POLLIN, slice);
}

std::string_view CSocket::Buffered() const {
    return std::string_view(m_ReadBuf).substr(m_ReadPos);
}

void CSocket::Consume(std::size_t count) {
    m_ReadPos += std::min(count, m_ReadBuf.size() - m_ReadPos);
    if (m_ReadPos == m_ReadBuf.size()) {
        m_ReadBuf.clear();
        m_ReadPos = 0;
    }
}

void CSocket::MarkDead() {
    m_Dead = true;
    m_Failed = true;
    SetLastSocketError(kWsaConnReset);
}

}  // namespace sieveclaw
