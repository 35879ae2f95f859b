#include "net/ReadComplete.h"

namespace sieveclaw {

EReadComplete ReadComplete(CSocket& sock, const FindUnitEnd& findEnd, std::size_t maxBytes, std::size_t& length) {
    const auto start = std::chrono::steady_clock::now();
    std::size_t scanned = 0;
    bool waited = false;
    for (;;) {
        const std::string_view ready = sock.Buffered();
        length = findEnd(ready, scanned);
        if (length != std::string_view::npos) {
            return EReadComplete::kComplete;
        }
        if (!sock.IsValid() || sock.IsMarkedDead()) {
            return EReadComplete::kDead;
        }
        scanned = ready.size();
        if (ready.size() > maxBytes) {
            sock.MarkDead();
            return EReadComplete::kTooLong;
        }
        if (sock.HasFailed()) {
            return EReadComplete::kClosed;
        }
        if ((waited && std::chrono::steady_clock::now() - start >= sock.Options().TimeoutDuration()) ||
            sock.IsPastDeadline()) {
            return EReadComplete::kTimedOut;
        }
        // Wait first, then read: a reply is rarely there the instant a command has left.
        sock.WaitReadable(kPollSlice);
        sock.FillNow();
        waited = true;
    }
}

}  // namespace sieveclaw
