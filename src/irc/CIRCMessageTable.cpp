// CIRCMessage: the process-wide IRC tables: command words by ID and the
// replies of each command. Built once, before main() (or on first use from
// another static initializer), read-only afterwards.
#include "irc/CIRCMessage.h"

#include <string_view>
#include <unordered_map>

#include "platform/CodePage.h"

namespace velkor {

namespace {

// The command word of every ID; empty positions stay empty.
constexpr const char* kWords[kIrcMsgIdCount] = {
    "QUIT", "PRIVMSG", "NOTICE", "", "PASS", "NICK", "USER", "OPER", "MODE", "SERVICE", "SQUIT",
    "JOIN", "PART", "TOPIC", "NAMES", "LIST", "INVITE", "KICK", "MOTD", "LUSERS", "VERSION",
    "STATS", "LINKS", "TIME", "CONNECT", "TRACE", "ADMIN", "INFO", "SERVLIST", "SQUERY", "WHO",
    "WHOIS", "WHOWAS", "KILL", "PING", "PONG", "ERROR", "AWAY", "REHASH", "DIE", "RESTART",
    "SUMMON", "USERS", "WALLOPS", "USERHOST", "ISON", "", "004", "259", "255", "323", "347",
    "349", "315", "318", "369", "366", "365", "368", "374", "376", "394", "235", "262", "219",
    "", "002", "003", "321", "322", "346", "348", "352", "311", "312", "313", "317", "319",
    "314", "353", "364", "367", "371", "375", "372", "392", "393", "234", "200", "201", "202",
    "203", "204", "205", "206", "207", "208", "209", "210", "261", "211", "212", "242", "243",
    "251", "252", "253", "254", "256", "257", "258", "", "001", "005", "302", "303", "301",
    "305", "306", "325", "324", "331", "332", "341", "342", "351", "381", "382", "383", "391",
    "395", "221", "263", "", "461", "431", "481", "482", "402", "401", "403", "442", "407", "",
    "404", "405", "406", "408", "409", "411", "412", "413", "414", "415", "421", "422", "423",
    "424", "432", "433", "436", "437", "441", "443", "444", "445", "446", "451", "462", "463",
    "464", "465", "466", "467", "471", "472", "473", "474", "475", "476", "477", "478", "483",
    "484", "485", "491", "501", "502", "", "", "231", "232", "233", "300", "316", "361", "362",
    "363", "373", "384", "213", "214", "215", "216", "217", "218", "240", "241", "244", "244",
    "246", "247", "250", "492", "", "VLK", "", "",
};

struct ReplyList {
    int command;
    std::initializer_list<IRC_MSG_ID> replies;
};

// The replies that belong to each command (ERROR and the empty ID 3 have none).
const ReplyList kReplies[] = {
    {0, {IRC_MSG_ERROR}},  // QUIT
    {1, {RPL_AWAY, ERR_NOSUCHNICK, ERR_TOOMANYTARGETS, ERR_NORECIPIENT, ERR_NOTEXTTOSEND, ERR_CANNOTSENDTOCHAN, ERR_NOTOPLEVEL, ERR_WILDTOPLEVEL}},  // PRIVMSG
    {2, {RPL_AWAY, ERR_NOSUCHNICK, ERR_TOOMANYTARGETS, ERR_NORECIPIENT, ERR_NOTEXTTOSEND, ERR_CANNOTSENDTOCHAN, ERR_NOTOPLEVEL, ERR_WILDTOPLEVEL}},  // NOTICE
    {4, {ERR_NEEDMOREPARAMS, ERR_ALREADYREGISTRED}},  // PASS
    {5, {IRC_MSG_NICK, ERR_NONICKNAMEGIVEN, ERR_ERRONEUSNICKNAME, ERR_NICKNAMEINUSE, ERR_NICKCOLLISION, ERR_UNAVAILRESOURCE, ERR_RESTRICTED}},  // NICK
    {6, {ERR_NEEDMOREPARAMS, ERR_ALREADYREGISTRED}},  // USER
    {7, {RPL_YOUREOPER, ERR_NEEDMOREPARAMS, ERR_NOOPERHOST, ERR_PASSWDMISMATCH}},  // OPER
    {8, {IRC_MSG_MODE, RPL_UMODEIS, ERR_NEEDMOREPARAMS, ERR_USERSDONTMATCH, ERR_UMODEUNKNOWNFLAG, RPL_CHANNELMODEIS, RPL_BANLIST, RPL_ENDOFBANLIST, RPL_EXCEPTLIST, RPL_ENDOFEXCEPTLIST, RPL_INVITELIST, RPL_ENDOFINVITELIST, RPL_UNIQOPIS, ERR_CHANOPRIVSNEEDED, ERR_KEYSET, ERR_NOCHANMODES, ERR_USERNOTINCHANNEL, ERR_UNKNOWNMODE}},  // MODE
    {9, {RPL_YOURESERVICE, RPL_YOURHOST, RPL_MYINFO, ERR_NEEDMOREPARAMS, ERR_ALREADYREGISTRED, ERR_ERRONEUSNICKNAME}},  // SERVICE
    {10, {IRC_MSG_SQUIT, ERR_NEEDMOREPARAMS, ERR_NOSUCHSERVER, ERR_NOPRIVILEGES}},  // SQUIT
    {11, {IRC_MSG_JOIN, IRC_MSG_PART, RPL_NAMREPLY, RPL_ENDOFNAMES, ERR_NEEDMOREPARAMS, ERR_NOSUCHCHANNEL, ERR_TOOMANYTARGETS, ERR_BANNEDFROMCHAN, ERR_INVITEONLYCHAN, ERR_BADCHANNELKEY, ERR_CHANNELISFULL, ERR_BADCHANMASK, ERR_TOOMANYCHANNELS, ERR_UNAVAILRESOURCE}},  // JOIN
    {12, {IRC_MSG_PART, ERR_NEEDMOREPARAMS, ERR_NOSUCHCHANNEL, ERR_NOTONCHANNEL}},  // PART
    {13, {IRC_MSG_TOPIC, RPL_NOTOPIC, RPL_TOPIC, ERR_NEEDMOREPARAMS, ERR_CHANOPRIVSNEEDED, ERR_NOTONCHANNEL, ERR_NOCHANMODES}},  // TOPIC
    {14, {RPL_NAMREPLY, RPL_ENDOFNAMES, ERR_NOSUCHSERVER}},  // NAMES
    {15, {RPL_LISTSTART, RPL_LIST, RPL_LISTEND}},  // LIST
    {16, {RPL_INVITING, RPL_AWAY, ERR_NEEDMOREPARAMS, ERR_NOSUCHNICK, ERR_NOSUCHCHANNEL, ERR_CHANOPRIVSNEEDED, ERR_NOTONCHANNEL, ERR_USERONCHANNEL}},  // INVITE
    {17, {IRC_MSG_KICK, ERR_NEEDMOREPARAMS, ERR_NOSUCHCHANNEL, ERR_CHANOPRIVSNEEDED, ERR_NOTONCHANNEL, ERR_BADCHANMASK, ERR_USERNOTINCHANNEL}},  // KICK
    {18, {RPL_MOTDSTART, RPL_MOTD, RPL_ENDOFMOTD, ERR_NOMOTD}},  // MOTD
    {19, {RPL_LUSERCLIENT, RPL_LUSEROP, RPL_LUSERUNKNOWN, RPL_LUSERCHANNELS, RPL_LUSERME, ERR_NOSUCHSERVER}},  // LUSERS
    {20, {RPL_VERSION, ERR_NOSUCHSERVER}},  // VERSION
    {21, {RPL_STATSLINKINFO, RPL_STATSUPTIME, RPL_STATSCOMMANDS, RPL_STATSOLINE, RPL_ENDOFSTATS, ERR_NOSUCHSERVER}},  // STATS
    {22, {RPL_LINKS, RPL_ENDOFLINKS, ERR_NOSUCHSERVER}},  // LINKS
    {23, {RPL_TIME, ERR_NOSUCHSERVER}},  // TIME
    {24, {ERR_NEEDMOREPARAMS, ERR_NOSUCHSERVER, ERR_NOPRIVILEGES}},  // CONNECT
    {25, {RPL_TRACELINK, RPL_TRACECONNECTING, RPL_TRACEHANDSHAKE, RPL_TRACEUNKNOWN, RPL_TRACEOPERATOR, RPL_TRACEUSER, RPL_TRACESERVER, RPL_TRACESERVICE, RPL_TRACENEWTYPE, RPL_TRACECLASS, RPL_TRACELOG, RPL_TRACEEND, ERR_NOSUCHSERVER}},  // TRACE
    {26, {RPL_ADMINME, RPL_ADMINLOC1, RPL_ADMINLOC2, RPL_ADMINEMAIL, ERR_NOSUCHSERVER}},  // ADMIN
    {27, {RPL_INFO, RPL_ENDOFINFO, ERR_NOSUCHSERVER}},  // INFO
    {28, {RPL_SERVLIST, RPL_SERVLISTEND}},  // SERVLIST
    {29, {ERR_NORECIPIENT, ERR_NOSUCHNICK, ERR_TOOMANYTARGETS, ERR_NOTEXTTOSEND, ERR_CANNOTSENDTOCHAN, ERR_NOTOPLEVEL, ERR_WILDTOPLEVEL}},  // SQUERY
    {30, {RPL_WHOREPLY, RPL_ENDOFWHO, ERR_NOSUCHSERVER}},  // WHO
    {31, {RPL_WHOISUSER, RPL_WHOISCHANNELS, RPL_WHOISSERVER, RPL_WHOISOPERATOR, RPL_WHOISIDLE, RPL_ENDOFWHOIS, RPL_AWAY, ERR_NOSUCHSERVER, ERR_NOSUCHNICK, ERR_NONICKNAMEGIVEN}},  // WHOIS
    {32, {RPL_WHOWASUSER, RPL_WHOISSERVER, RPL_ENDOFWHOWAS, ERR_NONICKNAMEGIVEN, ERR_WASNOSUCHNICK}},  // WHOWAS
    {33, {IRC_MSG_KILL, ERR_NEEDMOREPARAMS, ERR_NOPRIVILEGES, ERR_NOSUCHNICK, ERR_CANTKILLSERVER}},  // KILL
    {34, {IRC_MSG_PONG, ERR_NOSUCHSERVER, ERR_NOORIGIN}},  // PING
    {35, {ERR_NOSUCHSERVER, ERR_NOORIGIN}},  // PONG
    {37, {RPL_UNAWAY, RPL_NOWAWAY}},  // AWAY
    {38, {RPL_REHASHING, ERR_NOPRIVILEGES}},  // REHASH
    {39, {ERR_NOPRIVILEGES}},  // DIE
    {40, {ERR_NOPRIVILEGES}},  // RESTART
    {41, {RPL_SUMMONING, ERR_NOSUCHSERVER, ERR_NORECIPIENT, ERR_FILEERROR, ERR_NOLOGIN, ERR_SUMMONDISABLED}},  // SUMMON
    {42, {RPL_USERSSTART, RPL_USERS, RPL_ENDOFUSERS, ERR_NOSUCHSERVER, ERR_FILEERROR, ERR_USERSDISABLED}},  // USERS
    {43, {ERR_NEEDMOREPARAMS}},  // WALLOPS
    {44, {RPL_USERHOST, ERR_NEEDMOREPARAMS}},  // USERHOST
    {45, {RPL_ISON, ERR_NEEDMOREPARAMS}},  // ISON
};

// Upper-case word -> first ID, for GetIRCCmdID.
std::unordered_map<std::string_view, IRC_MSG_ID>& WordIndex() {
    static std::unordered_map<std::string_view, IRC_MSG_ID> index;
    return index;
}

}  // namespace

std::vector<std::string> CIRCMessage::m_msgVector;
std::vector<std::vector<IRC_MSG_ID>> CIRCMessage::m_msgReplyVector;

namespace {
// Builds the tables when the library is loaded.
[[maybe_unused]] const bool g_loaded = CIRCMessage::Initialize();
}  // namespace

void CIRCMessage::PushItems(std::vector<IRC_MSG_ID>& list,
                            std::initializer_list<IRC_MSG_ID> ids) {
    list.insert(list.end(), ids.begin(), ids.end());
}

bool CIRCMessage::Initialize() {
    // The one guard: a function-local static is built once, thread-safely.
    static const bool built = [] {
        m_msgVector.assign(kIrcMsgIdCount, std::string());
        for (int id = 0; id < kIrcMsgIdCount; ++id) m_msgVector[id] = kWords[id];
        m_msgReplyVector.assign(kReplyListCount, {});
        for (const ReplyList& r : kReplies) PushItems(m_msgReplyVector[r.command], r.replies);
        auto& index = WordIndex();
        for (int id = 0; id < kIrcMsgIdCount; ++id)
            index.emplace(std::string_view(kWords[id]), static_cast<IRC_MSG_ID>(id));
        return true;
    }();
    return built;
}

IRC_MSG_ID CIRCMessage::GetIRCCmdID(const std::string& word) {
    Initialize();
    const auto& index = WordIndex();
    // Table words are ASCII: compare the upper-case form.
    bool lower = false;
    for (char c : word) lower |= (c >= 'a' && c <= 'z');
    if (!lower) {
        const auto it = index.find(std::string_view(word));
        return it == index.end() ? IRC_MSG_UNDEFINED : it->second;
    }
    std::string upper = word;
    MbcsMakeUpper(upper);
    const auto it = index.find(std::string_view(upper));
    return it == index.end() ? IRC_MSG_UNDEFINED : it->second;
}

std::string CIRCMessage::GetIRCCmdString(IRC_MSG_ID id) {
    if (id < 0 || id >= kIrcMsgIdCount) return {};
    return kWords[id];
}

bool CIRCMessage::IsUndefinedMsg() const {
    return m_nMsgID < 0 || m_nMsgID >= kIrcMsgIdCount || kWords[m_nMsgID][0] == '\0';
}

bool CIRCMessage::InRange(IrcMsgIdRange range) const {
    return m_nMsgID >= range.first && m_nMsgID <= range.last && kWords[m_nMsgID][0] != '\0';
}

bool CIRCMessage::IsMyReplyMsg(const CIRCMessage& reply) const {
    Initialize();
    if (IsUndefinedMsg() || m_nMsgID > kIrcCommands.last) return false;
    for (IRC_MSG_ID id : m_msgReplyVector[static_cast<std::size_t>(m_nMsgID)])
        if (id == reply.m_nMsgID) return true;
    return false;
}

}  // namespace velkor
