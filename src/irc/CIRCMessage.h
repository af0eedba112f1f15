// CIRCMessage: one IRC protocol line.
//
// Parses a received line into prefix (nick!user@host), command and
// parameters, prints a message back into wire form, classifies it against
// the process-wide table of command words and numeric replies (IRC_MSG_ID),
// builds outgoing commands (Create...Msg) and reads typed records out of
// received ones (Get...Param). No socket code: the application moves lines.
//
// Builders compose a line and parse it as if it had been received, so a text
// given to a builder is cut at its first CR or LF: nothing after a line
// break can reach the wire as a second command.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "CIRCChannelModeParam.h"
#include "IRCMessageId.h"
#include "IRCParamRecords.h"

namespace velkor {

class CIRCMessage {
public:
    static constexpr const char* endl = "\r\n";
    static constexpr const char* separator = " ";
    static constexpr const char* delimiter = ":";
    static constexpr const char* channelprefix = "#&+!";
    static constexpr const char* amprefix = "VLK-AM";
    static constexpr const char* amsplitprefix = "VLK-AM+";
    static constexpr const char* opprefixchar = "@+";
    static constexpr int maxlength = 400;
    static constexpr int IRC_NORMAL_CHANNLE = 0;
    // Number of commands that have reply lists (IDs 0-45).
    static constexpr int kReplyListCount = 46;

    CIRCMessage() = default;
    // Parses one received line.
    explicit CIRCMessage(const std::string& line);
    CIRCMessage(const CIRCMessage&) = default;
    CIRCMessage& operator=(const CIRCMessage&) = default;
    virtual ~CIRCMessage() = default;

    // Same ID and time; prefix, command and every parameter equal ignoring case.
    bool operator==(const CIRCMessage& other) const;
    bool operator!=(const CIRCMessage& other) const { return !(*this == other); }

    void Reset();
    // The wire form: [":" nick ["!" user "@" host] " "] command (" " param)*
    // with ":" before the last parameter, then "\r\n".
    std::string AsString() const;
    // Parameters first .. first+count-1 joined by blanks (see the rules for
    // counts out of range); count 1 gives one parameter or "".
    std::string GetParamString(int first, int count) const;

    // --- the table ---
    // Builds the tables once (later calls change nothing); true.
    static bool Initialize();
    // The first ID whose word equals `word` ignoring case; 217 when none.
    static IRC_MSG_ID GetIRCCmdID(const std::string& word);
    static std::string GetIRCCmdString(IRC_MSG_ID id);

    // --- classification ---
    bool IsUndefinedMsg() const;
    bool IsCommandMsg() const;
    bool IsCommandNotifyBackMsg() const;
    bool IsReplyMsg() const;
    bool IsReplyListMsg() const;
    bool IsReplyListEndMsg() const;
    bool IsErrorMsg() const;
    bool IsErrorCommonMsg() const;
    bool IsReservedMsg() const;
    bool IsVlkMsg() const;
    // This message is the command sent; is `reply` one of its answers?
    bool IsMyReplyMsg(const CIRCMessage& reply) const;
    // Does `reply` end the answer to this command?
    bool IsMyReplyEndMsg(const CIRCMessage& reply) const;
    bool IsServerNotifyMsg(const std::string& ownNick) const;
    bool IsVLKNotifyBackMsg(const std::string& ownNick) const;
    bool IsUserModeMsg() const;
    bool IsChannelModeMsg() const;
    static bool IsCommonChannel(const std::string& name) { return IsValidChannelName(name); }
    bool IsAutoMsg() const;
    bool IsSplitAutoMsg() const;
    std::string GetAutoMsgString() const;
    static bool IsValidChannelName(const std::string& name);
    static bool IsValidNickName(const std::string& name);

    // --- builders ---
    void CreateVlkNotifyMsg(const std::string& text);
    void CreateInviteMsg(const std::string& channel, const std::string& nick);
    void CreateKickMsg(const std::string& channel, const std::string& nick);
    void CreateJoinMsg(const std::string& channel, const std::string& key);
    void CreatePartMsg(const std::string& channel);
    void CreatePrivateMsg(const std::string& target, const std::string& text);
    void CreateNickMsg(const std::string& nick);
    void CreateListMsg();
    void CreateWhoisMsg(const std::string& nick);
    void CreateWhowasMsg(const std::string& nick);
    void CreateAwayMsg(const std::string& text);
    void CreateTopicMsg(const std::string& channel, const std::string& topic);
    void CreateQuitMsg(const std::string& text);
    void CreatePingMsg(const std::string& text);
    void CreatePongMsg(const CIRCMessage& ping);
    void CreateChannelModeMsg(const std::string& channel,
                              CIRCChannelModeParam::CHANNEL_MODETYPE type);
    void CreateChannelModeMsg(const std::string& channel,
                              const CIRCChannelModeParam::ModeChange& change, int add);
    void CreateChannelModeMsg(const std::string& channel,
                              const CIRCChannelModeParam::ModeChangeList& additions,
                              const CIRCChannelModeParam::ModeChangeList& removals);
    void CreateVLKNotifyBackMsg(const std::string& ownNick);

    // --- parameter records ---
    CIRCPingParam GetPingParam() const;
    CIRCPingParam GetPongParam() const;
    CIRCJoinParam GetJoinParam() const;
    CIRCPartParam GetPartParam() const;
    CIRCNickParam GetNickParam() const;
    CIRCKickParam GetKickParam() const;
    CIRCQuitParam GetQuitParam() const;
    CIRCPrivateParam GetPrivateParam() const;
    CIRCRPLNamesParam GetRPLNamesParam() const;
    CIRCRPLEndOfNamesParam GetRPLEndOfNamesParam() const;
    CIRCRPLListParam GetRPLListParam() const;
    CIRCRPLWelcomeParam GetRPLWelcomeParam() const;
    CIRCERRBadChannelKeyParam GetERRBadChannelKeyParam() const;
    CIRCRPLChannelModeListParam GetRPLChannelModeListParam() const;
    CIRCRPLEndOfChannelModeListParam GetRPLEndOfChannelModeListParam() const;
    CIRCTopicParam GetTopicParam() const;
    CIRCRPLTopicParam GetRPLTopicParam() const;
    CIRCChannelModeParam GetChannelModeParam() const;
    CIRCChannelModeParam GetRPLChannelModeParam() const;

    std::string m_strNick;
    std::string m_strUser;
    std::string m_strHost;
    std::string m_strCommand;
    IRC_MSG_ID m_nMsgID = IRC_MSG_UNDEFINED;
    std::int32_t m_tTime = -1;
    std::vector<std::string> m_arrParams;

protected:
    // Parses one line; nothing after its first CR or LF is seen.
    void ParseIrcCommand(const char* line);

private:
    bool InRange(IrcMsgIdRange range) const;
    std::string Param(int index) const { return GetParamString(index, 1); }
    void Compose(IRC_MSG_ID id, const std::string& rest);
    static void PushItems(std::vector<IRC_MSG_ID>& list, std::initializer_list<IRC_MSG_ID> ids);

    static std::vector<std::string> m_msgVector;
    static std::vector<std::vector<IRC_MSG_ID>> m_msgReplyVector;
};

}  // namespace velkor
