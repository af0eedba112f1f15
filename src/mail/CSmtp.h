// CSmtp: sends whole mail texts to an SMTP server.
//
// Set the server with SetServerProperties, Connect (greeting, HELO or EHLO,
// AUTH LOGIN when asked), hand over RFC 5322 texts one at a time with
// SendMessageA, and Disconnect. For each message the envelope comes from
// the message's own header: MAIL FROM the From address, RCPT TO every To,
// Cc and Bcc address in that order. The SOCKS5 server of the process-wide
// proxy document is used when it is enabled.
//
// Where this client departs from the older one, so that real servers
// accept it and nothing leaks or is lost:
// - a reply is read whole, up to the "ddd " line of its own code (multi-line
//   EHLO answers arrive in any number of pieces), within kMaxReplyLines lines of
//   kMaxReplyLineBytes and a deadline of m_nTimeout seconds;
// - HELO/EHLO name the host's fully qualified name, or an address literal
//   such as "[127.0.0.1]" when the host name has no dot;
// - the envelope is written "MAIL FROM:<a>" and "RCPT TO:<b>";
// - every Bcc and Resent-Bcc field (any letter case) is removed from the
//   message before DATA; the envelope still names every recipient;
// - the data has CR LF line ends only (a bare CR or LF becomes CR LF) and
//   every line starting with "." gets a second dot; the terminator is
//   ".\r\n" after a final line break (no extra empty line);
// - an address, user name or password holding CR, LF or NUL is refused
//   before anything is sent (error kErrLineBreak);
// - AUTH LOGIN expects 334, 334 and 235; a refusal fails Connect with
//   kErrAuth and closes the connection. Beyond the older client: a server
//   whose EHLO reply offers AUTH PLAIN but not LOGIN gets one AUTH PLAIN
//   line (RFC 4616), which must be answered 235.
// - TLS (beyond the older client): m_nTls kTlsExplicit sends EHLO,
//   STARTTLS, then EHLO again over TLS; kTlsImplicit speaks TLS from the
//   first byte (port 465). A server that does not offer STARTTLS, refuses
//   it, sends anything behind its 220, or fails verification ends Connect
//   with kErrTls before any credentials or mail are sent.
// Replies go through the socket layer's bounded line reader, which owns its
// receive buffer (there is no separate 1024-byte area).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "../socket/CLineReader.h"
#include "../socket/CVLKSocket.h"
#include "../socket/ProtocolTrace.h"

namespace velkor {

class CSmtp {
public:
    // Error codes (GetLastError).
    static constexpr int kErrNoMemory = 1;   // kept for the numbering; not set
    static constexpr int kErrSocket = 2;     // socket not created, or a reply not received
    static constexpr int kErrGreeting = 3;   // greeting missing or not 220
    static constexpr int kErrConnect = 4;    // no connection (or a message while not connected)
    static constexpr int kErrSend = 5;       // a command could not be sent
    static constexpr int kErrAuth = 6;       // AUTH LOGIN refused
    static constexpr int kErrReply = 7;      // a reply was not 250
    static constexpr int kErrData = 8;       // DATA was not answered 354
    static constexpr int kErrQuit = 9;       // QUIT was not answered 221
    static constexpr int kErrLineBreak = 10; // an address, user or password holds CR, LF or NUL
    static constexpr int kErrTls = 11;       // TLS asked for but not offered, refused or not verified

    static constexpr std::size_t kMaxReplyLineBytes = 4096;
    static constexpr int kMaxReplyLines = 256;
    // Bytes per piece of a message (and per sentBytes step). Pieces the
    // kernel takes without waiting go out up to kPiecesAtOnce per call.
    static constexpr std::size_t kChunkBytes = 8192;
    static constexpr std::size_t kPiecesAtOnce = 128;

    CSmtp();
    ~CSmtp();
    CSmtp(const CSmtp&) = delete;
    CSmtp& operator=(const CSmtp&) = delete;

    // Takes effect at the next Connect.
    void SetServerProperties(std::string server, unsigned int port, int auth,
                             const std::string& user, const std::string& password);
    // 1 when connected (at once when already connected), else 0 with the
    // error code.
    int Connect();
    // Sends one message: envelope from its header, Bcc fields removed and
    // the text escaped (CR LF line ends, leading dots doubled) piece by piece
    // as it goes out, sentBytes advanced after every kChunkBytes piece of the
    // escaped text. 1 when the server accepted it. On failure the connection
    // stays open (Rset, then try again with the same text). Unlike the
    // documented form, which escaped the caller's string in place, the
    // caller's text is never changed: a retry of the same string would
    // otherwise send every leading dot doubled once more.
    int SendMessageA(std::string& message, std::uint32_t& sentBytes);
    // Beyond the older client: the same with the envelope's recipients
    // given (RCPT TO each of them; the header's To, Cc and Bcc fields are
    // not read for the envelope, and Bcc fields still leave the data).
    int SendMessageTo(std::string& message, const std::vector<std::string>& recipients,
                      std::uint32_t& sentBytes);
    int Rset();
    // QUIT and close; 1 at once when not connected, else whether the QUIT
    // reply was 221 (the connection is closed either way).
    int Disconnect();
    int GetLastError() const { return m_nLastError; }
    int GetLastWSAError() const { return m_nLastWSAError; }
    // A short sentence for an error code ("unknown error" for others).
    static const char* ErrorText(int code);
    // The last error as a sentence: its text, the socket's cause where the
    // connection failed, and the server's last reply where there is one.
    std::string GetErrorText() const;
    // The last reply's lines (CR LF between them), for messages to users.
    const std::string& GetLastReply() const { return m_strLastReply; }

    int m_nTimeout = 60;
    // TLS: kTlsOff, kTlsExplicit or kTlsImplicit, and how the certificate
    // is checked (its host defaults to the server's name).
    int m_nTls = kTlsOff;
    TlsSettings m_tls;
    // Beyond the older client: sees every command and reply line.
    ProtocolTrace m_trace;
    // Expected code and error code per reply rule: 250/7, 220/4, 354/8,
    // 221/9 (a greeting failure is reported as 3 by Connect).
    int m_Reply[4][2];

private:
    // In place: CR LF line ends only, a second dot on lines starting with
    // ".". Always 1.
    int CookBody(std::string& text);
    int TransmitMsg(std::string& message, std::uint32_t& sentBytes,
                    const std::vector<std::string>* envelopeTo = nullptr);
    // Reads one whole reply and checks it against a rule; 1 or 0.
    int GetResponse(unsigned int rule);
    // Reads one whole reply; its code (0 when its last line has none), or
    // -1 when none came whole (error set).
    int ReadReply();
    // Sends a command line; false (error code set when given) on failure.
    bool SendLine(const std::string& line, int errorCode);
    void CloseLink();
    // The name for HELO/EHLO.
    std::string HeloName() const;

public:
    std::string m_strServer;
    unsigned int m_nPort = 0;
    int m_bAuth = 0;
    std::string m_strUser;
    std::string m_strPassword;
    CVLKSocket m_Socket;
    int m_bConnected = 0;
    int m_nLastError = 0;
    int m_nLastWSAError = 0;

private:
    CLineReader m_reader{m_Socket, kMaxReplyLineBytes};
    std::string m_strLastReply;
    std::string m_strTlsError;
    // EHLO or HELO and its 250; with STARTTLS the upgrade and EHLO again.
    bool Greet();
    // Whether an EHLO reply names PLAIN among its AUTH mechanisms but not LOGIN.
    static bool OffersOnlyPlain(const std::string& ehloReply);
};

}  // namespace velkor
