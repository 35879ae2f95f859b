#pragma once

#include <string>

// Socket errors are kept as Windows Sockets numbers, so the texts and codes users and the log
// see are the same on every platform.

namespace sieveclaw {

inline constexpr int kWsaWouldBlock = 10035;
inline constexpr int kWsaInvalid = 10022;       // also a failed name look-up
inline constexpr int kWsaIsConnected = 10056;
inline constexpr int kWsaConnReset = 10054;
inline constexpr int kWsaTimedOut = 10060;

// The text of a Windows Sockets code followed by " (code)"; 0 means this thread's last error.
std::string SocketErrorText(int code);

// The operating system's text for a system error code; -1 means this thread's last error
// (errno). Empty when there is none.
std::string SystemErrorText(int code);

// This thread's last socket error, as a Windows Sockets number.
int GetLastSocketError();
void SetLastSocketError(int code);

// The Windows Sockets number for an errno value (unknown values map to themselves).
int WsaErrorFromErrno(int error);

}  // namespace sieveclaw
