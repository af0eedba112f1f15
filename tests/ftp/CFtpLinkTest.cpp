// The FTP engine's tables and bounds that a transcript cannot state: every
// command's empty-queue answer, a queue flooded by unasked lines, paths,
// digit scans and 227 parsing. Conversations are in transcripts/ftp.
#include "ftp/CFtpLink.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include "FtpTestSupport.h"
#include "platform/LastError.h"

namespace velkor {
namespace {

using namespace test;  // the scripted peer and FTP dialogue helpers
using Lines = std::vector<std::string>;

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

// --- paths and numbers ---

struct PathCase {
    const char* home;
    const char* op;
    const char* in;
    const char* out;
};

class FtpPaths : public ::testing::TestWithParam<PathCase> {};

TEST_P(FtpPaths, Transform) {
    const PathCase& c = GetParam();
    TestFtpLink ftp;
    ftp.m_strHomeDir = c.home;
    const std::string op = c.op;
    const std::string result = op == "GetPath"       ? ftp.GetPath(c.in)
                               : op == "GetName"     ? TestFtpLink::GetName(c.in)
                               : op == "GetFullPos"  ? ftp.GetFullPos(c.in)
                                                     : ftp.GetRelativePos(c.in);
    EXPECT_EQ(result, c.out) << c.op << "(" << c.in << ") with home " << c.home;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FtpPaths,
    ::testing::Values(PathCase{"/", "GetPath", "/a/b.txt", "/a"},
                      PathCase{"/", "GetPath", "b.txt", "/"},
                      PathCase{"/", "GetPath", "\\a\\b\\c", "/a/b"},
                      PathCase{"/", "GetName", "/a/b.txt", "b.txt"},
                      PathCase{"/", "GetName", "a\\b.txt", "b.txt"},
                      PathCase{"/", "GetName", "plain", "plain"},
                      PathCase{"/", "GetRelativePos", "/pub/x", "pub/x"},
                      PathCase{"/", "GetRelativePos", "pub/x", "pub/x"},
                      PathCase{"/home/u/", "GetRelativePos", "/home/u/docs", "docs"},
                      PathCase{"/home/u/", "GetRelativePos", "/elsewhere", "/elsewhere"},
                      PathCase{"/", "GetFullPos", "pub/x", "/pub/x"},
                      PathCase{"/", "GetFullPos", "", "/"},
                      PathCase{"/home/u", "GetFullPos", "x", "/home/ux"},
                      PathCase{"/home/u", "GetFullPos", "\\abs", "\\abs"}));

TEST(FtpNumbers, DigitScans) {
    EXPECT_EQ(TestFtpLink::GetNumericCount("ab123cd", 2), 3);
    EXPECT_EQ(TestFtpLink::GetNumericCount("123", -2), 5);  // counted from 0, minus start
    EXPECT_EQ(TestFtpLink::GetNumericCount("abc", 1), 0);
    EXPECT_EQ(TestFtpLink::GetFirstNumericPos("ab123", 0), 2);
    EXPECT_EQ(TestFtpLink::GetFirstNumericPos("ab123", 3), 0);
    EXPECT_EQ(TestFtpLink::GetFirstNumericPos("abc", 0), -1);
    EXPECT_EQ(TestFtpLink::GetFirstNumericPos("abc", 3), -1);
    EXPECT_EQ(TestFtpLink::GetFirstNumericPos("abc", 7), 0);
}

// --- data channel ---

struct PasvCase {
    const char* line;
    bool ok;
    const char* host;
    int port;
};

class FtpPassiveReply : public ::testing::TestWithParam<PasvCase> {};

TEST_P(FtpPassiveReply, Parses) {
    const PasvCase& c = GetParam();
    std::string host;
    int port = -1;
    EXPECT_EQ(TestFtpLink::ParsePassiveReply(c.line, host, port), c.ok) << c.line;
    if (c.ok) {
        EXPECT_EQ(host, c.host);
        EXPECT_EQ(port, c.port);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FtpPassiveReply,
    ::testing::Values(PasvCase{"227 Entering Passive Mode (10,0,0,1,4,1)", true, "10.0.0.1", 1025},
                      PasvCase{"227 ok (127,0,0,1, 19, 136).", true, "127.0.0.1", 5000},
                      PasvCase{"227 ok (999,1,1,1,300,300)", false, "", 0},
                      PasvCase{"227 ok (1,2,3,4,5)", false, "", 0},
                      PasvCase{"227 ok (1,2,3,4,5,6,7)", false, "", 0},
                      PasvCase{"227 ok 127,0,0,1,4,1", false, "", 0},
                      PasvCase{"227 ok (127,0,0,1,0,0)", false, "", 0},
                      PasvCase{"227 ok (a,b,c,d,e,f)", false, "", 0},
                      PasvCase{"227 ok )1,2,3,4,5,6(", false, "", 0}));


}  // namespace
}  // namespace velkor
