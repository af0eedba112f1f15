// CIRCChannelModeParam: a channel mode change (or a channel's current
// modes), and the table of mode letters.
//
// Types 1-8 take a value ("double flags": O o v k l b e I), types 10-18 do
// not ("single flags": a q r i m n p s t); 0 stands for letters that are not
// in the table and 9 is an empty position between the groups. "l" always
// takes a value, also when it is removed.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace velkor {

class CIRCChannelModeParam {
public:
    enum CHANNEL_MODETYPE : int {
        MODE_NONE = 0,
        MODE_CREATOR = 1,      // O
        MODE_OPERATOR = 2,     // o
        MODE_VOICE = 3,        // v
        MODE_KEY = 4,          // k
        MODE_LIMIT = 5,        // l
        MODE_BAN = 6,          // b (list)
        MODE_EXCEPTION = 7,    // e (list)
        MODE_INVITATION = 8,   // I (list)
        MODE_GAP = 9,
        MODE_ANONYMOUS = 10,   // a
        MODE_QUIET = 11,       // q
        MODE_REOP = 12,        // r
        MODE_INVITEONLY = 13,  // i
        MODE_MODERATED = 14,   // m
        MODE_NOOUTSIDE = 15,   // n
        MODE_PRIVATE = 16,     // p
        MODE_SECRET = 17,      // s
        MODE_TOPICLOCK = 18,   // t
    };
    static constexpr int kModeTypeCount = 19;

    // One change: a mode type and its value (empty for single flags).
    using ModeChange = std::pair<CHANNEL_MODETYPE, std::string>;
    using ModeChangeList = std::vector<ModeChange>;

    static constexpr char addflag = '+';
    static constexpr char removeflag = '-';

    // Builds the letter table; run once at load, callable again. Returns 1.
    static int Initialize();
    // The type of a letter (case-sensitive); 0 for NUL and unknown letters.
    static CHANNEL_MODETYPE GetModeType(char c);
    // The letter of a type 1-18 (NUL for 9); NUL for any other value.
    static char GetModeChar(int type);
    static int IsDoubleFlag(int type) { return type >= 1 && type <= 8 ? 1 : 0; }
    static int IsSingleFlag(int type) { return type >= 10 && type <= 18 ? 1 : 0; }

    // 1 when the additions are exactly one list letter (b, e or I) without
    // anything else: a request for that list. The type goes to *type (0 when
    // not a request).
    int IsQueryListMsg(CHANNEL_MODETYPE* type = nullptr) const;

    std::string m_strNick;
    std::string m_strChannel;
    ModeChangeList m_addList;
    ModeChangeList m_removeList;

private:
    static std::string m_strFlag;
};

}  // namespace velkor
