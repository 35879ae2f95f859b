#pragma once

#include <cstddef>
#include <functional>
#include <string_view>

#include "net/CSocket.h"

namespace sieveclaw {

// How a wait for a complete unit of a reply (a line, a whole SMTP reply) ended.
enum class EReadComplete {
    kComplete,  // the unit is buffered whole
    kTimedOut,  // the Timeout passed first
    kClosed,    // the peer closed or the connection failed; what came stays buffered
    kDead,      // the socket is closed or was declared dead
    kTooLong,   // more than the bound arrived without the unit's end; the connection is now dead
};

// Where a unit ends in the bytes buffered so far: its length, or npos while incomplete. It gets
// how far earlier calls on the same growing bytes already looked, so a long unit is scanned once.
using FindUnitEnd = std::function<std::size_t(std::string_view ready, std::size_t scannedFrom)>;

// Waits in poll slices (running the wait hook) until findEnd finds a complete unit in what the
// connection has buffered, the Timeout passes, the connection ends, or more than maxBytes arrive
// without an end. On kComplete, length is the unit's length; nothing is consumed. Both mail
// clients read their replies through this.
EReadComplete ReadComplete(CSocket& sock, const FindUnitEnd& findEnd, std::size_t maxBytes, std::size_t& length);

}  // namespace sieveclaw
