// CIRCMessage: parsing, printing, classification, builders and records.
#include "irc/CIRCMessage.h"

#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/CodePage.h"

namespace velkor {

namespace {

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Letters and digits as the wide-character tests see a byte value (Latin-1).
bool IsLetter(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == 0xAA || c == 0xB5 ||
           c == 0xBA || (c >= 0xC0 && c != 0xD7 && c != 0xF7);
}
bool IsLetterOrDigit(unsigned char c) { return IsLetter(c) || (c >= '0' && c <= '9'); }
bool IsNickSpecial(char c) { return c != '\0' && std::strchr("[]\\`_^{|}", c) != nullptr; }

// The first word of a text: before its first blank, or all of it.
std::string FirstWord(const std::string& text) { return text.substr(0, text.find(' ')); }

}  // namespace

CIRCMessage::CIRCMessage(const std::string& line) { ParseIrcCommand(line.c_str()); }

bool CIRCMessage::operator==(const CIRCMessage& other) const {
    if (m_nMsgID != other.m_nMsgID || m_tTime != other.m_tTime ||
        m_arrParams.size() != other.m_arrParams.size())
        return false;
    if (!MbcsEqualNoCase(m_strNick, other.m_strNick) ||
        !MbcsEqualNoCase(m_strUser, other.m_strUser) ||
        !MbcsEqualNoCase(m_strHost, other.m_strHost) ||
        !MbcsEqualNoCase(m_strCommand, other.m_strCommand))
        return false;
    for (std::size_t i = 0; i < m_arrParams.size(); ++i)
        if (!MbcsEqualNoCase(m_arrParams[i], other.m_arrParams[i])) return false;
    return true;
}

void CIRCMessage::Reset() {
    m_strNick.clear();
    m_strUser.clear();
    m_strHost.clear();
    m_strCommand.clear();
    m_arrParams.clear();
    m_nMsgID = IRC_MSG_UNDEFINED;
    m_tTime = 0;
}

void CIRCMessage::ParseIrcCommand(const char* line) {
    Reset();
    if (!line) line = "";
    const char* p = line;
    // Nothing after the first line break is seen.
    const char* const end = line + std::strcspn(line, "\r\n");
    const auto skipSpace = [&p, end] {
        while (p < end && IsSpace(*p)) ++p;
    };
    if (p < end && *p == ':') {
        const char* start = ++p;
        while (p < end && *p != ' ' && *p != '!') ++p;
        m_strNick.assign(start, p);
        if (p < end && *p == '!') {
            start = ++p;
            while (p < end && *p != ' ' && *p != '@') ++p;
            m_strUser.assign(start, p);
            if (p < end && *p == '@') {
                start = ++p;
                while (p < end && !IsSpace(*p)) ++p;
                m_strHost.assign(start, p);
            }
        }
        skipSpace();
    }
    const char* start = p;
    while (p < end && !IsSpace(*p)) ++p;
    m_strCommand.assign(start, p);
    MbcsMakeUpper(m_strCommand);
    skipSpace();
    while (p < end) {
        if (*p == ':') {
            m_arrParams.emplace_back(p + 1, end);
            break;
        }
        start = p;
        while (p < end && !IsSpace(*p)) ++p;
        m_arrParams.emplace_back(start, p);
        skipSpace();
    }
    m_nMsgID = GetIRCCmdID(m_strCommand);
    m_tTime = static_cast<std::int32_t>(std::time(nullptr));
}

std::string CIRCMessage::AsString() const {
    std::string out;
    std::size_t size = m_strCommand.size() + 2 + m_strNick.size() + m_strUser.size() +
                       m_strHost.size() + 4;
    for (const std::string& p : m_arrParams) size += p.size() + 2;
    out.reserve(size);
    if (!m_strNick.empty()) {
        out += ':';
        out += m_strNick;
        if (!m_strUser.empty() && !m_strHost.empty()) {
            out += '!';
            out += m_strUser;
            out += '@';
            out += m_strHost;
        }
        out += ' ';
    }
    out += m_strCommand;
    for (std::size_t i = 0; i < m_arrParams.size(); ++i) {
        out += ' ';
        if (i + 1 == m_arrParams.size()) out += ':';
        out += m_arrParams[i];
    }
    out += endl;
    return out;
}

std::string CIRCMessage::GetParamString(int first, int count) const {
    const int n = static_cast<int>(m_arrParams.size());
    if (first < 0 || first >= n || count == 0) return {};
    if (count == 1) return m_arrParams[static_cast<std::size_t>(first)];
    const int last = (count >= 1 && count < n) ? count : n;
    std::string out;
    for (int i = first; i < last; ++i) {
        out += m_arrParams[static_cast<std::size_t>(i)];
        out += ' ';
    }
    if (!out.empty()) out.pop_back();
    return out;
}

// --- classification ---

bool CIRCMessage::IsCommandMsg() const { return InRange(kIrcCommands); }
bool CIRCMessage::IsCommandNotifyBackMsg() const { return InRange(kIrcNotifyBackCommands); }
bool CIRCMessage::IsReplyMsg() const { return InRange(kIrcReplies); }
bool CIRCMessage::IsReplyListMsg() const { return InRange(kIrcListReplies); }
bool CIRCMessage::IsReplyListEndMsg() const { return InRange(kIrcListEndReplies); }
bool CIRCMessage::IsErrorMsg() const { return InRange(kIrcErrors); }
bool CIRCMessage::IsErrorCommonMsg() const { return InRange(kIrcCommonErrors); }
bool CIRCMessage::IsReservedMsg() const { return InRange(kIrcReserved); }
bool CIRCMessage::IsVlkMsg() const { return InRange(kIrcVlk); }

bool CIRCMessage::IsMyReplyEndMsg(const CIRCMessage& reply) const {
    if (m_nMsgID == IRC_MSG_JOIN) return false;
    if (!reply.IsReplyListMsg()) return IsMyReplyMsg(reply);
    if (!reply.IsReplyListEndMsg()) return false;
    return IsMyReplyMsg(reply);
}

bool CIRCMessage::IsServerNotifyMsg(const std::string& ownNick) const {
    if (IsUndefinedMsg()) return true;
    if (!IsCommandMsg() || m_strNick.empty()) return false;
    return !MbcsEqualNoCase(m_strNick, ownNick);
}

bool CIRCMessage::IsVLKNotifyBackMsg(const std::string& ownNick) const {
    return IsCommandNotifyBackMsg() && MbcsEqualNoCase(m_strNick, ownNick);
}

bool CIRCMessage::IsUserModeMsg() const {
    return m_nMsgID == IRC_MSG_MODE && !m_arrParams.empty() && !IsCommonChannel(m_arrParams[0]);
}

bool CIRCMessage::IsChannelModeMsg() const {
    return m_nMsgID == IRC_MSG_MODE && !m_arrParams.empty() && IsCommonChannel(m_arrParams[0]);
}

bool CIRCMessage::IsAutoMsg() const {
    if (m_nMsgID != IRC_MSG_PRIVMSG || m_arrParams.size() < 2) return false;
    const std::string word = FirstWord(m_arrParams[1]);
    return MbcsEqualNoCase(word, amprefix) || MbcsEqualNoCase(word, amsplitprefix);
}

bool CIRCMessage::IsSplitAutoMsg() const {
    if (m_nMsgID != IRC_MSG_PRIVMSG || m_arrParams.size() < 2) return false;
    return MbcsEqualNoCase(FirstWord(m_arrParams[1]), amsplitprefix);
}

std::string CIRCMessage::GetAutoMsgString() const {
    if (m_nMsgID != IRC_MSG_PRIVMSG || m_arrParams.size() < 2) return {};
    const std::string& text = m_arrParams[1];
    const std::size_t blank = text.find(' ');
    if (blank == std::string::npos) return {};
    const std::string word = text.substr(0, blank);
    if (!MbcsEqualNoCase(word, amprefix) && !MbcsEqualNoCase(word, amsplitprefix)) return {};
    const std::size_t from = text.find_first_not_of(' ', blank);
    return from == std::string::npos ? std::string() : text.substr(from);
}

bool CIRCMessage::IsValidChannelName(const std::string& name) {
    if (name.empty() || name.size() >= 255) return false;
    if (name[0] == '\0' || !std::strchr(channelprefix, name[0])) return false;
    return name.find_first_of(std::string(" ,\x07")) == std::string::npos;
}

bool CIRCMessage::IsValidNickName(const std::string& name) {
    if (name.empty() || name.size() > 255) return false;
    const auto first = static_cast<unsigned char>(name[0]);
    if (!IsLetter(first) && !IsNickSpecial(name[0])) return false;
    for (char c : name) {
        if (!IsLetterOrDigit(static_cast<unsigned char>(c)) && !IsNickSpecial(c) && c != '-')
            return false;
    }
    return true;
}

// --- builders ---

void CIRCMessage::Compose(IRC_MSG_ID id, const std::string& rest) {
    const std::string line = GetIRCCmdString(id) + rest;
    ParseIrcCommand(line.c_str());
}

void CIRCMessage::CreateVlkNotifyMsg(const std::string& text) { Compose(IRC_MSG_VLK, " :" + text); }

void CIRCMessage::CreateInviteMsg(const std::string& channel, const std::string& nick) {
    Compose(IRC_MSG_INVITE, " " + nick + " :" + channel);
}

void CIRCMessage::CreateKickMsg(const std::string& channel, const std::string& nick) {
    Compose(IRC_MSG_KICK, " " + channel + " :" + nick);
}

void CIRCMessage::CreateJoinMsg(const std::string& channel, const std::string& key) {
    std::string rest = " ";
    if (!channel.empty() && !IsValidChannelName(channel)) rest += channelprefix[0];
    rest += channel;
    if (!key.empty()) rest += " " + key;
    Compose(IRC_MSG_JOIN, rest);
}

void CIRCMessage::CreatePartMsg(const std::string& channel) {
    std::string rest = " :";
    if (!IsValidChannelName(channel)) rest += channelprefix[0];
    Compose(IRC_MSG_PART, rest + channel);
}

void CIRCMessage::CreatePrivateMsg(const std::string& target, const std::string& text) {
    Compose(IRC_MSG_PRIVMSG, " " + target + " :" + text);
}

void CIRCMessage::CreateNickMsg(const std::string& nick) { Compose(IRC_MSG_NICK, " :" + nick); }
void CIRCMessage::CreateListMsg() { Compose(IRC_MSG_LIST, ""); }
void CIRCMessage::CreateWhoisMsg(const std::string& nick) { Compose(IRC_MSG_WHOIS, " :" + nick); }
void CIRCMessage::CreateWhowasMsg(const std::string& nick) {
    Compose(IRC_MSG_WHOWAS, " :" + nick);
}

void CIRCMessage::CreateAwayMsg(const std::string& text) {
    Compose(IRC_MSG_AWAY, text.empty() ? std::string() : " :" + text);
}

void CIRCMessage::CreateTopicMsg(const std::string& channel, const std::string& topic) {
    Compose(IRC_MSG_TOPIC, " " + channel + (topic.empty() ? std::string() : " :" + topic));
}

void CIRCMessage::CreateQuitMsg(const std::string& text) { Compose(IRC_MSG_QUIT, " :" + text); }
void CIRCMessage::CreatePingMsg(const std::string& text) { Compose(IRC_MSG_PING, " :" + text); }

void CIRCMessage::CreatePongMsg(const CIRCMessage& ping) {
    Compose(IRC_MSG_PONG, " :" + ping.GetParamString(0, 1));
}

void CIRCMessage::CreateChannelModeMsg(const std::string& channel,
                                       CIRCChannelModeParam::CHANNEL_MODETYPE type) {
    std::string rest = " " + channel + " ";
    if (const char c = CIRCChannelModeParam::GetModeChar(type)) rest += c;
    Compose(IRC_MSG_MODE, rest);
}

void CIRCMessage::CreateChannelModeMsg(const std::string& channel,
                                       const CIRCChannelModeParam::ModeChange& change, int add) {
    std::string rest = " " + channel + " ";
    rest += add ? CIRCChannelModeParam::addflag : CIRCChannelModeParam::removeflag;
    if (const char c = CIRCChannelModeParam::GetModeChar(change.first)) rest += c;
    if (CIRCChannelModeParam::IsDoubleFlag(change.first)) rest += " :" + change.second;
    Compose(IRC_MSG_MODE, rest);
}

void CIRCMessage::CreateChannelModeMsg(const std::string& channel,
                                       const CIRCChannelModeParam::ModeChangeList& additions,
                                       const CIRCChannelModeParam::ModeChangeList& removals) {
    std::string flags, args;
    const auto add = [&](const CIRCChannelModeParam::ModeChangeList& list, char sign) {
        if (list.empty()) return;
        flags += sign;
        for (const auto& [type, value] : list) {
            if (const char c = CIRCChannelModeParam::GetModeChar(type)) flags += c;
            if (CIRCChannelModeParam::IsDoubleFlag(type)) args += " " + value;
        }
    };
    add(additions, CIRCChannelModeParam::addflag);
    add(removals, CIRCChannelModeParam::removeflag);
    Compose(IRC_MSG_MODE, " " + channel + " " + flags + " " + args);
}

void CIRCMessage::CreateVLKNotifyBackMsg(const std::string& ownNick) {
    // Cut like every other builder's text, so the line stays one line.
    if (IsCommandNotifyBackMsg())
        m_strNick = ownNick.substr(0, ownNick.find_first_of(std::string("\r\n\0", 3)));
}

}  // namespace velkor
