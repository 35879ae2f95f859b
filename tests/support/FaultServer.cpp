#include "tests/support/FaultServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

namespace sieveclaw::test {

namespace {

std::string Shown(const std::string& text) {
    std::string shown;
    for (char c : text) {
        if (c == '\r') {
            shown += "\\r";
        } else if (c == '\n') {
            shown += "\\n";
        } else {
            shown += c;
        }
    }
    return "'" + shown + "'";
}

}  // namespace

CFaultServer::CFaultServer() {
    // On failure Port() stays 0: the client's connect fails and so does the test.
    if (::pipe2(m_Wake, O_CLOEXEC) != 0) {
        return;
    }
    m_Listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof(address);
    if (m_Listen >= 0 && ::bind(m_Listen, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
        ::listen(m_Listen, 8) == 0 && ::getsockname(m_Listen, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        m_Port = ntohs(address.sin_port);
    }
}

CFaultServer::~CFaultServer() {
    Stop();
    for (int fd : m_Wake) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

CFaultServer& CFaultServer::Add(Step step) {
    m_Steps.push_back(std::move(step));
    return *this;
}

CFaultServer& CFaultServer::Send(std::string bytes) {
    const std::size_t size = bytes.size();
    return Add({EStep::kSend, std::move(bytes), size, Millis{0}});
}

CFaultServer& CFaultServer::SendSplit(std::string bytes, std::size_t pieceSize, Millis pause) {
    return Add({EStep::kSend, std::move(bytes), std::max<std::size_t>(pieceSize, 1), pause});
}

CFaultServer& CFaultServer::Flood(std::string pattern, std::size_t total) {
    return Add({EStep::kFlood, std::move(pattern), total, Millis{0}});
}

CFaultServer& CFaultServer::Expect(std::string line) { return Add({EStep::kExpect, std::move(line), 0, Millis{0}}); }
CFaultServer& CFaultServer::Pause(Millis pause) { return Add({EStep::kPause, {}, 0, pause}); }
CFaultServer& CFaultServer::Gate() { return Add({EStep::kGate, {}, 0, Millis{0}}); }
CFaultServer& CFaultServer::Close() { return Add({EStep::kClose, {}, 0, Millis{0}}); }
CFaultServer& CFaultServer::Reset() { return Add({EStep::kReset, {}, 0, Millis{0}}); }
CFaultServer& CFaultServer::Hold() { return Add({EStep::kHold, {}, 0, Millis{0}}); }
CFaultServer& CFaultServer::NextConnection() { return Add({EStep::kNextConnection, {}, 0, Millis{0}}); }

void CFaultServer::Start() {
    if (m_Port != 0 && !m_Thread.joinable()) {
        m_Thread = std::thread([this] { Run(); });
    }
}

void CFaultServer::Stop() {
    if (!m_Stopping.exchange(true) && m_Wake[1] >= 0) {
        const char byte = 0;
        // The byte stays in the pipe, so every later wait returns at once as well.
        [[maybe_unused]] const auto written = ::write(m_Wake[1], &byte, 1);
        std::lock_guard lock(m_Mutex);
        m_Changed.notify_all();
    }
    if (m_Thread.joinable()) {
        m_Thread.join();
    }
    if (m_Listen >= 0) {
        ::close(m_Listen);
        m_Listen = -1;
    }
}

void CFaultServer::OpenGate() {
    std::lock_guard lock(m_Mutex);
    ++m_GatesOpen;
    m_Changed.notify_all();
}

bool CFaultServer::WaitScriptPlayed(Millis limit) {
    std::unique_lock lock(m_Mutex);
    return m_Changed.wait_for(lock, limit, [this] { return m_Played || m_Finished; }) && m_Played;
}

bool CFaultServer::WaitClientGone(Millis limit) {
    std::unique_lock lock(m_Mutex);
    return m_Changed.wait_for(lock, limit, [this] { return m_Finished; });
}

std::vector<std::string> CFaultServer::Received() const {
    std::lock_guard lock(m_Mutex);
    return m_Received;
}

std::vector<std::string> CFaultServer::Failures() const {
    std::lock_guard lock(m_Mutex);
    return m_Failures;
}

std::size_t CFaultServer::Connections() const {
    std::lock_guard lock(m_Mutex);
    return m_Connections;
}

void CFaultServer::Run() {
    std::size_t next = 0;
    while (next < m_Steps.size() && WaitFd(m_Listen, POLLIN, -1)) {
        const int fd = ::accept4(m_Listen, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        // Each scripted piece leaves at once, not when the client's delayed ACK for the last one
        // comes back.
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
        {
            std::lock_guard lock(m_Mutex);
            ++m_Connections;
        }
        m_Pending.clear();
        const EOutcome outcome = Play(fd, next);
        ::close(fd);
        if (outcome == EOutcome::kHalt) {
            break;
        }
        if (outcome == EOutcome::kClientGone) {
            // The client left in the middle of a section: what it never sent counts against it,
            // and a new connection starts with the next section.
            for (; next < m_Steps.size() && m_Steps[next].m_Kind != EStep::kNextConnection; ++next) {
                if (m_Steps[next].m_Kind == EStep::kExpect) {
                    Fail("missing " + Shown(m_Steps[next].m_Text));
                }
            }
            next = std::min(next + 1, m_Steps.size());
        }
    }
    for (; next < m_Steps.size(); ++next) {
        if (m_Steps[next].m_Kind == EStep::kExpect) {
            Fail("missing " + Shown(m_Steps[next].m_Text));
        }
    }
    std::lock_guard lock(m_Mutex);
    m_Played = m_Played || m_Steps.empty();
    m_Finished = true;
    m_Changed.notify_all();
}

CFaultServer::EOutcome CFaultServer::Play(int fd, std::size_t& next) {
    const auto markPlayed = [this, &next] {
        if (next >= m_Steps.size()) {
            std::lock_guard lock(m_Mutex);
            m_Played = true;
            m_Changed.notify_all();
        }
    };
    while (next < m_Steps.size()) {
        const Step& step = m_Steps[next];
        ++next;
        switch (step.m_Kind) {
        case EStep::kSend:
            for (std::size_t at = 0; at < step.m_Text.size(); at += step.m_Size) {
                if (at > 0 && step.m_Pause.count() > 0) {
                    WaitFd(-1, 0, static_cast<int>(step.m_Pause.count()));
                }
                const std::size_t piece = std::min(step.m_Size, step.m_Text.size() - at);
                if (!SendAll(fd, step.m_Text.data() + at, piece)) {
                    return Stopping() ? EOutcome::kHalt : EOutcome::kClientGone;
                }
            }
            break;
        case EStep::kFlood:
            for (std::size_t sent = 0; sent < step.m_Size && !step.m_Text.empty();) {
                const std::size_t piece = std::min(step.m_Text.size(), step.m_Size - sent);
                if (!SendAll(fd, step.m_Text.data(), piece)) {
                    return Stopping() ? EOutcome::kHalt : EOutcome::kClientGone;
                }
                sent += piece;
            }
            break;
        case EStep::kExpect: {
            std::string line;
            if (!ReadLine(fd, line)) {
                --next;  // reported as missing by the caller
                if (!line.empty()) {
                    RecordLine(line);
                }
                return Stopping() ? EOutcome::kHalt : EOutcome::kClientGone;
            }
            RecordLine(line);
            if (line != step.m_Text + "\r\n") {
                Fail("expected " + Shown(step.m_Text + "\r\n") + ", got " + Shown(line));
            }
            break;
        }
        case EStep::kPause:
            WaitFd(-1, 0, static_cast<int>(step.m_Pause.count()));
            break;
        case EStep::kGate: {
            std::unique_lock lock(m_Mutex);
            m_Changed.wait(lock, [this] { return m_GatesOpen > 0 || Stopping(); });
            if (m_GatesOpen == 0) {
                return EOutcome::kHalt;
            }
            --m_GatesOpen;
            break;
        }
        case EStep::kClose:
            SkipSectionMark(next);
            ::shutdown(fd, SHUT_WR);
            markPlayed();
            RecordUntilClientCloses(fd);
            return Stopping() ? EOutcome::kHalt : EOutcome::kNext;
        case EStep::kReset: {
            SkipSectionMark(next);
            markPlayed();
            const linger abortive{1, 0};
            ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abortive, sizeof(abortive));
            return EOutcome::kNext;  // the caller's close() sends the RST
        }
        case EStep::kHold:
            RecordUntilClientCloses(fd);
            next = m_Steps.size();
            markPlayed();
            return EOutcome::kHalt;
        case EStep::kNextConnection:
            RecordUntilClientCloses(fd);
            return Stopping() ? EOutcome::kHalt : EOutcome::kNext;
        }
    }
    markPlayed();
    RecordUntilClientCloses(fd);
    return Stopping() ? EOutcome::kHalt : EOutcome::kNext;
}

void CFaultServer::SkipSectionMark(std::size_t& next) const {
    if (next < m_Steps.size() && m_Steps[next].m_Kind == EStep::kNextConnection) {
        ++next;
    }
}

bool CFaultServer::SendAll(int fd, const char* data, std::size_t length) {
    while (length > 0) {
        const ssize_t sent = ::send(fd, data, length, MSG_NOSIGNAL);
        if (sent > 0) {
            data += sent;
            length -= static_cast<std::size_t>(sent);
            m_BytesSent += static_cast<std::size_t>(sent);
        } else if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
            if (!WaitFd(fd, POLLOUT, -1)) {
                return false;
            }
        } else {
            return false;
        }
    }
    return true;
}

bool CFaultServer::ReadLine(int fd, std::string& line) {
    for (;;) {
        const std::size_t end = m_Pending.find('\n');
        if (end != std::string::npos) {
            line = m_Pending.substr(0, end + 1);
            m_Pending.erase(0, end + 1);
            return true;
        }
        if (!WaitFd(fd, POLLIN, -1)) {
            line = std::exchange(m_Pending, {});
            return false;
        }
        char chunk[4096];
        const ssize_t got = ::recv(fd, chunk, sizeof(chunk), 0);
        if (got > 0) {
            m_Pending.append(chunk, static_cast<std::size_t>(got));
        } else if (got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
            line = std::exchange(m_Pending, {});
            return false;
        }
    }
}

void CFaultServer::RecordUntilClientCloses(int fd) {
    std::string line;
    while (ReadLine(fd, line)) {
        RecordLine(line);
    }
    if (!line.empty()) {
        RecordLine(line);  // a last line without its end is recorded too
    }
}

void CFaultServer::RecordLine(std::string raw) {
    if (raw.size() >= 2 && raw.compare(raw.size() - 2, 2, "\r\n") == 0) {
        raw.resize(raw.size() - 2);
    }
    std::lock_guard lock(m_Mutex);
    m_Received.push_back(std::move(raw));
    m_Changed.notify_all();
}

void CFaultServer::Fail(std::string text) {
    std::lock_guard lock(m_Mutex);
    m_Failures.push_back(std::move(text));
    m_Changed.notify_all();
}

bool CFaultServer::WaitFd(int fd, short events, int limitMs) const {
    pollfd fds[2] = {{m_Wake[0], POLLIN, 0}, {fd, events, 0}};
    const nfds_t count = fd >= 0 ? 2 : 1;
    for (;;) {
        const int ready = ::poll(fds, count, limitMs);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0 || (fds[0].revents & POLLIN) != 0) {
            return false;
        }
        // Errors and hang-ups count as ready: the read or send that follows reports them.
        return count == 2 && fds[1].revents != 0;
    }
}

CUnansweredPort::CUnansweredPort() {
    m_Listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    if (m_Listen < 0 || ::bind(m_Listen, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        ::listen(m_Listen, 0) != 0 || ::getsockname(m_Listen, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return;
    }
    m_Filler = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_Filler >= 0 && ::connect(m_Filler, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0) {
        m_Port = ntohs(address.sin_port);
    }
}

CUnansweredPort::~CUnansweredPort() {
    for (const int fd : {m_Filler, m_Listen}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

}  // namespace sieveclaw::test
