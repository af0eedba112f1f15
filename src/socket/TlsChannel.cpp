#include "socket/TlsChannel.h"

#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <sys/socket.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "platform/CAsyncSocket.h"
#include "platform/LastError.h"

namespace velkor {

struct TlsChannel::Impl {
    SSL_CTX* ctx = nullptr;
    SSL* ssl = nullptr;
    std::string host;
    // The subject of the server's own certificate, caught while verifying:
    // OpenSSL keeps no peer certificate after a failed verification.
    std::string peerName;
    // The session this channel resumed (data connections), and a newer one
    // a resuming channel received that the next one should resume instead.
    SSL_SESSION* resumed = nullptr;
    SSL_SESSION* newer = nullptr;

    ~Impl() {
        SSL_SESSION_free(resumed);
        SSL_SESSION_free(newer);
        SSL_free(ssl);
        SSL_CTX_free(ctx);
    }
};

namespace {

// The newest error of the TLS library as a short text ("" when none).
std::string LibraryReason() {
    const unsigned long code = ERR_peek_last_error();
    ERR_clear_error();
    if (code == 0) return "";
    const char* reason = ERR_reason_error_string(code);
    return reason ? reason : "error " + std::to_string(code);
}

bool IsAddressLiteral(const std::string& host) {
    in_addr v4{};
    in6_addr v6{};
    return inet_pton(AF_INET, host.c_str(), &v4) == 1 || inet_pton(AF_INET6, host.c_str(), &v6) == 1;
}

// The name a certificate is for: its common name, else its first DNS or IP
// alternative name.
std::string CertificateName(X509* cert) {
    char cn[256] = "";
    if (X509_NAME_get_text_by_NID(X509_get_subject_name(cert), NID_commonName, cn, sizeof cn) > 0)
        return cn;
    return "an unnamed subject";
}

// Socket reads and writes for OpenSSL through recv/send, so that a peer
// that has gone away gives EPIPE instead of a SIGPIPE that would end the
// application.
int SocketWrite(BIO* bio, const char* data, int len) {
    BIO_clear_retry_flags(bio);
    const ssize_t n = ::send(static_cast<int>(BIO_get_fd(bio, nullptr)), data, static_cast<std::size_t>(len), MSG_NOSIGNAL);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) BIO_set_retry_write(bio);
    return static_cast<int>(n);
}

int SocketRead(BIO* bio, char* data, int len) {
    BIO_clear_retry_flags(bio);
    const ssize_t n = ::recv(static_cast<int>(BIO_get_fd(bio, nullptr)), data, static_cast<std::size_t>(len), 0);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) BIO_set_retry_read(bio);
    return static_cast<int>(n);
}

// The socket BIO's method table with the two calls above.
const BIO_METHOD* NoSignalSocketMethod() {
    static BIO_METHOD* method = [] {
        const BIO_METHOD* base = BIO_s_socket();
        BIO_METHOD* m = BIO_meth_new(BIO_TYPE_SOCKET, "velkor socket");
        BIO_meth_set_write(m, SocketWrite);
        BIO_meth_set_read(m, SocketRead);
        BIO_meth_set_puts(m, BIO_meth_get_puts(base));
        BIO_meth_set_ctrl(m, BIO_meth_get_ctrl(base));
        BIO_meth_set_create(m, BIO_meth_get_create(base));
        BIO_meth_set_destroy(m, BIO_meth_get_destroy(base));
        return m;
    }();
    return method;
}

// Remembers the name of the server's certificate (depth 0) and keeps
// OpenSSL's verdict.
int RememberPeer(int ok, X509_STORE_CTX* store) {
    if (X509_STORE_CTX_get_error_depth(store) != 0) return ok;
    auto* ssl = static_cast<SSL*>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
    auto* peerName = ssl ? static_cast<std::string*>(SSL_get_app_data(ssl)) : nullptr;
    X509* cert = X509_STORE_CTX_get_current_cert(store);
    if (peerName && cert && peerName->empty()) *peerName = CertificateName(cert);
    return ok;
}

SSL_CTX* NewContext(const TlsSettings& s, std::string& error) {
    SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
    if (!ctx) {
        error = "TLS cannot be set up: " + LibraryReason();
        return nullptr;
    }
    SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
    // Sessions are kept per channel: a data connection resumes its control
    // connection's session explicitly.
    SSL_CTX_set_session_cache_mode(ctx, SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);
    if (s.skipVerification) {
        SSL_CTX_set_verify(ctx, SSL_VERIFY_NONE, nullptr);
        return ctx;
    }
    SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, RememberPeer);
    const int loaded = s.caFile.empty() ? SSL_CTX_set_default_verify_paths(ctx)
                                        : SSL_CTX_load_verify_locations(ctx, s.caFile.c_str(), nullptr);
    if (loaded != 1) {
        error = "cannot read the CA certificates " + (s.caFile.empty() ? "of the system" : s.caFile) +
                ": " + LibraryReason();
        SSL_CTX_free(ctx);
        return nullptr;
    }
    return ctx;
}

}  // namespace

TlsChannel::TlsChannel(int socketHandle, const TlsSettings& settings) : m_impl(std::make_unique<Impl>()) {
    m_impl->host = settings.host;
    m_impl->ctx = NewContext(settings, m_error);
    if (!m_impl->ctx) return;
    m_impl->ssl = SSL_new(m_impl->ctx);
    BIO* bio = m_impl->ssl ? BIO_new(NoSignalSocketMethod()) : nullptr;
    if (!bio) {
        m_error = "TLS cannot be set up: " + LibraryReason();
        return;
    }
    BIO_set_fd(bio, socketHandle, BIO_NOCLOSE);
    SSL_set_bio(m_impl->ssl, bio, bio);
    SSL_set_app_data(m_impl->ssl, &m_impl->peerName);
    SSL_set_mode(m_impl->ssl, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    const bool literal = IsAddressLiteral(settings.host);
    if (!literal && !settings.host.empty()) SSL_set_tlsext_host_name(m_impl->ssl, settings.host.c_str());
    if (!settings.skipVerification) {
        X509_VERIFY_PARAM* param = SSL_get0_param(m_impl->ssl);
        X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
        const int set = literal ? X509_VERIFY_PARAM_set1_ip_asc(param, settings.host.c_str())
                                : X509_VERIFY_PARAM_set1_host(param, settings.host.c_str(), 0);
        if (set != 1) m_error = "TLS cannot check the name " + settings.host;
    }
}

TlsChannel::TlsChannel(int socketHandle, const TlsSettings& settings, const TlsChannel& sessionOf)
    : TlsChannel(socketHandle, settings) {
    if (!m_error.empty() || !sessionOf.m_impl->ssl) return;
    SSL_SESSION* session = sessionOf.m_impl->newer;
    if (session)
        SSL_SESSION_up_ref(session);
    else
        session = SSL_get1_session(sessionOf.m_impl->ssl);
    if (session) {
        SSL_set_session(m_impl->ssl, session);
        m_impl->resumed = session;  // keeps the reference
    }
}

void TlsChannel::KeepNewerSessionOf(const TlsChannel& resuming) {
    if (!m_impl->ssl || !resuming.m_impl->ssl) return;
    // With TLS 1.3 a server may take each ticket once: the ticket that came
    // on the resuming connection is the one to resume next.
    SSL_SESSION* latest = SSL_get1_session(resuming.m_impl->ssl);
    if (!latest || latest == resuming.m_impl->resumed || !SSL_SESSION_is_resumable(latest)) {
        SSL_SESSION_free(latest);
        return;
    }
    SSL_SESSION_free(m_impl->newer);
    m_impl->newer = latest;
}

TlsChannel::~TlsChannel() = default;

int TlsChannel::Outcome(int sslResult, const char* step) {
    const int kind = SSL_get_error(m_impl->ssl, sslResult);
    if (kind == SSL_ERROR_WANT_READ || kind == SSL_ERROR_WANT_WRITE) {
        m_want = kind == SSL_ERROR_WANT_READ ? FD_READ : FD_WRITE;
        SetLastSocketError(WSAEWOULDBLOCK);
        return -1;
    }
    const long verify = SSL_get_verify_result(m_impl->ssl);
    if (verify == X509_V_ERR_HOSTNAME_MISMATCH || verify == X509_V_ERR_IP_ADDRESS_MISMATCH) {
        m_error = "certificate for " + (m_impl->peerName.empty() ? std::string("the server") : m_impl->peerName) +
                  " is not valid for host " + m_impl->host;
    } else if (verify != X509_V_OK) {
        m_error = std::string("certificate not trusted: ") + X509_verify_cert_error_string(verify);
    } else {
        const int saved = errno;
        std::string reason = LibraryReason();
        if (reason.empty()) reason = kind == SSL_ERROR_SYSCALL && saved != 0 ? std::strerror(saved) : "the connection closed";
        m_error = std::string("the ") + step + " failed: " + reason;
    }
    ERR_clear_error();
    SetLastSocketError(WSAECONNABORTED);
    return 0;
}

int TlsChannel::HandshakeStep() {
    if (!m_error.empty()) return 0;
    ERR_clear_error();
    const int r = SSL_connect(m_impl->ssl);
    if (r == 1) return 1;
    return Outcome(r, "handshake");
}

int TlsChannel::ReadNow(void* buf, int len) {
    if (!m_error.empty()) {
        SetLastSocketError(WSAECONNABORTED);
        return -1;
    }
    if (m_closed) return 0;
    if (len <= 0) return 0;
    ERR_clear_error();
    std::size_t n = 0;
    const int r = SSL_read_ex(m_impl->ssl, buf, static_cast<std::size_t>(len), &n);
    if (r == 1) return static_cast<int>(n);
    const int kind = SSL_get_error(m_impl->ssl, r);
    if (kind == SSL_ERROR_ZERO_RETURN) {
        m_closed = m_cleanClose = true;
        return 0;
    }
    if (kind == SSL_ERROR_SYSCALL ||
        (kind == SSL_ERROR_SSL && ERR_GET_REASON(ERR_peek_last_error()) == SSL_R_UNEXPECTED_EOF_WHILE_READING)) {
        // Cut without close-notify: the caller judges whether data is missing.
        ERR_clear_error();
        m_closed = true;
        return 0;
    }
    Outcome(r, "read");
    return -1;
}

int TlsChannel::WriteNow(const void* buf, int len) {
    if (!m_error.empty()) {
        SetLastSocketError(WSAECONNABORTED);
        return -1;
    }
    ERR_clear_error();
    std::size_t n = 0;
    const int r = SSL_write_ex(m_impl->ssl, buf, static_cast<std::size_t>(len), &n);
    if (r == 1) return static_cast<int>(n);
    Outcome(r, "write");
    return -1;
}

void TlsChannel::CloseNotify() {
    if (!m_impl->ssl || !m_error.empty() || !SSL_is_init_finished(m_impl->ssl) ||
        (SSL_get_shutdown(m_impl->ssl) & SSL_SENT_SHUTDOWN))
        return;
    ERR_clear_error();
    SSL_shutdown(m_impl->ssl);  // one attempt: the socket closes next
    ERR_clear_error();
}

std::string TlsChannel::Description() const {
    if (!m_impl->ssl || !SSL_is_init_finished(m_impl->ssl)) return "";
    return std::string(SSL_get_version(m_impl->ssl)) + " " + SSL_get_cipher_name(m_impl->ssl);
}

bool TlsChannel::SessionReused() const { return m_impl->ssl && SSL_session_reused(m_impl->ssl) == 1; }

}  // namespace velkor
