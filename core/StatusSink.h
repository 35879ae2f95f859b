#pragma once

#include <cstdint>

namespace sieveclaw {

// Status codes the worker and the mail clients report to the main window.
enum EStatusCode : int {
    kStatusInboxCount = 3,        // value: the account's ListPos in the account list; recount its Inbox
    kStatusRecountTrash = 4,      // value 0: spam files came or went; count them again
    kStatusBytesDownloaded = 15,  // value: bytes of the current message received so far
    kStatusProgress = 16,         // value: percent of the spam decision's list walk done; 0 empties the bar
};

// Where the layers below the windows send their notifications. Implemented by the main window
// (queued to the UI thread), by sieveclaw-cli (printing) and by tests (recording). Calls come
// from the thread that runs the mail client or worker; an implementation must not block it.
class CStatusSink {
public:
    virtual ~CStatusSink() = default;
    virtual void PostStatus(int code, std::int64_t value) = 0;
};

}  // namespace sieveclaw
