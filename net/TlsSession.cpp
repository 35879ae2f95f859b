#include "net/TlsSession.h"

#include <arpa/inet.h>
#include <poll.h>
#include <openssl/evp.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

namespace sieveclaw {

namespace {

bool IsIpAddress(const std::string& host) {
    unsigned char address[16];
    return inet_pton(AF_INET, host.c_str(), address) == 1 || inet_pton(AF_INET6, host.c_str(), address) == 1;
}

// The reason OpenSSL queued last, for the user's error message.
std::string OpenSslReason() {
    unsigned long code = 0;
    unsigned long last = 0;
    while ((code = ERR_get_error()) != 0) {
        last = code;
    }
    if (last == 0) {
        return "the connection was closed during the handshake";
    }
    const char* reason = ERR_reason_error_string(last);
    return reason != nullptr ? reason : "error " + std::to_string(last);
}

void Refused(const CTransportOptions& options, const std::string& fingerprint) {
    if (options.m_OnCertificateRefused && !fingerprint.empty()) {
        options.m_OnCertificateRefused(fingerprint);
    }
}

std::string FingerprintOf(X509* certificate) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (certificate == nullptr || X509_digest(certificate, EVP_sha256(), digest, &size) != 1) {
        return {};
    }
    return FormatFingerprint(digest, size);
}

}  // namespace

std::string FormatFingerprint(const unsigned char* digest, std::size_t size) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string text;
    for (std::size_t i = 0; i < size; ++i) {
        if (i > 0) {
            text += ':';
        }
        text += kHex[digest[i] >> 4];
        text += kHex[digest[i] & 0x0F];
    }
    return text;
}

// Called for every certificate of the chain. Keeps the server's own certificate's fingerprint,
// so that a refusal can name it. With a trusted certificate the chain's verdict does not count:
// the handshake goes on and the fingerprint alone decides, before anything is sent over it.
int CTlsSession::RecordPeer(int preverified, X509_STORE_CTX* store) {
    auto* ssl = static_cast<SSL*>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
    auto* session = ssl != nullptr ? static_cast<CTlsSession*>(SSL_get_ex_data(ssl, 0)) : nullptr;
    if (session == nullptr) {
        return preverified;
    }
    if (session->m_PeerFingerprint.empty()) {
        session->m_PeerFingerprint = FingerprintOf(X509_STORE_CTX_get0_cert(store));
    }
    return session->m_Pinned ? 1 : preverified;
}

void CTlsSession::SslDeleter::operator()(ssl_st* ssl) const { SSL_free(ssl); }
void CTlsSession::CtxDeleter::operator()(ssl_ctx_st* ctx) const { SSL_CTX_free(ctx); }

CTlsSession::~CTlsSession() = default;

std::unique_ptr<CTlsSession> CTlsSession::Handshake(int fd, const std::string& host, const CTransportOptions& options,
                                                    const WaitFn& wait, std::chrono::steady_clock::time_point deadline,
                                                    std::string& error) {
    ERR_clear_error();
    std::unique_ptr<CTlsSession> session(new CTlsSession());
    session->m_Ctx.reset(SSL_CTX_new(TLS_client_method()));
    if (!session->m_Ctx) {
        error = "The secure connection to " + host + " could not be prepared: " + OpenSslReason() + ".";
        return nullptr;
    }
    SSL_CTX* ctx = session->m_Ctx.get();
    SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
    SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, &CTlsSession::RecordPeer);
    session->m_Pinned = !options.m_TrustedCertificate.empty();
    // One read() for a record's header and body together, instead of two. What is read ahead
    // stays inside the session, so readers ask HasPending() before they wait on the socket.
    SSL_CTX_set_read_ahead(ctx, 1);
    // SSL_CERT_FILE and SSL_CERT_DIR are honoured by the default paths.
    const bool trusted = options.m_CaFile.empty()
                             ? SSL_CTX_set_default_verify_paths(ctx) == 1
                             : SSL_CTX_load_verify_locations(ctx, options.m_CaFile.c_str(), nullptr) == 1;
    if (!trusted) {
        error = "The trusted certificates could not be loaded (" + OpenSslReason() + ").";
        return nullptr;
    }

    session->m_Ssl.reset(SSL_new(ctx));
    SSL* ssl = session->m_Ssl.get();
    if (ssl == nullptr || SSL_set_fd(ssl, fd) != 1 || SSL_set_ex_data(ssl, 0, session.get()) != 1) {
        error = "The secure connection to " + host + " could not be prepared: " + OpenSslReason() + ".";
        return nullptr;
    }
    X509_VERIFY_PARAM* param = SSL_get0_param(ssl);
    X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    if (IsIpAddress(host)) {
        X509_VERIFY_PARAM_set1_ip_asc(param, host.c_str());
    } else {
        X509_VERIFY_PARAM_set1_host(param, host.c_str(), 0);
        // SNI; the library's macro for this call uses a C cast.
        SSL_ctrl(ssl, SSL_CTRL_SET_TLSEXT_HOSTNAME, TLSEXT_NAMETYPE_host_name, const_cast<char*>(host.c_str()));
    }

    for (;;) {
        const int result = SSL_connect(ssl);
        if (result == 1) {
            if (session->m_Pinned && !SameFingerprint(session->m_PeerFingerprint, options.m_TrustedCertificate)) {
                error = "The certificate of " + host + " has changed since you chose to trust it.  The trusted " +
                        "certificate's SHA-256 fingerprint is " + options.m_TrustedCertificate +
                        "; the server now shows " + session->m_PeerFingerprint + ".";
                Refused(options, session->m_PeerFingerprint);
                return nullptr;
            }
            return session;
        }
        const int why = SSL_get_error(ssl, result);
        if ((why == SSL_ERROR_WANT_READ || why == SSL_ERROR_WANT_WRITE) &&
            std::chrono::steady_clock::now() < deadline) {
            if (wait(why == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT)) {
                continue;
            }
            error = "The secure connection to " + host + " was given up: the check was stopped.";
            return nullptr;
        }
        if (why == SSL_ERROR_WANT_READ || why == SSL_ERROR_WANT_WRITE) {
            error = "The secure connection to " + host + " failed: the server did not complete the TLS handshake in time.";
            return nullptr;
        }
        const long verified = SSL_get_verify_result(ssl);
        // With a trusted certificate the chain's errors were overridden, so they are not the cause.
        if (verified != X509_V_OK && !session->m_Pinned) {
            error = "The certificate of " + host + " could not be verified: " +
                    X509_verify_cert_error_string(verified) + ".";
            Refused(options, session->m_PeerFingerprint);
        } else {
            error = "The secure connection to " + host + " failed: " + OpenSslReason() + ".";
        }
        return nullptr;
    }
}

CTlsSession::EResult CTlsSession::Judge(int returned) {
    switch (SSL_get_error(m_Ssl.get(), returned)) {
        case SSL_ERROR_WANT_READ:
            return EResult::kWantRead;
        case SSL_ERROR_WANT_WRITE:
            return EResult::kWantWrite;
        default:
            ERR_clear_error();
            return EResult::kClosed;
    }
}

CTlsSession::EResult CTlsSession::Read(char* buffer, std::size_t room, std::size_t& count) {
    count = 0;
    const int result = SSL_read_ex(m_Ssl.get(), buffer, room, &count);
    return result == 1 ? EResult::kDone : Judge(result);
}

CTlsSession::EResult CTlsSession::Write(const char* data, std::size_t size, std::size_t& count) {
    count = 0;
    const int result = SSL_write_ex(m_Ssl.get(), data, size, &count);
    return result == 1 ? EResult::kDone : Judge(result);
}

bool CTlsSession::HasPending() const { return SSL_has_pending(m_Ssl.get()) == 1; }

void CTlsSession::Shutdown() {
    SSL_shutdown(m_Ssl.get());
    ERR_clear_error();
}

std::string CTlsSession::Description() const {
    const SSL* ssl = m_Ssl.get();
    std::string text = SSL_get_version(ssl);
    if (const SSL_CIPHER* cipher = SSL_get_current_cipher(ssl); cipher != nullptr) {
        text += ", ";
        text += SSL_CIPHER_get_name(cipher);
    }
    return text;
}

}  // namespace sieveclaw
