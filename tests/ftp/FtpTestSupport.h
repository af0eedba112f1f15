// Helpers for the FTP engine tests: a subclass that opens the protected
// interface, and a scripted FTP server dialogue.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "ScriptedPeer.h"
#include "ftp/CFtpLink.h"

namespace velkor::test {

// Opens the protected command wrappers and helpers to the tests.
class TestFtpLink : public CFtpLink {
public:
    using CFtpLink::Abor;
    using CFtpLink::AcceptActiveDataChannel;
    using CFtpLink::Appe;
    using CFtpLink::CheckStatus;
    using CFtpLink::Cdup;
    using CFtpLink::ClearAllMsg;
    using CFtpLink::ConnectDataChannel;
    using CFtpLink::Cwd;
    using CFtpLink::Dele;
    using CFtpLink::DisconnectDataChannel;
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
    using CFtpLink::Mkd;
    using CFtpLink::Nlst;
    using CFtpLink::Noop;
    using CFtpLink::ParsePassiveReply;
    using CFtpLink::Pwd;
    using CFtpLink::ReadDataChannel;
    using CFtpLink::ReadStringDirectly;
    using CFtpLink::Rest;
    using CFtpLink::Retr;
    using CFtpLink::Rmd;
    using CFtpLink::Rnfr;
    using CFtpLink::Rnto;
    using CFtpLink::SendCommand;
    using CFtpLink::SetupActiveDataChannel;
    using CFtpLink::SetupPassiveDataChannel;
    using CFtpLink::Size;
    using CFtpLink::Stor;
    using CFtpLink::Type;
};

// A server that greets, then answers each command line with the next reply
// (in order), recording the lines it received. The reply "<close>" closes
// the connection instead of answering.
ScriptedPeer::Script FtpDialogue(std::string greeting, std::vector<std::string> replies,
                                 std::vector<std::string>* received);

// Replies for a scripted logon: "230" to USER and "/" to PWD, then `more`.
std::vector<std::string> LoggedOn(std::vector<std::string> more);

// Serves the greeting and that logon by hand; records the lines if asked.
void ServeLogon(PeerConnection& c, std::vector<std::string>* received = nullptr);

// Logs on to a scripted server as user "u", logon type 0.
bool LoginTo(CFtpLink& ftp, const ScriptedPeer& server);

}  // namespace velkor::test
