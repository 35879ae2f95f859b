#include "tests/support/DelayProxy.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <deque>
#include <string>

namespace sieveclaw::test {

namespace {

using Clock = std::chrono::steady_clock;

// How long a wait may last before the relay looks at the stop flag again.
constexpr int kStopCheckMillis = 50;

sockaddr_in Loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    return address;
}

// Small writes must not wait for one another on top of the delay we add on purpose.
void SetNoDelay(int fd) {
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
}

int ConnectTo(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return -1;
    }
    const sockaddr_in address = Loopback(port);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
        ::close(fd);
        return -1;
    }
    SetNoDelay(fd);
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    return fd;
}

struct Chunk {
    Clock::time_point m_Due;
    std::string m_Bytes;
    std::size_t m_Sent = 0;
};

}  // namespace

// Both sockets of one relayed connection and the two threads that move its bytes. The sockets
// are closed only after both threads have ended, so neither can write into a reused descriptor.
struct CDelayProxy::Link {
    int m_Client = -1;
    int m_Server = -1;
    std::thread m_ToServer;
    std::thread m_ToClient;
    std::atomic<int> m_Running{2};

    ~Link() {
        if (m_ToServer.joinable()) {
            m_ToServer.join();
        }
        if (m_ToClient.joinable()) {
            m_ToClient.join();
        }
        for (const int fd : {m_Client, m_Server}) {
            if (fd >= 0) {
                ::close(fd);
            }
        }
    }
};

CDelayProxy::CDelayProxy(int targetPort, Millis delay) : m_TargetPort(targetPort), m_Delay(delay) {
    m_Listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_in address = Loopback(0);
    socklen_t length = sizeof(address);
    if (m_Listen >= 0 && ::bind(m_Listen, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
        ::listen(m_Listen, 16) == 0 && ::getsockname(m_Listen, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        m_Port = ntohs(address.sin_port);
    }
}

CDelayProxy::~CDelayProxy() {
    Stop();
}

bool CDelayProxy::Start() {
    if (m_Port == 0) {
        return false;
    }
    if (!m_Acceptor.joinable()) {
        m_Acceptor = std::thread([this] { AcceptLoop(); });
    }
    return true;
}

void CDelayProxy::Stop() {
    m_Stopping = true;
    if (m_Acceptor.joinable()) {
        m_Acceptor.join();
    }
    std::vector<std::unique_ptr<Link>> links;
    {
        std::lock_guard lock(m_LinksLock);
        links.swap(m_Links);
    }
    links.clear();  // each Link joins its threads, which see the flag within one wait
    if (m_Listen >= 0) {
        ::close(m_Listen);
        m_Listen = -1;
    }
}

void CDelayProxy::AcceptLoop() {
    while (!m_Stopping) {
        pollfd waiting{m_Listen, POLLIN, 0};
        if (::poll(&waiting, 1, kStopCheckMillis) <= 0) {
            continue;
        }
        const int client = ::accept4(m_Listen, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (client < 0) {
            continue;
        }
        SetNoDelay(client);
        const int server = ConnectTo(m_TargetPort);
        if (server < 0) {
            ::close(client);  // the client sees the refusal as an immediate end
            continue;
        }
        ++m_Connections;
        auto link = std::make_unique<Link>();
        link->m_Client = client;
        link->m_Server = server;
        Link* raw = link.get();
        link->m_ToServer = std::thread([this, raw] {
            Relay(raw->m_Client, raw->m_Server);
            --raw->m_Running;
        });
        link->m_ToClient = std::thread([this, raw] {
            Relay(raw->m_Server, raw->m_Client);
            --raw->m_Running;
        });
        std::lock_guard lock(m_LinksLock);
        // Links whose both directions are done are let go here, so a long run does not pile
        // up descriptors.
        std::erase_if(m_Links, [](const std::unique_ptr<Link>& old) { return old->m_Running.load() == 0; });
        m_Links.push_back(std::move(link));
    }
}

void CDelayProxy::Relay(int from, int to) {
    std::deque<Chunk> queue;
    bool sourceEnded = false;
    std::string buffer(64 * 1024, '\0');
    while (!m_Stopping) {
        if (sourceEnded && queue.empty()) {
            // Pass the end on, so the other side ends its own direction in turn.
            ::shutdown(to, SHUT_WR);
            return;
        }
        const Clock::time_point now = Clock::now();
        const bool frontDue = !queue.empty() && queue.front().m_Due <= now;
        int timeout = kStopCheckMillis;
        if (!queue.empty() && !frontDue) {
            const auto untilDue = std::chrono::ceil<std::chrono::milliseconds>(queue.front().m_Due - now).count();
            timeout = static_cast<int>(std::min<long long>(untilDue, kStopCheckMillis));
        }
        pollfd waits[2] = {{from, static_cast<short>(sourceEnded ? 0 : POLLIN), 0},
                           {to, static_cast<short>(frontDue ? POLLOUT : 0), 0}};
        const int ready = ::poll(waits, 2, frontDue ? kStopCheckMillis : timeout);
        if (ready < 0 && errno != EINTR) {
            return;
        }
        if ((waits[0].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
            const ssize_t got = ::recv(from, buffer.data(), buffer.size(), 0);
            if (got > 0) {
                queue.push_back({Clock::now() + m_Delay, buffer.substr(0, static_cast<std::size_t>(got)), 0});
            } else if (got == 0 || (errno != EAGAIN && errno != EINTR)) {
                sourceEnded = true;
            }
        }
        if ((waits[1].revents & (POLLERR | POLLHUP)) != 0 && (waits[1].revents & POLLOUT) == 0) {
            ::shutdown(from, SHUT_RD);
            return;
        }
        while (!queue.empty() && queue.front().m_Due <= Clock::now()) {
            Chunk& front = queue.front();
            const ssize_t sent =
                ::send(to, front.m_Bytes.data() + front.m_Sent, front.m_Bytes.size() - front.m_Sent, MSG_NOSIGNAL);
            if (sent < 0) {
                if (errno == EAGAIN || errno == EINTR) {
                    break;  // wait for POLLOUT
                }
                // The receiver is gone: stop reading what nobody will get.
                ::shutdown(from, SHUT_RD);
                return;
            }
            front.m_Sent += static_cast<std::size_t>(sent);
            m_BytesRelayed += static_cast<std::size_t>(sent);
            if (front.m_Sent < front.m_Bytes.size()) {
                break;
            }
            queue.pop_front();
        }
    }
}

}  // namespace sieveclaw::test
