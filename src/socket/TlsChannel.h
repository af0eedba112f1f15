// TlsChannel: TLS (OpenSSL 3) over a connected non-blocking socket.
//
// A CVLKSocket owns one after StartTls; its Receive and Send then read and
// write through it, so the line reader and every protocol work unchanged.
// Each call here is one non-blocking step: it returns at once, and when
// TLS needs the socket to become readable or writable first it fails with
// 10035 (WSAEWOULDBLOCK) and WantEvent() names the readiness to wait for.
// The waiting, the wait hook, cancelling and the time-outs stay the
// socket's.
//
// Verification is on unless the settings turn it off: the peer's chain must
// lead to the system's trust store (or to the CA file named), and its
// certificate must name the host (a DNS name, or an IP address for an
// address literal). SNI is sent for names. TLS 1.2 is the oldest version
// offered. A failed step leaves its reason in Error().
#pragma once

#include <memory>
#include <string>

namespace velkor {

// How a line-protocol client uses TLS: not at all (the default), after a
// plaintext exchange (STARTTLS, STLS, AUTH TLS; required: a server that
// does not offer it or refuses it ends the logon), or from the first byte.
inline constexpr int kTlsOff = 0;
inline constexpr int kTlsExplicit = 1;
inline constexpr int kTlsImplicit = 2;

struct TlsSettings {
    // The name or address the certificate must be valid for (also SNI).
    std::string host;
    // PEM CA certificates to trust instead of the system's; "" = the system's.
    std::string caFile;
    // INSECURE: accept any certificate for any name (tests only).
    bool skipVerification = false;
};

class TlsChannel {
public:
    // The channel for an open socket handle; Error() is set when the TLS
    // library cannot be set up (then every step fails).
    TlsChannel(int socketHandle, const TlsSettings& settings);
    // Resumes the TLS session of another channel (FTP data connections must
    // reuse the control connection's session).
    TlsChannel(int socketHandle, const TlsSettings& settings, const TlsChannel& sessionOf);
    ~TlsChannel();
    // Keeps a session ticket that a channel resuming this one's session
    // received, for the next channel to resume (servers may take each
    // TLS 1.3 ticket only once).
    void KeepNewerSessionOf(const TlsChannel& resuming);
    TlsChannel(const TlsChannel&) = delete;
    TlsChannel& operator=(const TlsChannel&) = delete;

    // One handshake step: 1 done, 0 failed (Error() says why), -1 wait for
    // WantEvent() and call again.
    int HandshakeStep();
    // One read: the bytes read, 0 when the peer closed (with close-notify or
    // without: ClosedCleanly() tells), or -1 with the last socket error set
    // (10035: wait for WantEvent()).
    int ReadNow(void* buf, int len);
    // One write: the bytes taken (at least 1), or -1 as for ReadNow.
    int WriteNow(const void* buf, int len);
    // Sends close-notify once, without waiting for the peer's.
    void CloseNotify();

    long WantEvent() const { return m_want; }
    bool ClosedCleanly() const { return m_cleanClose; }
    // The peer's end came without close-notify: what was read may be cut
    // short by whoever closed the connection.
    bool CutShort() const { return m_closed && !m_cleanClose; }
    // The protocol version and cipher after the handshake ("TLSv1.3
    // TLS_AES_256_GCM_SHA384").
    std::string Description() const;
    const std::string& Error() const { return m_error; }
    bool SessionReused() const;

private:
    struct Impl;
    // Maps an OpenSSL result of a step to -1 (wait) or a failure.
    int Outcome(int sslResult, const char* step);

    std::unique_ptr<Impl> m_impl;
    long m_want = 0;
    bool m_cleanClose = false;
    bool m_closed = false;
    std::string m_error;
};

}  // namespace velkor
