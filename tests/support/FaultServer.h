#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

// A scripted TCP peer for the mail clients' tests. It listens on 127.0.0.1 at a port the system
// picks, accepts one connection per script section (in sequence) and plays that section on its
// own thread: what to send, which line to expect, when to pause, how to end the connection.
//
//   CFaultServer server;
//   server.Pop3Greeting().Expect("CAPA").Send("-ERR\r\n").Expect("USER bob").Send("-ERR\r\n");
//   server.Start();
//   ... run the client against server.Port() ...
//   server.WaitClientGone(5s);
//   EXPECT_THAT(server.Received(), ElementsAre("CAPA", "USER bob"));
//
// Every line the client sends is recorded, including lines no step expected, so a test can say
// what the client must not have sent. When a section's steps run out, or after Close(), the
// server goes on recording until the client closes. Steps are added before Start(); the results
// may be read from any thread at any time.

namespace sieveclaw::test {

class CFaultServer {
public:
    using Millis = std::chrono::milliseconds;

    CFaultServer();  // binds and listens; Port() is valid from here on (0 if that failed)
    ~CFaultServer();  // Stop()
    CFaultServer(const CFaultServer&) = delete;
    CFaultServer& operator=(const CFaultServer&) = delete;

    int Port() const { return m_Port; }

    // --- the script ---------------------------------------------------------------------------
    CFaultServer& Send(std::string bytes);
    // The bytes in pieces of pieceSize with a pause after each piece but the last.
    CFaultServer& SendSplit(std::string bytes, std::size_t pieceSize, Millis pause);
    // pattern again and again until total bytes have gone out (the last copy cut short); for
    // replies too large to build in memory. BytesSent() tells how far it got.
    CFaultServer& Flood(std::string pattern, std::size_t total);
    // Reads one line up to LF. It is recorded without its CR LF; a line ended otherwise is
    // recorded as it came, so it never matches. A mismatch or a missing line is a failure.
    CFaultServer& Expect(std::string line);
    CFaultServer& Pause(Millis pause);
    // Waits until the test calls OpenGate(): lets a test act while it knows what has been sent.
    CFaultServer& Gate();
    // Orderly close (FIN); then records what the client still sends until it closes. Close()
    // and Reset() end the section: the steps after them are played on the next connection.
    CFaultServer& Close();
    // Abortive close: RST through SO_LINGER 0.
    CFaultServer& Reset();
    // Silent, recording, until the client closes or Stop(); later sections are not played.
    CFaultServer& Hold();
    // The steps after this one are played on the next accepted connection.
    CFaultServer& NextConnection();
    CFaultServer& Pop3Greeting() { return Send("+OK POP3 server ready\r\n"); }

    // --- running ------------------------------------------------------------------------------
    void Start();
    // Ends every wait of the server, closes its sockets and joins its thread. Idempotent.
    void Stop();
    void OpenGate();

    // True once every step of every section has been played (the server may still be recording).
    bool WaitScriptPlayed(Millis limit);
    // True once the server is done: the client closed the last connection, or the script ended it.
    bool WaitClientGone(Millis limit);

    std::vector<std::string> Received() const;
    // One text per expected line that was wrong or missing; empty when the client followed the script.
    std::vector<std::string> Failures() const;
    std::size_t Connections() const;
    std::size_t BytesSent() const { return m_BytesSent.load(); }

private:
    enum class EStep { kSend, kFlood, kExpect, kPause, kGate, kClose, kReset, kHold, kNextConnection };
    struct Step {
        EStep m_Kind;
        std::string m_Text;
        std::size_t m_Size = 0;  // piece size (kSend) or total (kFlood)
        Millis m_Pause{0};
    };
    // How a section ended: the client is gone, the script wants the next section, or stop here.
    enum class EOutcome { kClientGone, kNext, kHalt };

    CFaultServer& Add(Step step);
    void Run();
    // Plays the steps from next on over one connection; next ends after the last step played.
    EOutcome Play(int fd, std::size_t& next);
    void SkipSectionMark(std::size_t& next) const;
    bool SendAll(int fd, const char* data, std::size_t length);
    // One line up to LF from the connection (kept in m_Pending); false at EOF, error or stop.
    bool ReadLine(int fd, std::string& line);
    void RecordUntilClientCloses(int fd);
    void RecordLine(std::string raw);
    void Fail(std::string text);
    // Waits until fd has one of events, Stop() or the limit (negative: none). True for fd ready.
    bool WaitFd(int fd, short events, int limitMs) const;
    bool Stopping() const { return m_Stopping.load(); }

    int m_Listen = -1;
    int m_Wake[2] = {-1, -1};  // Stop() writes to [1]; every wait polls [0]
    int m_Port = 0;
    std::vector<Step> m_Steps;
    std::string m_Pending;  // bytes read past the last line of the current connection
    std::thread m_Thread;
    std::atomic<bool> m_Stopping{false};
    std::atomic<std::size_t> m_BytesSent{0};

    // Protects everything below; m_Changed announces every change.
    mutable std::mutex m_Mutex;
    std::condition_variable m_Changed;
    std::vector<std::string> m_Received;
    std::vector<std::string> m_Failures;
    std::size_t m_Connections = 0;
    int m_GatesOpen = 0;
    bool m_Played = false;
    bool m_Finished = false;
};

// A port on 127.0.0.1 whose connects are never answered: it listens with the smallest backlog,
// fills it with one connection of its own and takes none, so the kernel drops every further SYN
// and a client's connect waits as it would for a host that is gone.
class CUnansweredPort {
public:
    CUnansweredPort();
    ~CUnansweredPort();
    CUnansweredPort(const CUnansweredPort&) = delete;
    CUnansweredPort& operator=(const CUnansweredPort&) = delete;
    int Port() const { return m_Port; }

private:
    int m_Listen = -1;
    int m_Filler = -1;
    int m_Port = 0;
};

// Runs call on a thread of its own and waits for it up to limit. When it has not returned by
// then, the server is stopped, which ends its connections so that a client waiting on them gives
// up, and the call is awaited anyway. True when the call returned within the limit.
template <class Call>
bool FinishesWithin(CFaultServer& server, std::chrono::milliseconds limit, Call&& call) {
    auto done = std::async(std::launch::async, std::forward<Call>(call));
    if (done.wait_for(limit) == std::future_status::ready) {
        done.get();
        return true;
    }
    server.Stop();
    done.get();
    return false;
}

}  // namespace sieveclaw::test
