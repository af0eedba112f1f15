// IRC lines: every transcript in transcripts/irc. No peer: each file parses
// or builds messages and checks what they hold.
//
// Calls: parse LINE (the current message), keep NAME (a copy of it under a
// name), build KIND ARGS... (a builder run on a stale message: Join CHANNEL
// KEY, Part, Away, Topic CHANNEL TOPIC, Invite, Kick, Private TARGET TEXT,
// Nick, List, Whois, Whowas, Quit, Ping, Pong PINGLINE, Vlk, NotifyBack NICK
// (on the current message), ModeQuery CHANNEL LETTER, ModeOne CHANNEL
// LETTER:VALUE ADD, ModeLists CHANNEL ADDITIONS REMOVALS). Mode changes are
// written "o:ann,v:bob" (letter, colon, value).
// Observed on the current message: nick user host command id params
// printed time-set classes; is-my-reply NAME, is-my-reply-end NAME,
// server-notify NICK, vlk-notify-back NICK, auto, split-auto, auto-string,
// param-string FROM TO; records (a missing time shown as "epoch"): names, list, mode-list, kick, quit, pong,
// welcome, rpl-topic, channel-mode, rpl-channel-mode, query-list; and the
// static valid-channel NAME, valid-nick NAME, cmd-id WORD, cmd-string ID.
#include <gtest/gtest.h>

#include <ctime>
#include <map>
#include <sstream>
#include <stdexcept>

#include "Transcript.h"
#include "irc/CIRCMessage.h"

namespace velkor::test {
namespace {

using Mode = CIRCChannelModeParam;

Mode::ModeChangeList Changes(const std::string& text) {
    Mode::ModeChangeList list;
    std::istringstream in(text);
    for (std::string item; std::getline(in, item, ',');)
        if (!item.empty()) list.emplace_back(Mode::GetModeType(item[0]), item.size() > 2 ? item.substr(2) : "");
    return list;
}

std::string Shown(const Mode::ModeChangeList& list) {
    std::string out;
    for (const auto& [type, value] : list)
        out += (out.empty() ? "" : ",") + std::string(1, type == Mode::MODE_NONE ? '?' : Mode::GetModeChar(type)) + ":" + value;
    return out;
}

std::string Shown(const Mode& m) {
    return m.m_strNick + " " + m.m_strChannel + " +" + Shown(m.m_addList) + " -" + Shown(m.m_removeList);
}

class IrcClient : public TranscriptClient {
public:
    std::string Call(const std::string& name, const Words& a) override {
        if (name == "parse") {
            m_start = std::time(nullptr);
            m_msg = CIRCMessage(a.at(0));
        } else if (name == "keep") {
            m_kept[a.at(0)] = m_msg;
        } else if (name == "build") {
            m_start = std::time(nullptr);
            Build(a);
        } else {
            throw std::invalid_argument("no call " + name);
        }
        return "";
    }

    std::string Observe(const std::string& name, const Words& a) override {
        const CIRCMessage& m = m_msg;
        if (name == "nick") return m.m_strNick;
        if (name == "user") return m.m_strUser;
        if (name == "host") return m.m_strHost;
        if (name == "command") return m.m_strCommand;
        if (name == "id") return Str(static_cast<int>(m.m_nMsgID));
        if (name == "params") return Str(static_cast<int>(m.m_arrParams.size())) + ": " + JoinLines(m.m_arrParams);
        if (name == "printed") return m.AsString();
        if (name == "time-set") return Str(m.m_tTime >= m_start);
        if (name == "classes") {
            const std::pair<const char*, bool> classes[] = {
                {"command", m.IsCommandMsg()},       {"notify-back", m.IsCommandNotifyBackMsg()},
                {"reply", m.IsReplyMsg()},           {"list", m.IsReplyListMsg()},
                {"list-end", m.IsReplyListEndMsg()}, {"error", m.IsErrorMsg()},
                {"common-error", m.IsErrorCommonMsg()}, {"reserved", m.IsReservedMsg()},
                {"vlk", m.IsVlkMsg()},               {"undefined", m.IsUndefinedMsg()}};
            std::string out;
            for (const auto& [label, on] : classes)
                if (on) out += (out.empty() ? "" : ",") + std::string(label);
            return out;
        }
        if (name == "is-my-reply") return Str(m.IsMyReplyMsg(m_kept.at(a.at(0))));
        if (name == "is-my-reply-end") return Str(m.IsMyReplyEndMsg(m_kept.at(a.at(0))));
        if (name == "server-notify") return Str(m.IsServerNotifyMsg(a.at(0)));
        if (name == "vlk-notify-back") return Str(m.IsVLKNotifyBackMsg(a.at(0)));
        if (name == "auto") return Str(m.IsAutoMsg());
        if (name == "split-auto") return Str(m.IsSplitAutoMsg());
        if (name == "auto-string") return m.GetAutoMsgString();
        if (name == "param-string") return m.GetParamString(std::stoi(a.at(0)), std::stoi(a.at(1)));
        if (name == "valid-channel") return Str(CIRCMessage::IsValidChannelName(a.at(0)));
        if (name == "valid-nick") return Str(CIRCMessage::IsValidNickName(a.at(0)));
        if (name == "cmd-id") return Str(static_cast<int>(CIRCMessage::GetIRCCmdID(a.at(0))));
        if (name == "cmd-string") return CIRCMessage::GetIRCCmdString(static_cast<IRC_MSG_ID>(std::stoi(a.at(0))));
        if (name == "names") {
            const auto r = m.GetRPLNamesParam();
            std::string out = r.m_strChannel;
            for (const auto& [nick, op] : r.m_names) out += " " + nick + "/" + Str(op);
            return out;
        }
        if (name == "list") {
            const auto r = m.GetRPLListParam();
            return r.m_strChannel + " " + Str(r.m_nUsers) + " " + r.m_strTopic;
        }
        if (name == "mode-list") {
            const auto r = m.GetRPLChannelModeListParam();
            // A missing time reads as the epoch in local time: shown as "epoch".
            std::time_t zero = 0;
            std::tm tm{};
            localtime_r(&zero, &tm);
            char epoch[32];
            std::strftime(epoch, sizeof epoch, "%Y-%m-%d %H:%M", &tm);
            return r.m_strMask + "|" + r.m_strSetter + "|" + (r.m_strTime == epoch ? "epoch" : r.m_strTime);
        }
        if (name == "kick") {
            const auto r = m.GetKickParam();
            return r.m_strNick + " " + r.m_strChannel + " " + r.m_strKicked;
        }
        if (name == "quit") return m.GetQuitParam().m_strNick;
        if (name == "pong") return m.GetPongParam().m_strServer;
        if (name == "welcome") {
            const auto r = m.GetRPLWelcomeParam();
            return r.m_strServer + " " + r.m_strNick;
        }
        if (name == "rpl-topic") return m.GetRPLTopicParam().m_strTopic;
        if (name == "channel-mode") return Shown(m.GetChannelModeParam());
        if (name == "rpl-channel-mode") return Shown(m.GetRPLChannelModeParam());
        if (name == "query-list") {
            Mode::CHANNEL_MODETYPE type = Mode::MODE_NONE;
            const int is = m.GetChannelModeParam().IsQueryListMsg(&type);
            return Str(is) + " " + Str(static_cast<int>(type));
        }
        throw std::invalid_argument("no observation " + name);
    }

private:
    void Build(const Words& a) {
        const std::string& kind = a.at(0);
        const auto arg = [&](std::size_t i) { return a.size() > i ? a[i] : std::string(); };
        if (kind == "NotifyBack") {
            m_msg.CreateVLKNotifyBackMsg(arg(1));
            return;
        }
        m_msg = CIRCMessage(":stale!x@y OLD a b");
        CIRCMessage& m = m_msg;
        if (kind == "Join") m.CreateJoinMsg(arg(1), arg(2));
        else if (kind == "Part") m.CreatePartMsg(arg(1));
        else if (kind == "Away") m.CreateAwayMsg(arg(1));
        else if (kind == "Topic") m.CreateTopicMsg(arg(1), arg(2));
        else if (kind == "Invite") m.CreateInviteMsg(arg(1), arg(2));
        else if (kind == "Kick") m.CreateKickMsg(arg(1), arg(2));
        else if (kind == "Private") m.CreatePrivateMsg(arg(1), arg(2));
        else if (kind == "Nick") m.CreateNickMsg(arg(1));
        else if (kind == "List") m.CreateListMsg();
        else if (kind == "Whois") m.CreateWhoisMsg(arg(1));
        else if (kind == "Whowas") m.CreateWhowasMsg(arg(1));
        else if (kind == "Quit") m.CreateQuitMsg(arg(1));
        else if (kind == "Ping") m.CreatePingMsg(arg(1));
        else if (kind == "Pong") m.CreatePongMsg(CIRCMessage(arg(1)));
        else if (kind == "Vlk") m.CreateVlkNotifyMsg(arg(1));
        else if (kind == "ModeQuery") m.CreateChannelModeMsg(arg(1), Mode::GetModeType(arg(2).at(0)));
        else if (kind == "ModeOne") m.CreateChannelModeMsg(arg(1), Changes(arg(2)).at(0), std::stoi(arg(3)));
        else if (kind == "ModeLists") m.CreateChannelModeMsg(arg(1), Changes(arg(2)), Changes(arg(3)));
        else throw std::invalid_argument("no builder " + kind);
    }

    CIRCMessage m_msg;
    std::map<std::string, CIRCMessage> m_kept;
    std::time_t m_start = 0;
};

const TranscriptFamily kIrc{"irc", "", [](const Vars&) {
                                return std::unique_ptr<TranscriptClient>(new IrcClient);
                            }};

VELKOR_TRANSCRIPT_SUITE(IrcTranscript, kIrc);

}  // namespace
}  // namespace velkor::test
