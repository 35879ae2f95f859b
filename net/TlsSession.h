#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "net/TransportOptions.h"

struct ssl_st;
struct ssl_ctx_st;
struct x509_store_ctx_st;

namespace sieveclaw {

// TLS over a connected non-blocking socket, with the peer verified against trusted certificates
// and the host name the user typed, or, when the user chose to trust one certificate for the
// server, against that certificate alone. Owned by one CSocket.
class CTlsSession {
public:
    // Waits for the socket to become readable (POLLIN) or writable (POLLOUT) for one slice; false
    // when the wait is to be given up (a stop was requested).
    using WaitFn = std::function<bool(short events)>;

    // Runs the handshake, bounded by deadline. Returns nothing and sets error to a sentence
    // naming the reason when it fails or the certificate is refused; a refused certificate's
    // fingerprint also goes to options.m_OnCertificateRefused.
    static std::unique_ptr<CTlsSession> Handshake(int fd, const std::string& host, const CTransportOptions& options,
                                                  const WaitFn& wait, std::chrono::steady_clock::time_point deadline,
                                                  std::string& error);
    ~CTlsSession();
    CTlsSession(const CTlsSession&) = delete;
    CTlsSession& operator=(const CTlsSession&) = delete;

    enum class EResult { kDone, kWantRead, kWantWrite, kClosed };
    // Moves decrypted bytes into buffer; count receives how many (kDone only).
    EResult Read(char* buffer, std::size_t room, std::size_t& count);
    EResult Write(const char* data, std::size_t size, std::size_t& count);
    // Decrypted bytes OpenSSL holds that the socket will not signal again.
    bool HasPending() const;
    // Sends close_notify without waiting for the peer's.
    void Shutdown();

    std::string Description() const;
    // The fingerprint of the server's certificate ("AB:CD:..."), once the handshake has seen it.
    const std::string& PeerFingerprint() const { return m_PeerFingerprint; }

private:
    struct SslDeleter {
        void operator()(ssl_st* ssl) const;
    };
    struct CtxDeleter {
        void operator()(ssl_ctx_st* ctx) const;
    };
    CTlsSession() = default;
    EResult Judge(int returned);
    static int RecordPeer(int preverified, x509_store_ctx_st* store);

    // The fingerprint of the server's own certificate, taken while the chain is verified.
    std::string m_PeerFingerprint;
    bool m_Pinned = false;

    std::unique_ptr<ssl_ctx_st, CtxDeleter> m_Ctx;
    std::unique_ptr<ssl_st, SslDeleter> m_Ssl;
};

// The SHA-256 fingerprint of a DER-encoded certificate as people compare it: 32 pairs of
// upper-case hexadecimal digits joined by colons.
std::string FormatFingerprint(const unsigned char* digest, std::size_t size);

}  // namespace sieveclaw
