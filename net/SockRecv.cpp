#include "net/SockRecv.h"

#include <algorithm>
#include <cstring>

#include "core/ActivityLog.h"

namespace sieveclaw {

bool IsSocketDead(CSocket& sock) {
    if (!sock.IsValid() || sock.IsMarkedDead()) {
        return true;
    }
    if (!sock.Buffered().empty()) {
        return false;
    }
    return sock.FillNow() < 0;
}

int SockRecv(CSocket& sock, char* buffer, int capacity, bool useTimeout) {
    WriteActivityLog("Entered SockRecv");
    const auto start = std::chrono::steady_clock::now();
    std::memset(buffer, 0, static_cast<std::size_t>(capacity));
    const std::size_t room = capacity > 0 ? static_cast<std::size_t>(capacity - 1) : 0;
    std::size_t received = 0;
    bool gotData = false;
    bool done = false;
    // Set when the last look at the socket found it open with nothing to read: then it was alive
    // a moment ago, and the closing dead test need not ask the kernel again.
    bool sawWouldBlock = false;
    for (;;) {
        // The dead test also reads whatever has arrived when nothing is buffered.
        if (IsSocketDead(sock)) {
            break;
        }
        const std::string_view ready = sock.Buffered();
        sawWouldBlock = ready.empty();
        if (ready.empty()) {
            WriteActivityLog("SockRecv - waiting for more data");
            if (gotData) {
                done = true;
            } else {
                sock.WaitReadable(kPollSlice);
            }
        } else {
            const std::size_t count = std::min(ready.size(), room - received);
            std::memcpy(buffer + received, ready.data(), count);
            sock.Consume(count);
            WriteActivityLog("SockRecv - Received data");
            WriteActivityLog(std::string_view(buffer));
            received += count;
            gotData = true;
            if (received >= room) {
                done = true;
            }
        }
        if (useTimeout && std::chrono::steady_clock::now() - start >= sock.Options().TimeoutDuration()) {
            break;
        }
        if (done) {
            break;
        }
    }
    if (!(done && sawWouldBlock) && IsSocketDead(sock)) {
        WriteActivityLog("SockRecv - Socket Died!!!!");
        return -1;
    }
    WriteActivityLog("SockRecv - Leaving");
    return static_cast<int>(received);
}

}  // namespace sieveclaw
