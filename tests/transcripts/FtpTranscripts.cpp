// FTP control and data conversations: every transcript in transcripts/ftp.
//
// Calls: Login [host port user password account fwHost fwUser fwPassword
// fwPort type] (without arguments: user "u", password "p" on the peer),
// the command wrappers by name (Noop, Type X, Cwd X, Retr X, List X, ...),
// SendCommand TEXT after "set m_nCommand N", CheckStatus, and the file
// operations: Download/Download64/Upload REMOTE-or-LOCAL ... LIMIT OFFSET
// SIZE PASSIVE (their counter starts at 0 and is observed as "moved"),
// Delete, DeleteFileA, Rename, MoveFileA, GetFileLength(64), KeepAlive,
// Logout. Observed beyond the fields: the path helpers (GetPath X, GetName
// X, GetFullPos X, GetRelativePos X after "set m_strHomeDir H"), the digit
// scans (GetNumericCount S N, GetFirstNumericPos S N) and "passive LINE"
// (a 227 line as host:port, or "refused"). "set NAME VALUE" sets a public field; "AbortInHook" makes the wait
// hook ask for an abort once a transfer runs (then "? abort-overshoot N" is
// what moved after the request).
#include <gtest/gtest.h>

#include <stdexcept>

#include "FtpTestSupport.h"
#include "Transcript.h"
#include "ftp/CFtp.h"
#include "platform/LastError.h"
#include "platform/WaitHook.h"

namespace velkor::test {
namespace {

class FtpUnderTest : public CFtp {
public:
    using CFtpLink::CheckStatus;
    using CFtpLink::Cdup;
    using CFtpLink::Cwd;
    using CFtpLink::Dele;
    using CFtpLink::Epsv;
    using CFtpLink::Eprt;
    using CFtpLink::GetFirstNumericPos;
    using CFtpLink::GetFullPos;
    using CFtpLink::GetLastError;
    using CFtpLink::GetName;
    using CFtpLink::GetNumericCount;
    using CFtpLink::GetPath;
    using CFtpLink::GetRelativePos;
    using CFtpLink::List;
    using CFtpLink::m_control;
    using CFtpLink::m_data;
    using CFtpLink::Nlst;
    using CFtpLink::Noop;
    using CFtpLink::ParsePassiveReply;
    using CFtpLink::Rest;
    using CFtpLink::Retr;
    using CFtpLink::Rnfr;
    using CFtpLink::Rnto;
    using CFtpLink::SendCommand;
    using CFtpLink::Size;
    using CFtpLink::Type;
};

class FtpClient : public TranscriptClient {
public:
    explicit FtpClient(const Vars& vars) : m_port(vars.at("port")) {}

    std::string Call(const std::string& name, const Words& a) override {
        using One = bool (FtpUnderTest::*)(const std::string&);
        static const std::map<std::string, One> oneArg = {
            {"Type", &FtpUnderTest::Type},   {"Cwd", &FtpUnderTest::Cwd},
            {"Dele", &FtpUnderTest::Dele},   {"Retr", &FtpUnderTest::Retr},
            {"Rnfr", &FtpUnderTest::Rnfr},   {"Rnto", &FtpUnderTest::Rnto},
            {"Size", &FtpUnderTest::Size},   {"Eprt", &FtpUnderTest::Eprt},
            {"List", &FtpUnderTest::List},   {"Nlst", &FtpUnderTest::Nlst},
            {"SendCommand", &FtpUnderTest::SendCommand},
            {"Delete", &FtpUnderTest::Delete}, {"DeleteFileA", &FtpUnderTest::DeleteFileA},
        };
        if (auto f = oneArg.find(name); f != oneArg.end()) return Str((m_ftp.*f->second)(a.at(0)));
        if (name == "Login") {
            if (a.empty()) return Str(m_ftp.Login("127.0.0.1", std::stoi(m_port), "u", "p", "", "", "", "", 0, 0));
            return Str(m_ftp.Login(a.at(0), std::stoi(a.at(1)), a.at(2), a.at(3), a.at(4), a.at(5),
                                   a.at(6), a.at(7), std::stoi(a.at(8)), std::stoi(a.at(9))));
        }
        if (name == "Noop") return Str(m_ftp.Noop());
        if (name == "Cdup") return Str(m_ftp.Cdup());
        if (name == "Epsv") return Str(m_ftp.Epsv());
        if (name == "Rest") return Str(m_ftp.Rest(static_cast<std::uint32_t>(std::stoul(a.at(0)))));
        if (name == "CheckStatus") return Str(m_ftp.CheckStatus());
        if (name == "KeepAlive") return Str(m_ftp.KeepAlive());
        if (name == "Logout") return Str(m_ftp.Logout());
        if (name == "Rename") return Str(m_ftp.Rename(a.at(0), a.at(1)));
        if (name == "MoveFileA") return Str(m_ftp.MoveFileA(a.at(0), a.at(1)));
        if (name == "GetFileLength") return Str(m_ftp.GetFileLength(a.at(0)));
        if (name == "GetFileLength64") return Str(static_cast<unsigned long long>(m_ftp.GetFileLength64(a.at(0))));
        if (name == "Download" || name == "Upload" || name == "Download64") {
            const auto n = [&](std::size_t i) { return std::stoull(a.at(i)); };
            const bool passive = a.at(5) == "1";
            std::uint32_t moved32 = 0;
            std::uint64_t moved64 = 0;
            std::uint32_t r;
            if (name == "Download64") {
                r = m_ftp.Download64(a.at(0), a.at(1), moved64, n(2), n(3), n(4), passive);
            } else {
                const auto u = [&](std::size_t i) { return static_cast<std::uint32_t>(n(i)); };
                r = name == "Download" ? m_ftp.Download(a.at(0), a.at(1), moved32, u(2), u(3), u(4), passive)
                                       : m_ftp.Upload(a.at(0), a.at(1), moved32, u(2), u(3), u(4), passive);
                moved64 = moved32;
            }
            m_moved = moved64;
            return Str(r);
        }
        if (name == "AbortInHook") {
            m_hook = std::make_unique<ScopedWaitHook>([this] {
                // The hook also runs while ABOR waits: only the first request counts.
                if (m_ftp.m_bTransferring && m_ftp.m_bAbort == 0) {
                    m_seenAtAbort = m_ftp.m_nTransferred64;
                    m_ftp.m_bAbort = 1;
                }
            });
            return "";
        }
        if (name == "set") {
            const std::string& f = a.at(0);
            const int v = f == "m_strTransferType" || f == "m_strHomeDir" ? 0 : std::stoi(a.at(1));
            if (f == "timeout") m_ftp.m_control.m_nTimeout = static_cast<unsigned>(v);
            else if (f == "m_nCommand") m_ftp.m_nCommand = v;
            else if (f == "m_bAbort") m_ftp.m_bAbort = static_cast<std::uint8_t>(v);
            else if (f == "m_bPassiveUsesControlPeer") m_ftp.m_bPassiveUsesControlPeer = v != 0;
            else if (f == "m_strTransferType") m_ftp.m_strTransferType = a.at(1);
            else if (f == "m_strHomeDir") m_ftp.m_strHomeDir = a.at(1);
            else if (f == "m_nTls") m_ftp.m_nTls = v;
            else if (f == "m_bTlsOptional") m_ftp.m_bTlsOptional = v != 0;
            else throw std::invalid_argument("no field " + f);
            return "";
        }
        throw std::invalid_argument("no call " + name);
    }

    std::string Observe(const std::string& name, const Words& a) override {
        if (name == "GetPath") return m_ftp.GetPath(a.at(0));
        if (name == "GetName") return FtpUnderTest::GetName(a.at(0));
        if (name == "GetFullPos") return m_ftp.GetFullPos(a.at(0));
        if (name == "GetRelativePos") return m_ftp.GetRelativePos(a.at(0));
        if (name == "GetNumericCount") return Str(FtpUnderTest::GetNumericCount(a.at(0), std::stoi(a.at(1))));
        if (name == "GetFirstNumericPos") return Str(FtpUnderTest::GetFirstNumericPos(a.at(0), std::stoi(a.at(1))));
        if (name == "passive") {  // a 227 line as host:port, or "refused"
            std::string host;
            int port = -1;
            return FtpUnderTest::ParsePassiveReply(a.at(0), host, port) ? host + ":" + Str(port) : "refused";
        }
        if (name == "m_nLoginState") return Str(m_ftp.m_nLoginState);
        if (name == "m_nLastReply") return Str(m_ftp.m_nLastReply);
        if (name == "m_nCommand") return Str(m_ftp.m_nCommand);
        if (name == "GetLastError") return Str(m_ftp.GetLastError());
        if (name == "GetLastMessage") return m_ftp.GetLastMessage();
        if (name == "socket-error") return Str(GetLastSocketError());
        if (name == "m_strHomeDir") return m_ftp.m_strHomeDir;
        if (name == "m_strTlsError") return m_ftp.m_strTlsError;
        if (name == "m_strCurrentDir") return m_ftp.m_strCurrentDir;
        if (name == "m_strTransferType") return m_ftp.m_strTransferType;
        if (name == "m_arrLastMessage") return JoinLines(m_ftp.m_arrLastMessage);
        if (name == "m_arrListing") return JoinLines(m_ftp.m_arrListing);
        if (name == "queued-lines") return Str(static_cast<unsigned long long>(m_ftp.m_arrReplyQueue.size()));
        if (name == "m_nTransferred") return Str(m_ftp.m_nTransferred);
        if (name == "m_nTransferred64") return Str(static_cast<unsigned long long>(m_ftp.m_nTransferred64));
        if (name == "m_bTransferring") return Str(int{m_ftp.m_bTransferring});
        if (name == "data-connected") return Str(m_ftp.m_data.m_bConnected);
        if (name == "moved") return Str(static_cast<unsigned long long>(m_moved));
        if (name == "abort-overshoot") return Str(static_cast<unsigned long long>(m_moved - m_seenAtAbort));
        throw std::invalid_argument("no observation " + name);
    }

private:
    std::string m_port;
    FtpUnderTest m_ftp;
    std::unique_ptr<ScopedWaitHook> m_hook;  // ends before the object it reads
    std::uint64_t m_moved = 0, m_seenAtAbort = 0;
};

const TranscriptFamily kFtp{"ftp", "221 Bye", [](const Vars& v) {
                                return std::unique_ptr<TranscriptClient>(new FtpClient(v));
                            }};

VELKOR_TRANSCRIPT_SUITE(FtpTranscript, kFtp);

}  // namespace
}  // namespace velkor::test
