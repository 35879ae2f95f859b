#pragma once

#include "net/CSocket.h"

namespace sieveclaw {

// True when the peer has closed the connection or it failed; data still waiting to be read
// keeps it alive. Never consumes data.
bool IsSocketDead(CSocket& sock);

// Waits (polling in slices of at most 50 ms) until the first bytes arrive, then takes what is
// immediately available, up to capacity - 1 bytes, and zero-terminates the buffer. Gives up when
// useTimeout is set and the Timeout has passed. Returns the number of bytes stored (0 at the
// time-out) or -1 when the connection is dead; on -1 the buffer still holds what was read.
int SockRecv(CSocket& sock, char* buffer, int capacity, bool useTimeout);

}  // namespace sieveclaw
