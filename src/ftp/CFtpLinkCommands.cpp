// CFtpLink: the command wrappers and the path operations.
#include <algorithm>
#include <cctype>
#include <cstdio>

#include "ftp/CFtpLink.h"

namespace velkor {

namespace {

enum Label : int {
    kUser = 2, kPass = 3, kAcct = 4, kCwd = 5, kCdup = 6, kSmnt = 7, kRein = 8,
    kQuit = 10, kPort = 11, kPasv = 12, kMode = 13, kType = 14, kStru = 15, kAllo = 16,
    kRest = 17, kStor = 18, kStou = 20, kRetr = 22, kAppe = 28, kRnfr = 30, kRnto = 31,
    kDele = 32, kRmd = 33, kMkd = 34, kPwd = 35, kAbor = 36, kSyst = 37, kStat = 38,
    kHelp = 39, kSite = 40, kNoop = 41,
};

std::string NetPath(std::string path) {
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

// The text between the first double quote and the next one.
bool BetweenQuotes(const std::string& line, std::string& out) {
    const std::size_t open = line.find('"');
    if (open == std::string::npos) return false;
    const std::size_t close = line.find('"', open + 1);
    if (close == std::string::npos) return false;
    out = line.substr(open + 1, close - open - 1);
    return true;
}

}  // namespace

bool CFtpLink::Command(int command, const std::string& line) {
    m_nCommand = command;
    if (!SendCommand(line + "\r\n")) return false;
    return CheckStatus();
}

bool CFtpLink::ReadCompletion(int command) {
    m_nCommand = command;
    // The completion reply may have come with the preliminary one.
    if (m_arrReplyQueue.empty() && !ReadString()) {
        m_nLastError = 2;
        return false;
    }
    return CheckStatus();
}

bool CFtpLink::CommandWithCompletion(int command, const std::string& line) {
    if (Command(command, line)) return true;
    return m_nLastError == 3 && ReadCompletion(command + 1);
}

bool CFtpLink::User(const std::string& name) { return Command(kUser, "USER " + name); }
bool CFtpLink::Pass(const std::string& password) { return Command(kPass, "PASS " + password); }
bool CFtpLink::Acct(const std::string& account) { return Command(kAcct, "ACCT " + account); }
bool CFtpLink::Smnt(const std::string& path) { return Command(kSmnt, "SMNT " + NetPath(path)); }
bool CFtpLink::Rein() { return CommandWithCompletion(kRein, "REIN"); }
bool CFtpLink::ReinW() { return ReadCompletion(kRein + 1); }
bool CFtpLink::Quit() { return Command(kQuit, "QUIT"); }
bool CFtpLink::Port(const std::string& text) { return Command(kPort, "PORT " + text); }
bool CFtpLink::Pasv() { return Command(kPasv, "PASV"); }
bool CFtpLink::Mode(const std::string& mode) { return Command(kMode, "MODE " + mode); }
bool CFtpLink::Stru(const std::string& s) { return Command(kStru, "STRU " + s); }
bool CFtpLink::Rest(const std::string& marker) { return Command(kRest, "REST " + marker); }
bool CFtpLink::Rest(std::uint32_t offset) { return Rest(std::to_string(offset)); }
bool CFtpLink::Stor(const std::string& path) {
    return CommandWithCompletion(kStor, "STOR " + NetPath(path));
}
bool CFtpLink::StorW() { return ReadCompletion(kStor + 1); }
bool CFtpLink::Stou() { return CommandWithCompletion(kStou, "STOU"); }
bool CFtpLink::StouW() { return ReadCompletion(kStou + 1); }
bool CFtpLink::Retr(const std::string& path) {
    return CommandWithCompletion(kRetr, "RETR " + NetPath(path));
}
bool CFtpLink::RetrW() { return ReadCompletion(kRetr + 1); }
bool CFtpLink::Appe(const std::string& path) {
    return CommandWithCompletion(kAppe, "APPE " + NetPath(path));
}
bool CFtpLink::AppeW() { return ReadCompletion(kAppe + 1); }
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
    std::string lower = type;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (lower == m_strTransferType) {
        m_nLastError = 1;
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
        m_nLastError = 1;
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
