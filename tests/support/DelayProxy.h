#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// A TCP relay that puts a slow link between a client and a server on this machine: it listens
// on 127.0.0.1 at a port the system picks, opens a connection to 127.0.0.1:targetPort for every
// client it accepts, and hands each chunk it reads on to the other side `delay` after it
// arrived, in both directions. Chunks keep their order and are not held back by one another, so
// the link has the latency of a distant server but the bandwidth of the loopback: a command and
// its reply cost two delays, a pipelined stream only one.
//
// Used by benchmarks and tests to see how a client behaves when every round trip is expensive.

namespace sieveclaw::test {

class CDelayProxy {
public:
    using Millis = std::chrono::milliseconds;

    // Binds and listens; Port() is valid from here on (0 if that failed).
    CDelayProxy(int targetPort, Millis delay);
    ~CDelayProxy();  // Stop()
    CDelayProxy(const CDelayProxy&) = delete;
    CDelayProxy& operator=(const CDelayProxy&) = delete;

    int Port() const { return m_Port; }

    // Starts accepting. False when the proxy could not listen.
    bool Start();
    // Closes the listening socket and every relayed connection, and joins every thread.
    // Idempotent.
    void Stop();

    // Connections accepted so far, and bytes relayed in both directions.
    std::size_t Connections() const { return m_Connections.load(); }
    std::size_t BytesRelayed() const { return m_BytesRelayed.load(); }

private:
    struct Link;

    void AcceptLoop();
    // Moves the bytes of one direction of a link until either side ends or Stop().
    void Relay(int from, int to);

    int m_TargetPort;
    Millis m_Delay;
    int m_Listen = -1;
    int m_Port = 0;
    std::atomic<bool> m_Stopping{false};
    std::atomic<std::size_t> m_Connections{0};
    std::atomic<std::size_t> m_BytesRelayed{0};
    std::thread m_Acceptor;
    // Protects m_Links: the acceptor adds, Stop() joins and closes.
    std::mutex m_LinksLock;
    std::vector<std::unique_ptr<Link>> m_Links;
};

}  // namespace sieveclaw::test
