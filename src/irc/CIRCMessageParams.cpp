// CIRCMessage: typed records read out of received messages.
#include "irc/CIRCMessage.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>

namespace velkor {

namespace {

using Mode = CIRCChannelModeParam;

// Reads flag tokens from params[first] on. `takesValue` says whether a mode
// type consumes the next unconsumed parameter as its value.
template <typename TakesValue>
void ReadModeTokens(const std::vector<std::string>& params, std::size_t first,
                    TakesValue takesValue, CIRCChannelModeParam& record) {
    std::size_t i = first;
    while (i < params.size()) {
        const std::string& token = params[i];
        std::size_t consumed = 0;
        bool add = true;  // every token starts with "+"
        for (char c : token) {
            if (c == Mode::addflag) {
                add = true;
                continue;
            }
            if (c == Mode::removeflag) {
                add = false;
                continue;
            }
            const Mode::CHANNEL_MODETYPE type = Mode::GetModeType(c);
            if (type == Mode::MODE_NONE) continue;
            std::string value;
            // Removing the limit takes no value: servers send "-l" alone
            // (RFC 2811), so a value there would belong to the next letter.
            if (takesValue(type) && !(type == Mode::MODE_LIMIT && !add)) {
                const std::size_t at = i + consumed + 1;
                if (at < params.size()) value = params[at];
                ++consumed;
            }
            (add ? record.m_addList : record.m_removeList).emplace_back(type, std::move(value));
        }
        i += consumed + 1;
    }
}

}  // namespace

CIRCChannelModeParam CIRCMessage::GetChannelModeParam() const {
    CIRCChannelModeParam record;
    record.m_strNick = m_strNick;
    if (!IsChannelModeMsg()) return record;
    record.m_strChannel = m_arrParams[0];
    ReadModeTokens(m_arrParams, 1, [](Mode::CHANNEL_MODETYPE t) { return Mode::IsDoubleFlag(t) != 0; },
                   record);
    return record;
}

CIRCChannelModeParam CIRCMessage::GetRPLChannelModeParam() const {
    CIRCChannelModeParam record;
    if (m_arrParams.size() < 2) return record;
    record.m_strChannel = m_arrParams[1];
    // List letters carry no value in this reply.
    ReadModeTokens(
        m_arrParams, 2,
        [](Mode::CHANNEL_MODETYPE t) {
            return Mode::IsDoubleFlag(t) && t != Mode::MODE_BAN && t != Mode::MODE_EXCEPTION &&
                   t != Mode::MODE_INVITATION;
        },
        record);
    return record;
}

CIRCPingParam CIRCMessage::GetPingParam() const { return {Param(0)}; }
CIRCPingParam CIRCMessage::GetPongParam() const { return {Param(1)}; }
CIRCJoinParam CIRCMessage::GetJoinParam() const { return {m_strNick, Param(0)}; }
CIRCPartParam CIRCMessage::GetPartParam() const { return {m_strNick, Param(0)}; }
CIRCNickParam CIRCMessage::GetNickParam() const { return {m_strNick, Param(0)}; }
CIRCKickParam CIRCMessage::GetKickParam() const { return {m_strNick, Param(0), Param(1)}; }
CIRCQuitParam CIRCMessage::GetQuitParam() const { return {m_strNick}; }
CIRCPrivateParam CIRCMessage::GetPrivateParam() const {
    return {m_strNick, Param(0), Param(1)};
}
CIRCRPLEndOfNamesParam CIRCMessage::GetRPLEndOfNamesParam() const { return {Param(1)}; }
CIRCRPLWelcomeParam CIRCMessage::GetRPLWelcomeParam() const { return {m_strNick, Param(0)}; }
CIRCERRBadChannelKeyParam CIRCMessage::GetERRBadChannelKeyParam() const { return {Param(1)}; }
CIRCRPLEndOfChannelModeListParam CIRCMessage::GetRPLEndOfChannelModeListParam() const {
    return {Param(1)};
}
CIRCTopicParam CIRCMessage::GetTopicParam() const { return {m_strNick, Param(0), Param(1)}; }
CIRCRPLTopicParam CIRCMessage::GetRPLTopicParam() const { return {Param(1), Param(2)}; }

CIRCRPLListParam CIRCMessage::GetRPLListParam() const {
    return {Param(1), Param(3), std::atoi(Param(2).c_str())};
}

CIRCRPLNamesParam CIRCMessage::GetRPLNamesParam() const {
    CIRCRPLNamesParam record;
    record.m_strChannel = Param(2);
    if (m_arrParams.size() < 4) return record;
    const std::string& names = m_arrParams[3];
    std::size_t p = 0;
    while (p < names.size()) {
        while (p < names.size() && names[p] == ' ') ++p;
        if (p >= names.size()) break;
        const std::size_t end = std::min(names.find(' ', p), names.size());
        std::string name = names.substr(p, end - p);
        int flagged = 0;
        if (name[0] == '@' || name[0] == '+') {
            flagged = 1;
            name.erase(0, 1);
        }
        record.m_names.emplace_back(std::move(name), flagged);
        p = end;
    }
    return record;
}

CIRCRPLChannelModeListParam CIRCMessage::GetRPLChannelModeListParam() const {
    const std::time_t when = static_cast<std::time_t>(std::atol(Param(4).c_str()));
    std::tm tm{};
    localtime_r(&when, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &tm);
    return {Param(1), Param(2), Param(3), text};
}

}  // namespace velkor
