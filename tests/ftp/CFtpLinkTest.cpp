// The FTP engine's bounds that a transcript cannot state: every command's
// empty-queue answer and a queue flooded by unasked lines. Conversations,
// paths, digit scans and 227 parsing are in transcripts/ftp.
#include "ftp/CFtpLink.h"

#include <gtest/gtest.h>


#include "FtpTestSupport.h"

namespace velkor {
namespace {

using namespace test;  // the scripted peer and FTP dialogue helpers

TEST(FtpReplies, EmptyQueueIs602AndRefusedForEveryCommand) {
    TestFtpLink ftp;
    for (int command = 0; command < CFtpLink::kCommandCount; ++command) {
        ftp.m_nCommand = command;
        EXPECT_FALSE(ftp.CheckStatus());
        EXPECT_EQ(ftp.m_nLastReply, 602);
        EXPECT_EQ(ftp.GetLastError(), 2) << command;
    }
}

TEST(FtpReplies, UnaskedLinesPilingUpAreBoundedAndDropTheConnection) {
    // Every reply comes with 900 KB of lines nobody asked for.
    const std::string junk = "299 " + std::string(996, 'j') + "\r\n";
    ScriptedPeer server([&](PeerConnection& c) {
        ServeLogon(c);
        std::string extra;
        for (int i = 0; i < 900; ++i) extra += junk;
        while (!c.ReadLine().empty()) {
            if (!c.Write("200 ok\r\n" + extra)) return;
        }
    });
    TestFtpLink ftp;
    ASSERT_TRUE(LoginTo(ftp, server));
    // Each NOOP takes one queued line as its reply and reads more than one.
    std::size_t mostQueued = 0;
    bool dropped = false;
    for (int i = 0; i < 20000 && !dropped; ++i) {
        ftp.Noop();
        std::size_t queued = 0;
        for (const std::string& line : ftp.m_arrReplyQueue) queued += line.size();
        mostQueued = std::max(mostQueued, queued);
        dropped = ftp.GetLastError() == 7;
    }
    // Which bound ends it depends on how the reads split the stream; the
    // queue never holds more than its bound either way.
    EXPECT_TRUE(dropped);
    EXPECT_LE(mostQueued, CFtpLink::kMaxQueuedBytes);
    EXPECT_EQ(ftp.m_nLoginState, 3);
}

}  // namespace
}  // namespace velkor
