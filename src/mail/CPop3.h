// CPop3: reads a POP3 mailbox.
//
// Connect (greeting), Login (USER, PASS, then LIST and UIDL, which fill the
// message count, sizes and unique ids), then read by 0-based index (index
// + 1 on the wire): GetMsgHeader (TOP n 0), GetMsg (RETR, optionally DELE),
// Delete (DELE); Logoff (QUIT, the socket stays) and Disconnect (close).
// The SOCKS5 server of the process-wide proxy document is used when it is
// enabled.
//
// Where this client departs from the older one, so that it reads what real
// servers send and never hangs or grows without bound:
// - every reply is read as whole CR LF lines within a deadline of
//   m_nTimeout seconds; a multi-line reply ends at the line holding only
//   "." (also right after the status line: an empty message or listing);
// - message and header texts have the stuffed dots removed ("..x" is ".x")
//   and keep every byte, NUL bytes included; a message ends with its last
//   line break, so its size is its real length (nothing trailing is cut);
// - a message, header or listing longer than the settable bound
//   (kDefaultMaxReplyBytes, 256 MiB) fails with kErrTooLarge and closes the
//   connection rather than growing memory without end;
// - a user name or password holding CR, LF or NUL is refused before
//   anything is sent (kErrLineBreak);
// - TLS (beyond the older client): m_nTls kTlsExplicit sends STLS after
//   the greeting and upgrades; kTlsImplicit speaks TLS from the first byte
//   (port 995). A refused STLS, anything sent behind its +OK, or a failed
//   verification ends Connect with kErrTls before USER or PASS is sent.
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

class CPop3 {
public:
    // Error codes (GetLastError).
    static constexpr int kErrNoMemory = 1;   // kept for the numbering; not set
    static constexpr int kErrSocket = 2;     // socket not created, or a receive failed or timed out
    static constexpr int kErrLineBreak = 3;  // a user name or password holds CR, LF or NUL
    static constexpr int kErrConnect = 4;    // no connection or greeting; not logged in
    static constexpr int kErrTooLarge = 5;   // a reply passed the size bound
    static constexpr int kErrTls = 6;        // TLS asked for but refused or not verified

    static constexpr std::size_t kDefaultMaxReplyBytes = 256u * 1024 * 1024;
    static constexpr unsigned int kDefaultPort = 110;

    explicit CPop3(const char* server = nullptr, unsigned int port = kDefaultPort);
    ~CPop3();
    CPop3(const CPop3&) = delete;
    CPop3& operator=(const CPop3&) = delete;

    // Stores both; a null server changes nothing.
    void SetServerProperties(const char* server, unsigned int port);
    int Connect();
    // USER and PASS, then LIST and (for a non-empty mailbox) UIDL. The third
    // argument has no effect.
    int Login(const char* user, const char* password, int unused = 0);
    int Logoff();
    // Closes the socket; always 1.
    int Disconnect();
    int GetMsgCount() const { return m_nMsgCount; }
    // The listed size; 4294967295 for an index outside the list.
    std::uint32_t GetMsgLength(int index) const;
    // The unique id; "" for an index outside the list.
    std::string GetMsgID(int index) const;
    // The header (TOP index+1 0) without the trailing line breaks.
    int GetMsgHeader(int index, std::string& header);
    // The whole message (RETR index+1); `size` grows from its value on
    // entry by the bytes read as they arrive and ends at entry + length.
    // With `deleteAfter`, DELE follows (its result is not the outcome).
    int GetMsg(int index, std::string& message, std::uint32_t& size, int deleteAfter);
    int Delete(int index);
    int GetLastError() const { return m_nLastError; }
    int GetLastWSAError() const { return m_nLastWSAError; }
    // A short sentence for an error code ("unknown error" for others).
    static const char* ErrorText(int code);
    // The last error as a sentence: its text, the socket's cause where the
    // connection failed, and the server's last reply where there is one.
    std::string GetErrorText() const;
    // The last status line, for messages to users.
    const std::string& GetLastReply() const { return m_strLastReply; }
    // The size bound of one reply (message, header or listing), which is
    // also the bound of one line.
    void SetMaxReplyBytes(std::size_t bytes);

    int m_nTimeout = 60;
    // TLS: kTlsOff, kTlsExplicit or kTlsImplicit, and how the certificate
    // is checked (its host defaults to the server's name).
    int m_nTls = kTlsOff;
    TlsSettings m_tls;
    // Beyond the older client: sees every command and reply line.
    ProtocolTrace m_trace;

private:
    // Reads one status line; 1 when it starts with "+OK".
    int ReadStatus();
    // Reads the lines of a multi-line reply up to "." (dots unstuffed), each
    // followed by CR LF, into text; `size` (when given) follows the growth.
    // `expected` (the listed size) is reserved up front.
    int ReadMultiLine(std::string& text, std::uint32_t* size, std::size_t expected = 0);
    // Sends a command and reads its status line.
    int Command(const std::string& line);
    int ReadFailed(CLineReader::Result result);
    // Fails a reply that passed the bound and closes the connection.
    int TooLarge();
    int List();
    int STAT();
    int UIDL();
    void CloseLink();

public:
    int m_nLastError = 0;
    int m_nLastWSAError = 0;
    int m_bConnected = 0;
    int m_bLoggedIn = 0;
    unsigned int m_nPort = kDefaultPort;
    std::string m_strServer;
    CVLKSocket m_Socket;
    int m_nMsgCount = 0;
    std::vector<std::uint32_t> m_arrMsgLength;
    std::vector<std::string> m_arrMsgID;

private:
    CLineReader m_reader{m_Socket, kDefaultMaxReplyBytes};
    std::size_t m_nMaxReplyBytes = kDefaultMaxReplyBytes;
    std::string m_strLastReply;
    std::string m_strTlsError;
};

}  // namespace velkor
