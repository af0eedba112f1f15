// The typed parameter records that CIRCMessage's Get...Param methods fill
// from a received message. Missing parameters give empty strings (or 0).
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace velkor {

struct CIRCPingParam {
    std::string m_strServer;
};

struct CIRCJoinParam {
    std::string m_strNick;
    std::string m_strChannel;
};

struct CIRCPartParam {
    std::string m_strNick;
    std::string m_strChannel;
};

struct CIRCNickParam {
    std::string m_strNick;     // the old nickname
    std::string m_strNewNick;
};

struct CIRCKickParam {
    std::string m_strNick;     // who kicked
    std::string m_strChannel;
    std::string m_strKicked;   // who was kicked
};

struct CIRCQuitParam {
    std::string m_strNick;
};

struct CIRCPrivateParam {
    std::string m_strNick;     // sender
    std::string m_strTarget;   // channel or nickname
    std::string m_strText;
};

struct CIRCRPLNamesParam {
    std::string m_strChannel;
    // (nickname without prefix, 1 when it carried "@" or "+")
    std::vector<std::pair<std::string, int>> m_names;
};

struct CIRCRPLEndOfNamesParam {
    std::string m_strChannel;
};

struct CIRCRPLListParam {
    std::string m_strChannel;
    std::string m_strTopic;
    int m_nUsers = 0;
};

struct CIRCRPLWelcomeParam {
    std::string m_strServer;
    std::string m_strNick;
};

struct CIRCERRBadChannelKeyParam {
    std::string m_strChannel;
};

struct CIRCRPLChannelModeListParam {
    std::string m_strChannel;
    std::string m_strMask;
    std::string m_strSetter;
    std::string m_strTime;  // local time, "%Y-%m-%d %H:%M"
};

struct CIRCRPLEndOfChannelModeListParam {
    std::string m_strChannel;
};

struct CIRCTopicParam {
    std::string m_strNick;     // who set it
    std::string m_strChannel;
    std::string m_strTopic;
};

struct CIRCRPLTopicParam {
    std::string m_strChannel;
    std::string m_strTopic;
};

}  // namespace velkor
