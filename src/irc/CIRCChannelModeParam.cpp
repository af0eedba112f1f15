#include "irc/CIRCChannelModeParam.h"

namespace velkor {

std::string CIRCChannelModeParam::m_strFlag;

namespace {
// Builds the mode letters when the library is loaded.
[[maybe_unused]] const int g_loaded = CIRCChannelModeParam::Initialize();
}  // namespace

int CIRCChannelModeParam::Initialize() {
    // The one guard: a function-local static is built once, thread-safely.
    static const bool built = [] {
        std::string flags(kModeTypeCount, '\0');
        const char letters[] = {'\0', 'O', 'o', 'v', 'k', 'l', 'b', 'e', 'I', '\0',
                                'a',  'q', 'r', 'i', 'm', 'n', 'p', 's', 't'};
        for (int t = 0; t < kModeTypeCount; ++t) flags[static_cast<std::size_t>(t)] = letters[t];
        m_strFlag = flags;
        return true;
    }();
    return built ? 1 : 0;
}

CIRCChannelModeParam::CHANNEL_MODETYPE CIRCChannelModeParam::GetModeType(char c) {
    Initialize();
    if (c == '\0') return MODE_NONE;
    const std::size_t at = m_strFlag.find(c);
    return at == std::string::npos ? MODE_NONE : static_cast<CHANNEL_MODETYPE>(at);
}

char CIRCChannelModeParam::GetModeChar(int type) {
    Initialize();
    if (type < 1 || type >= kModeTypeCount) return '\0';
    return m_strFlag[static_cast<std::size_t>(type)];
}

int CIRCChannelModeParam::IsQueryListMsg(CHANNEL_MODETYPE* type) const {
    if (m_addList.size() == 1) {
        const CHANNEL_MODETYPE t = m_addList[0].first;
        if (t == MODE_BAN || t == MODE_EXCEPTION || t == MODE_INVITATION) {
            if (type) *type = t;
            return 1;
        }
    }
    if (type) *type = MODE_NONE;
    return 0;
}

}  // namespace velkor
