#include "net/SocketErrorText.h"

#include <cerrno>
#include <cstring>
#include <string_view>

namespace sieveclaw {

namespace {

thread_local int t_LastSocketError = 0;

struct ErrorText {
    int m_Code;
    std::string_view m_Text;
};

// The texts belong to the codes as users have always seen them, including the two whose wording
// describes another condition (10014, 10022).
constexpr ErrorText kSocketErrorTexts[] = {
    {10004, "The (blocking) call was canceled through WSACancelBlockingCall. "},
    {10014, "The lpWSAData is not a valid pointer."},
    {10022, "The socket has not been bound with bind. "},
    {10024, "No more socket descriptors are available. "},
    {10035, "The socket is marked as nonblocking.  The operation would block. "},
    {10036, "A blocking Windows Sockets 1.1 operation is in progress. "},
    {10038, "The descriptor is not a socket. "},
    {10042,
     "The option is unknown or unsupported. In particular, SO_BROADCAST is not supported on sockets of "
     "type SOCK_STREAM, while SO_DONTLINGER, SO_KEEPALIVE, SO_LINGER, and SO_OOBINLINE are not supported "
     "on sockets of type SOCK_DGRAM."},
    {10045, "The referenced socket is not of a type that supports the listen operation. "},
    {10048, "An attempt has been made to listen on an address in use. "},
    {10049,
     "The requested address is not valid in its context. Normally results from an attempt to bind to an "
     "address that is not valid for the local machine, or connect/sendto an address or port that is not "
     "valid for a remote machine (e.g. port 0). "},
    {10050, "The network subsystem has failed. "},
    {10054, "The virtual circuit was reset by the remote side. i.e. The client connection probably shutdown."},
    {10055, "No buffer space is available. "},
    {10056, "The socket is already connected. "},
    {10067, "Limit on the number of tasks supported by the Windows Sockets implementation has been reached. "},
    {10091, "Indicates that the underlying network subsystem is not ready for network communication. "},
    {10092,
     "The version of Windows Sockets support requested is not provided by this particular Windows Sockets "
     "implementation. "},
    {10093, "A successful WSAStartup must occur before using this function. "},
    {11001, "Authoritative Answer Service not found. "},
    {11002, "Non-Authoritative Service not found, or server failure. "},
    {11003, "Nonrecoverable errors, the services database is not accessible. "},
    {11004, "Valid name, no data record of requested type. "},
};

struct ErrnoMapping {
    int m_Errno;
    int m_Wsa;
};

constexpr ErrnoMapping kErrnoToWsa[] = {
    {EINTR, 10004},        {EBADF, 10009},          {EACCES, 10013},         {EFAULT, 10014},
    {EINVAL, 10022},       {EMFILE, 10024},         {ENFILE, 10024},         {EWOULDBLOCK, 10035},
    {EINPROGRESS, 10036},  {EALREADY, 10037},       {ENOTSOCK, 10038},       {EDESTADDRREQ, 10039},
    {EMSGSIZE, 10040},     {EPROTOTYPE, 10041},     {ENOPROTOOPT, 10042},    {EPROTONOSUPPORT, 10043},
    {ESOCKTNOSUPPORT, 10044}, {EOPNOTSUPP, 10045},  {EPFNOSUPPORT, 10046},   {EAFNOSUPPORT, 10047},
    {EADDRINUSE, 10048},   {EADDRNOTAVAIL, 10049},  {ENETDOWN, 10050},       {ENETUNREACH, 10051},
    {ENETRESET, 10052},    {ECONNABORTED, 10053},   {ECONNRESET, 10054},     {EPIPE, 10054},
    {ENOBUFS, 10055},      {ENOMEM, 10055},         {EISCONN, 10056},        {ENOTCONN, 10057},
    {ESHUTDOWN, 10058},    {ETOOMANYREFS, 10059},   {ETIMEDOUT, 10060},      {ECONNREFUSED, 10061},
    {ELOOP, 10062},        {ENAMETOOLONG, 10063},   {EHOSTDOWN, 10064},      {EHOSTUNREACH, 10065},
};

}  // namespace

std::string SocketErrorText(int code) {
    if (code == 0) {
        code = GetLastSocketError();
    }
    std::string text = "Unknown Socket error occured.";
    for (const ErrorText& entry : kSocketErrorTexts) {
        if (entry.m_Code == code) {
            text = entry.m_Text;
            break;
        }
    }
    text += " (" + std::to_string(code) + ")";
    return text;
}

std::string SystemErrorText(int code) {
    if (code == -1) {
        code = errno;
    }
    char buffer[512] = {};
    // The GNU strerror_r returns the text, which may or may not live in the buffer.
    const char* text = strerror_r(code, buffer, sizeof buffer);
    return text != nullptr ? std::string(text) : std::string();
}

int GetLastSocketError() { return t_LastSocketError; }

void SetLastSocketError(int code) { t_LastSocketError = code; }

int WsaErrorFromErrno(int error) {
    for (const ErrnoMapping& entry : kErrnoToWsa) {
        if (entry.m_Errno == error) {
            return entry.m_Wsa;
        }
    }
    return error;
}

}  // namespace sieveclaw
