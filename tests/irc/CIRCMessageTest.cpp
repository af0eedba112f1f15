// CIRCMessage beyond single lines: the whole command table read both ways,
// and value semantics (comparison, copies, Reset). Lines are in
// transcripts/irc.
#include <gtest/gtest.h>

#include "irc/CIRCMessage.h"

namespace velkor {
namespace {

TEST(Table, EveryWordMapsBackToItsId) {
    // Every non-empty word maps back to its own ID (244 to its first).
    int words = 0;
    for (int id = 0; id < kIrcMsgIdCount; ++id) {
        const std::string w = CIRCMessage::GetIRCCmdString(static_cast<IRC_MSG_ID>(id));
        if (w.empty()) continue;
        ++words;
        EXPECT_EQ(CIRCMessage::GetIRCCmdID(w), w == "244" ? 208 : id) << w;
    }
    EXPECT_EQ(words, 207);
}

TEST(Messages, CompareCopyAndReset) {
    CIRCMessage a(":Nick!u@h PRIVMSG #Chan :Hello");
    CIRCMessage b = a;
    b.m_strNick = "NICK";
    b.m_arrParams[0] = "#chan";
    EXPECT_TRUE(a == b);
    b.m_arrParams[1] = "Bye";
    EXPECT_TRUE(a != b);
    b.Reset();
    EXPECT_EQ(b.m_tTime, 0);
    EXPECT_EQ(b.m_nMsgID, IRC_MSG_UNDEFINED);
    EXPECT_EQ(CIRCMessage().m_tTime, -1);
}

}  // namespace
}  // namespace velkor
