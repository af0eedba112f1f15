// CFtpLink: the FTP protocol engine.
//
// Owns the control connection and the data connection (two CVLKSockets with
// 30-second time-outs), logs on with one of nine logon sequences (direct, or
// through one of eight kinds of FTP firewall), sends commands, collects
// single- and multi-line replies in a reply queue and judges every reply
// against a fixed table of which code means what after which command.
//
// Reply statuses (GetLastError):
//   0 reply not expected after this command   5 not logged in
//   1 success                                 6 accepted, more needed
//   2 refused, or no reply (602)              7 connection failure
//   3 preliminary, a completion reply follows 8 code 0 or not in the table
//   4 transient failure
// A command whose line cannot be sent or whose reply cannot be read ends with
// status 7 and logs out; the next command logs on again by itself with the
// stored arguments.
//
// With a proxy configuration registered (CPRDLDoc::Getthis(), proxies
// enabled, FTP proxy host set) the control connection goes through that host
// with SOCKS5 and the data connection with SOCKS4.
//
// TLS (beyond the older client, RFC 4217): with m_nTls kTlsExplicit the
// logon sends AUTH TLS after the greeting and upgrades on its 234 reply;
// kTlsImplicit speaks TLS from the first byte (port 990 by custom). After
// the logon PBSZ 0 and PROT P protect the data connections too, each one
// resuming the control connection's TLS session (servers refuse data
// connections that do not). A server that refuses or lacks AUTH TLS ends
// the logon before USER is sent, unless m_bTlsOptional lets it go on in
// plaintext; why TLS failed is in m_strTlsError.
//
// Hostile servers: one reply may hold at most kMaxReplyBytes, one listing
// line at most kMaxListingLineBytes and the reply queue kMaxQueuedLines; past
// that the command fails with status 7 and the connection is dropped.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "FtpCodes.h"
#include "../socket/CLineReader.h"
#include "../socket/CVLKSocket.h"
#include "../socket/ProtocolTrace.h"

namespace velkor {

class CFtpLink {
public:
    static constexpr int kCommandCount = 42;

    // The command labels; m_nCommand indexes them while a reply is awaited.
    static const std::array<std::string, kCommandCount> strCommandTable;
    // The reply codes that are the columns of nStatusTable (600-602 are not
    // FTP codes: 602 stands for an empty reply queue).
    static const std::array<int, kCommandCount> nStatusList;
    // Status of each code of nStatusList after each command of strCommandTable.
    static const std::array<std::array<int, kCommandCount>, kCommandCount> nStatusTable;

    // Bounds against servers that never end a reply or a listing line.
    static constexpr std::size_t kMaxReplyBytes = 1 << 20;
    static constexpr std::size_t kMaxListingLineBytes = 1 << 20;
    // Memory a whole listing may take, each line counted with the size of
    // its string object (about 1.4 million entries of usual length), so a
    // server that streams short lines forever is stopped too.
    static constexpr std::size_t kMaxListingBytes = 128u << 20;
    // Reply lines the queue may hold (a server that answers more than it is
    // asked would otherwise make it grow for the whole session).
    static constexpr std::size_t kMaxQueuedLines = 65536;
    // Memory the reply queue may take (lines counted as for listings): a
    // server that adds long unasked lines to every reply is stopped too.
    static constexpr std::size_t kMaxQueuedBytes = 4u << 20;
    // Default time-out of both channels, in seconds.
    static constexpr unsigned int kChannelTimeout = 30;
    // A whole reply (all its lines) must arrive within this many times the
    // control connection's time-out, however slowly it trickles in; then
    // the command fails like a receive that timed out (status 7).
    static constexpr unsigned int kReplyDeadlineFactor = 2;
    // Time-out of the completion reply read after a transfer or listing.
    static constexpr unsigned int kDirectReadTimeout = 5;
    // How many protocol numbers of a 522 reply EPRT/EPSV try at most.
    static constexpr int kMaxExtendedRetries = 4;

    CFtpLink();
    virtual ~CFtpLink();
    CFtpLink(const CFtpLink&) = delete;
    CFtpLink& operator=(const CFtpLink&) = delete;

    // Connects and logs on; true when logged on and the home directory is
    // known. logonType 0 is direct; 1-8 go through the firewall fwHost:fwPort.
    // A connection left from an earlier logon is closed first. When the
    // server refuses the logon, its refusal stays in m_arrLastMessage after
    // the connection is closed.
    bool Login(const std::string& host, int port, const std::string& user,
               const std::string& password, const std::string& account,
               const std::string& fwHost, const std::string& fwUser,
               const std::string& fwPassword, int fwPort, int logonType);
    // True at once while logged on (or logging on); otherwise Login again with
    // the stored arguments.
    bool ReLogin();
    // Sends QUIT when logged on (unless the connection is lost), closes both
    // channels, clears the message lists. Always true.
    bool Logout();

    // One data or control channel.
    struct Channel {
        CVLKSocket m_socket;
        unsigned int m_nTimeout = kChannelTimeout;
        bool m_bConnected = false;
        bool m_bLost = false;  // control channel: a command could not complete

        // Connects (true at once when connected), through the registered FTP
        // proxy with the given SOCKS type when one is configured (SOCKS5
        // with user/password when a user is given).
        bool Open(const std::string& host, int port, int proxyType, const std::string& user = "",
                  const std::string& password = "");
        // Closes the socket when connected.
        void Shut();
    };

    std::uint8_t m_bAbort = 0;
    std::uint8_t m_bTransferring = 0;
    std::uint32_t m_nTransferred = 0;    // stays at 4294967295 past 4 GiB
    std::uint64_t m_nTransferred64 = 0;  // the same count, never cut
    std::string m_strHost;
    int m_nPort = 0;
    std::string m_strUser, m_strPassword, m_strAccount;
    std::string m_strFwHost, m_strFwUser, m_strFwPassword;
    int m_nFwPort = 0;
    int m_nLogonType = 0;
    int m_nLoginState = kFtpLoggedOff;  // kFtpLoggedOn, kFtpLoggingOn, kFtpLoggedOff
    std::string m_strHomeDir;
    std::string m_strCurrentDir;
    std::string m_strTransferType;
    std::vector<std::string> m_arrReplyQueue;
    std::vector<std::string> m_arrLastMessage;
    std::vector<std::string> m_arrListing;
    int m_nCommand = -1;
    int m_nLastError = 0;
    int m_nLastReply = 0;
    // Passive mode connects to the host the 227 reply names (false, the
    // default), or to the control connection's peer with the reply's port
    // (true), so a hostile reply cannot send the data to another host.
    bool m_bPassiveUsesControlPeer = false;
    // Beyond the older client, which always listed in passive mode: listings
    // (LIST, NLST, and the size lookup that falls back on LIST) take their
    // data connection in active mode (PORT) when set, as transfers do when
    // asked to, for servers and networks where passive mode cannot work.
    bool m_bListingsActive = false;
    // Beyond the older client: List asks for MLSD (RFC 3659, facts a
    // program can read: exact sizes, UTC times) instead of LIST when set and
    // the server's FEAT reply offers MLST; m_bListingIsMlsd then says that
    // m_arrListing holds MLSD lines (ParseEntry reads either kind).
    bool m_bUseMlsd = false;
    bool m_bListingIsMlsd = false;
    // Beyond the older client: when set, the logon reads FEAT before PWD and
    // sends OPTS UTF8 ON where the server offers UTF8 (RFC 2640), so that
    // names go both ways in UTF-8 (as the views read them).
    bool m_bUseUtf8 = false;
    // Beyond the older client: sees every control line sent and read.
    ProtocolTrace m_trace;
    // The features of the server's FEAT reply, by upper-cased name ("MLST",
    // "UTF8", "EPSV", ...) with what follows the name; read once per logon
    // (Feat) when first needed. At most kMaxFeatures are kept.
    std::map<std::string, std::string> m_features;
    static constexpr std::size_t kMaxFeatures = 64;
    // Sends FEAT once per logon and keeps what it offers; true when the
    // server answered 211.
    bool Feat();
    // Beyond the older client, for SOCKS proxies that want credentials or
    // take SOCKS5 only: the user and password the proxy asks for (empty:
    // none, as before), and the proxy's refusal of the last data
    // connection (a kProxy... code of CVLKSocket, 0 when none). A data
    // connection the proxy refuses with SOCKS4 is tried once more with
    // SOCKS5 (the server's passive port still waits): many proxies take
    // SOCKS5 only, or SOCKS4 only without authentication.
    std::string m_strProxyUser;
    std::string m_strProxyPassword;
    int m_nLastDataProxyError = 0;
    // The proxy's refusal of the last control connection (0 when none).
    int m_nLastControlProxyError = 0;
    // TLS: kTlsOff (the default), kTlsExplicit or kTlsImplicit, and how the
    // certificate is checked (an empty host: the host connected to).
    int m_nTls = kTlsOff;
    TlsSettings m_tls;
    // Explicit TLS only: a server that refuses AUTH TLS is used in plaintext
    // (as the user asked), instead of ending the logon.
    bool m_bTlsOptional = false;
    // Why the last logon or data connection failed in TLS ("" when it did
    // not): "the server refused AUTH TLS: 534 ...", a certificate reason.
    std::string m_strTlsError;

protected:
    // --- control connection and replies ---
    // Sends one line (the caller appends "\r\n"; a blank line sends nothing)
    // and reads its reply into the queue; logs on again first when needed.
    // A line holding CR, LF or NUL before its end is refused before anything
    // is sent (false, status 2, socket error 10022), so no argument of any
    // command wrapper can smuggle in a second command.
    bool SendCommand(const std::string& line);
    // Consumes the oldest reply and judges it for m_nCommand; statuses 1 and
    // 6 are success.
    bool CheckStatus();
    // Reads one reply with the control time-out lowered to 5 seconds. When
    // no byte of a reply came in that time the connection stays up (false):
    // a server may send no completion at all (Pure-FTPd after a TLS data
    // connection cut short), and the next command's reply is then in step.
    bool ReadStringDirectly();
    int GetLastError() const { return m_nLastError; }
    void ClearAllMsg();
    static int GetNumericCount(const std::string& s, int start);
    static int GetFirstNumericPos(const std::string& s, int start);

    // --- command wrappers: true for status 1 or 6 ---
    bool User(const std::string& name);
    bool Pass(const std::string& password);
    bool Acct(const std::string& account);
    bool Cwd(const std::string& path);
    bool Cdup();
    bool Smnt(const std::string& path);
    bool Rein();
    bool ReinW();
    bool Quit();
    bool Port(const std::string& text);
    bool Pasv();
    bool Mode(const std::string& mode);
    bool Type(const std::string& type);
    bool Stru(const std::string& structure);
    bool Allo(unsigned int size);
    bool Allo(unsigned int size, unsigned int record);
    bool Rest(const std::string& marker);
    bool Rest(std::uint32_t offset);
    bool Rest(std::uint64_t offset);
    bool Stor(const std::string& path);
    bool StorW();
    bool Stou();
    bool StouW();
    bool Retr(const std::string& path);
    bool RetrW();
    bool Appe(const std::string& path);
    bool AppeW();
    bool Rnfr(const std::string& path);
    bool Rnto(const std::string& path);
    bool Dele(const std::string& path);
    bool Rmd(const std::string& path);
    bool Mkd(const std::string& path);
    bool Pwd(std::string& out);
    bool Abor();
    bool Syst();
    bool Stat(const std::string& path);
    bool Help();
    bool Site(const std::string& text);
    bool Noop();
    bool Size(const std::string& path);

    // --- paths ---
    static void FormatPathStringToNet(std::string& path);
    static void FormatPathStringToLocal(std::string& path);
    // A copy of path with '/' separators.
    static std::string NetPath(std::string path);
    std::string GetFullPos(const std::string& path) const;
    std::string GetRelativePos(const std::string& path) const;
    std::string GetPath(const std::string& path) const;
    static std::string GetName(const std::string& path);

    // --- data channel ---
    bool ConnectDataChannel(const std::string& host, int& port);
    bool DisconnectDataChannel();
    // One receive: the count, 0 at the end of the data, -1 on error or when
    // the channel is not connected.
    int ReadDataChannel(char* buffer, const int& size);
    bool WriteDataChannel(char* buffer, int& size);
    // A listing into m_arrListing, a line per entry. A line over
    // kMaxListingLineBytes or a listing over kMaxListingBytes fails with
    // status 7 and drops the connection. List changes into a directory whose
    // path holds a blank and lists it without an argument (servers that
    // split the argument at blanks would list something else). Before its
    // first MLSD of a logon, where the server offers the "unix.mode" fact but
    // does not send it (pyftpdlib), List asks for it with OPTS MLST, so that
    // MLSD entries carry their permissions.
    bool List(const std::string& path);
    bool Nlst(const std::string& path);
    // The listing of `verb path` (path may also carry options, as "-a").
    bool ReadListing(const std::string& path, const char* verb, int command, bool ascii);
    bool Eprt(const std::string& argument);
    bool Epsv();

    // Passive set-up: PASV, then connect to the address of its 227 reply,
    // or with m_bPassiveUsesControlPeer to the control connection's peer.
    // With a server reached over IPv6: EPSV, and the control connection's
    // peer at the port of its 229 reply.
    bool SetupPassiveDataChannel();
    // Active set-up: listen next to the control connection and send PORT
    // (over IPv6: EPRT |2|address|port|).
    bool SetupActiveDataChannel();
    // True when the control connection's peer (through a proxy: its
    // target) is an IPv6 address.
    bool ServerIsIPv6() const;
    // Active mode, after the preliminary reply: accept the server's data
    // connection (within the data time-out) as the data channel. Only a
    // peer with the control connection's peer address is taken; any other
    // host that connects is closed and the wait goes on, so a third host
    // cannot become the data of a download.
    bool AcceptActiveDataChannel();
    // After the preliminary reply of a transfer or listing: in active mode
    // accept the server's connection; then, when the control connection is
    // protected, the TLS handshake on the data connection.
    bool ReadyDataChannel(bool active);
    // The control connection's peer address (through a proxy: its target).
    bool ControlPeerAddress(std::string& address) const;
    // Drops the listening socket of active mode.
    void DiscardActiveListener();

    // Parses "(h1,h2,h3,h4,p1,p2)" out of a 227 reply line.
    static bool ParsePassiveReply(const std::string& line, std::string& host, int& port);
    // Parses "(|||port|)" out of a 229 reply line (RFC 2428).
    static bool ParseExtendedPassiveReply(const std::string& line, int& port);

    Channel m_data;
    Channel m_control;
    // A command outside the reply table (AUTH, PBSZ, PROT, MDTM): true on
    // a 2xx.
    bool UnlistedCommand(const std::string& line);

private:
    bool Open(const std::string& host, int port);
    bool OpenW();
    void Close();
    bool ReadString();
    int GetLastMsg();
    bool DelLastMsg();
    bool ConnectControlChannel(const std::string& host, int& port);
    bool DisconnectControlChannel();
    bool ReadControlChannel(std::string& out, const int& size);
    bool WriteControlChannel(const std::string& line);
    static bool IsNumeric(const std::string& s, int start, int count);
    // The text between the first double quote of line and the next one.
    static bool BetweenQuotes(const std::string& line, std::string& out);
    // Memory a kept line takes, for the queue and listing bounds.
    static std::size_t Footprint(const std::string& line) {
        return line.size() + sizeof(std::string);
    }

    // Sends a command line with label index `command` and judges its reply.
    bool Command(int command, const std::string& line);
    // The same for a command with a completion reply read at once.
    bool CommandWithCompletion(int command, const std::string& line);
    bool ReadCompletion(int command);
    // After CWD/CDUP: the current directory from PWD.
    bool UpdateCurrentDir();
    bool RunLogonSequence(const std::string& hostText);
    bool SendLogonStep(int step, const std::string& hostText);
    bool ExtendedCommand(const std::string& verb, std::string argument, bool replaceProtocol);
    // The TLS upgrade of the control connection (implicit: before the
    // greeting; explicit: after AUTH TLS), then false with m_strTlsError.
    bool SecureControlChannel(const std::string& host);
    // AUTH TLS after the greeting; false when the logon must end.
    bool NegotiateExplicitTls(const std::string& host);

    std::unique_ptr<CSocket> m_pDataListener;
    // Lines of the control connection (bounded by kMaxReplyBytes per line).
    CLineReader m_controlReader;
    // Feat was asked in this logon (its answer, good or not, stands).
    bool m_bFeaturesRead = false;
    // The MLSD facts were chosen in this logon (asked once, whatever the answer).
    bool m_bMlstFactsChosen = false;
    // ReadStringDirectly waits for a reply that may never come.
    bool m_bDirectRead = false;
};

}  // namespace velkor
