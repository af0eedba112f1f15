// CFtpLink: the command wrappers and the path operations.
#include "ftp/CFtpLink.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "ftp/FtpCodes.h"
#include "ftp/FtpLabels.h"
#include "platform/Text.h"

namespace velkor {

using namespace ftp_label;

bool CFtpLink::BetweenQuotes(const std::string& line, std::string& out) {
    const std::size_t open = line.find('"');
    if (open == std::string::npos) return false;
    const std::size_t close = line.find('"', open + 1);
    if (close == std::string::npos) return false;
    out = line.substr(open + 1, close - open - 1);
    return true;
}

bool CFtpLink::Command(int command, const std::string& line) {
    m_nCommand = command;
    if (!SendCommand(line + "\r\n")) return false;
    return CheckStatus();
}

bool CFtpLink::ReadCompletion(int command) {
    m_nCommand = command;
    // The completion reply may have come with the preliminary one.
    if (m_arrReplyQueue.empty() && !ReadString()) {
        m_nLastError = kFtpStatusRefused;
        return false;
    }
    return CheckStatus();
}

bool CFtpLink::CommandWithCompletion(int command, const std::string& line) {
    if (Command(command, line)) return true;
    return m_nLastError == kFtpStatusPreliminary && ReadCompletion(CompletionOf(command));
}

bool CFtpLink::User(const std::string& name) { return Command(kUser, "USER " + name); }
bool CFtpLink::Pass(const std::string& password) { return Command(kPass, "PASS " + password); }
bool CFtpLink::Acct(const std::string& account) { return Command(kAcct, "ACCT " + account); }
bool CFtpLink::Smnt(const std::string& path) { return Command(kSmnt, "SMNT " + NetPath(path)); }
bool CFtpLink::Rein() { return CommandWithCompletion(kRein, "REIN"); }
bool CFtpLink::ReinW() { return ReadCompletion(kReinW); }
bool CFtpLink::Quit() { return Command(kQuit, "QUIT"); }
bool CFtpLink::Port(const std::string& text) { return Command(kPort, "PORT " + text); }
bool CFtpLink::Pasv() { return Command(kPasv, "PASV"); }
bool CFtpLink::Mode(const std::string& mode) { return Command(kMode, "MODE " + mode); }
bool CFtpLink::Stru(const std::string& s) { return Command(kStru, "STRU " + s); }
bool CFtpLink::Rest(const std::string& marker) { return Command(kRest, "REST " + marker); }
bool CFtpLink::Rest(std::uint32_t offset) { return Rest(std::to_string(offset)); }
bool CFtpLink::Rest(std::uint64_t offset) { return Rest(std::to_string(offset)); }
bool CFtpLink::Stor(const std::string& path) {
    return CommandWithCompletion(kStor, "STOR " + NetPath(path));
}
bool CFtpLink::StorW() { return ReadCompletion(kStorW); }
bool CFtpLink::Stou() { return CommandWithCompletion(kStou, "STOU"); }
bool CFtpLink::StouW() { return ReadCompletion(kStouW); }
bool CFtpLink::Retr(const std::string& path) {
    return CommandWithCompletion(kRetr, "RETR " + NetPath(path));
}
bool CFtpLink::RetrW() { return ReadCompletion(kRetrW); }
bool CFtpLink::Appe(const std::string& path) {
    return CommandWithCompletion(kAppe, "APPE " + NetPath(path));
}
bool CFtpLink::AppeW() { return ReadCompletion(kAppeW); }
bool CFtpLink::Rnfr(const std::string& path) { return Command(kRnfr, "RNFR " + NetPath(path)); }
bool CFtpLink::Rnto(const std::string& path) { return Command(kRnto, "RNTO " + NetPath(path)); }
bool CFtpLink::Dele(const std::string& path) { return Command(kDele, "DELE " + NetPath(path)); }
bool CFtpLink::Rmd(const std::string& path) { return Command(kRmd, "RMD " + NetPath(path)); }
bool CFtpLink::Mkd(const std::string& path) { return Command(kMkd, "MKD " + NetPath(path)); }
bool CFtpLink::Abor() { return Command(kAbor, "ABOR"); }
bool CFtpLink::Syst() { return Command(kSyst, "SYST"); }
bool CFtpLink::Stat(const std::string& path) { return Command(kStat, "STAT " + NetPath(path)); }
bool CFtpLink::Help() { return Command(kHelp, "HELP"); }
bool CFtpLink::Site(const std::string& text) { return Command(kSite, "SITE " + text); }
bool CFtpLink::Noop() { return Command(kNoop, "NOOP"); }

bool CFtpLink::Allo(unsigned int size) {
    char line[32];
    std::snprintf(line, sizeof line, "ALLO %d", static_cast<int>(size));
    return Command(kAllo, line);
}

bool CFtpLink::Allo(unsigned int size, unsigned int record) {
    char line[48];
    std::snprintf(line, sizeof line, "ALLO %d %d", static_cast<int>(size),
                  static_cast<int>(record));
    return Command(kAllo, line);
}

bool CFtpLink::Type(const std::string& type) {
    const std::string lower = text::AsciiLowered(type);
    if (lower == m_strTransferType) {
        m_nLastError = kFtpStatusSuccess;
        return true;
    }
    if (!Command(kType, "TYPE " + lower)) return false;
    m_strTransferType = lower;
    return true;
}

bool CFtpLink::Pwd(std::string& out) {
    m_nCommand = kPwd;
    if (!SendCommand("PWD\r\n")) return false;
    std::string line = m_arrReplyQueue.empty() ? std::string() : m_arrReplyQueue.back();
    FormatPathStringToLocal(line);
    if (!CheckStatus()) return false;
    out = line;
    return true;
}

bool CFtpLink::UpdateCurrentDir() {
    std::string line, dir;
    if (!Pwd(line) || !BetweenQuotes(line, dir)) return false;
    m_strCurrentDir = GetRelativePos(NetPath(dir));
    return true;
}

bool CFtpLink::Cwd(const std::string& path) {
    m_nCommand = kCwd;
    const std::string target = NetPath(GetFullPos(path));
    if (target == GetFullPos(m_strCurrentDir)) {
        m_nLastError = kFtpStatusSuccess;
        return true;
    }
    if (!Command(kCwd, "CWD " + target)) return false;
    return UpdateCurrentDir();
}

bool CFtpLink::Cdup() {
    if (!Command(kCdup, "CDUP")) return false;
    return UpdateCurrentDir();
}

bool CFtpLink::Size(const std::string& path) {
    if (!SendCommand("SIZE " + NetPath(path) + "\r\n")) return false;
    GetLastMsg();
    DelLastMsg();
    return m_nLastReply >= 200 && m_nLastReply <= 299;
}

// --- paths ---

std::string CFtpLink::NetPath(std::string path) {
    FormatPathStringToNet(path);
    return path;
}

void CFtpLink::FormatPathStringToNet(std::string& path) {
    std::replace(path.begin(), path.end(), '\\', '/');
}

void CFtpLink::FormatPathStringToLocal(std::string& path) {
    std::replace(path.begin(), path.end(), '/', '\\');
}

std::string CFtpLink::GetFullPos(const std::string& path) const {
    if (!path.empty() && (path[0] == '\\' || path[0] == '/')) return path;
    return m_strHomeDir + path;
}

std::string CFtpLink::GetRelativePos(const std::string& path) const {
    if (path.empty() || (path[0] != '\\' && path[0] != '/')) return path;
    const std::size_t at = path.find(m_strHomeDir);
    if (at == std::string::npos) return path;
    return path.substr(at + m_strHomeDir.size());
}

std::string CFtpLink::GetPath(const std::string& path) const {
    std::string full = NetPath(GetFullPos(path));
    const std::size_t slash = full.rfind('/');
    full.resize(slash == std::string::npos ? 0 : slash);
    return full.empty() ? "/" : full;
}

std::string CFtpLink::GetName(const std::string& path) {
    const std::string net = NetPath(path);
    const std::size_t slash = net.rfind('/');
    return slash == std::string::npos ? net : net.substr(slash + 1);
}

}  // namespace velkor
