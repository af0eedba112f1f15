// The FTP engine against scripted servers that check every line it sends.
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

// --- logon sequences ---

struct LogonCase {
    const char* name;
    int type;
    int port;
    Lines replies;   // answers to the lines, in order (PWD included)
    Lines expected;  // lines the server must receive
    bool result;
    int state;
};

void PrintTo(const LogonCase& c, std::ostream* os) { *os << c.name; }

class FtpLogon : public ::testing::TestWithParam<LogonCase> {};

const std::string kPwd = "257 \"/home/u\" is the current directory\r\n";

TEST_P(FtpLogon, SendsTheSequenceAndFollowsReplyClasses) {
    const LogonCase& tc = GetParam();
    Lines received;
    ScriptedPeer server(FtpDialogue("220 ready\r\n", tc.replies, &received));
    TestFtpLink ftp;
    // The scripted server stands for the firewall (types 1-8) or the host.
    const bool direct = tc.type == 0;
    const int serverPort = static_cast<int>(server.Port());
    const bool ok = ftp.Login(direct ? "127.0.0.1" : "ftp.example.org",
                              direct ? serverPort : tc.port, "alice", "pw", "acc",
                              "127.0.0.1", "fwu", "fwp", serverPort, tc.type);
    EXPECT_EQ(ok, tc.result);
    EXPECT_EQ(ftp.m_nLoginState, tc.state);
    if (ok) {
        EXPECT_EQ(ftp.m_strHomeDir, "/home/u");
        EXPECT_EQ(ftp.m_strCurrentDir, "/home/u");
        EXPECT_EQ(ftp.m_strTransferType, "a");
    }
    ftp.Logout();
    server.Join();
    Lines sent(received.begin(), received.begin() + std::min(received.size(),
                                                             tc.expected.size()));
    EXPECT_EQ(sent, tc.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Types, FtpLogon,
    ::testing::Values(
        LogonCase{"Direct331Then230", 0, 21, {"331 pw\r\n", "230 ok\r\n", kPwd},
                  {"USER alice", "PASS pw", "PWD"}, true, kFtpLoggedOn},
        LogonCase{"DirectUser230", 0, 21, {"230 ok\r\n", kPwd}, {"USER alice", "PWD"}, true, kFtpLoggedOn},
        LogonCase{"DirectAccount", 0, 21, {"331 pw\r\n", "332 acct\r\n", "230 ok\r\n", kPwd},
                  {"USER alice", "PASS pw", "ACCT acc", "PWD"}, true, kFtpLoggedOn},
        LogonCase{"DirectAccount3xxRefused", 0, 21,
                  {"331 pw\r\n", "332 acct\r\n", "332 again\r\n"},
                  {"USER alice", "PASS pw", "ACCT acc"}, false, kFtpLoggedOff},
        LogonCase{"DirectUser530", 0, 21, {"530 no\r\n"}, {"USER alice"}, false, kFtpLoggedOff},
        LogonCase{"SiteHost", 1, 21,
                  {"331 fw\r\n", "230 fw ok\r\n", "331 site\r\n", "331 pw\r\n", "230 ok\r\n",
                   kPwd},
                  {"USER fwu", "PASS fwp", "SITE ftp.example.org", "USER alice", "PASS pw",
                   "PWD"},
                  true, kFtpLoggedOn},
        LogonCase{"SiteHost2xxRefused", 1, 21, {"230 fw\r\n", "200 site\r\n"},
                  {"USER fwu", "SITE ftp.example.org"}, false, kFtpLoggedOff},
        LogonCase{"UserAtHostAfterFirewallLogon", 2, 2121,
                  {"331 fw\r\n", "230 fw ok\r\n", "331 pw\r\n", "230 ok\r\n", kPwd},
                  {"USER fwu", "PASS fwp", "USER alice@ftp.example.org:2121", "PASS pw", "PWD"},
                  true, kFtpLoggedOn},
        LogonCase{"ProxyOpenWithPort", 3, 2121,
                  {"220 connected\r\n", "331 pw\r\n", "230 ok\r\n", kPwd},
                  {"OPEN ftp.example.org:2121", "USER alice", "PASS pw", "PWD"}, true, kFtpLoggedOn},
        LogonCase{"Transparent", 4, 21,
                  {"230 fw\r\n", "331 pw\r\n", "230 ok\r\n", kPwd},
                  {"USER fwu", "USER alice", "PASS pw", "PWD"}, true, kFtpLoggedOn},
        LogonCase{"UserAtHostNoFirewallLogon", 5, 21, {"331 pw\r\n", "230 ok\r\n", kPwd},
                  {"USER alice@ftp.example.org", "PASS pw", "PWD"}, true, kFtpLoggedOn},
        LogonCase{"FirewallUserAtHost", 6, 21,
                  {"331 fw\r\n", "230 fw ok\r\n", "331 pw\r\n", "230 ok\r\n", kPwd},
                  {"USER fwu@ftp.example.org", "PASS fwp", "USER alice", "PASS pw", "PWD"},
                  true, kFtpLoggedOn},
        LogonCase{"UserAtHostFirewallUser", 7, 21, {"331 pw\r\n", "230 ok\r\n", kPwd},
                  {"USER alice@ftp.example.org fwu", "PASS pw", "PWD"}, true, kFtpLoggedOn},
        LogonCase{"UserAtHostFirewallUser2xxRefused", 7, 21, {"230 hm\r\n"},
                  {"USER alice@ftp.example.org fwu"}, false, kFtpLoggedOff},
        LogonCase{"UserAtFirewallAtHost", 8, 21, {"331 pw\r\n", "230 ok\r\n", kPwd},
                  {"USER alice@fwu@ftp.example.org", "PASS pw@fwp", "PWD"}, true, kFtpLoggedOn},
        LogonCase{"PwdWithoutQuotes", 0, 21, {"230 ok\r\n", "257 /home/u\r\n"},
                  {"USER alice", "PWD"}, false, kFtpLoggedOn}),
    [](const ::testing::TestParamInfo<LogonCase>& info) { return info.param.name; });

TEST(FtpLogon, OutOfRangeTypeConnectsNowhere) {
    Lines received;
    ScriptedPeer server(FtpDialogue("220 ready\r\n", {}, &received));
    TestFtpLink ftp;
    const int port = static_cast<int>(server.Port());
    EXPECT_FALSE(ftp.Login("127.0.0.1", port, "a", "b", "", "127.0.0.1", "", "", port, 9));
    EXPECT_EQ(ftp.m_nLoginState, 3);
    EXPECT_FALSE(ftp.Login("127.0.0.1", port, "a", "b", "", "127.0.0.1", "", "", port, -1));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(server.Accepted(), 0);
}

// Greetings: each server writes its greeting in the pieces given, then
// serves the logon if the greeting is a welcome.
struct GreetingCase {
    const char* name;
    std::vector<std::string> pieces;
    bool loggedOn;
    int status;  // of the greeting when refused
};

class FtpGreeting : public ::testing::TestWithParam<GreetingCase> {};

TEST_P(FtpGreeting, IsReadWholeAndJudged) {
    const GreetingCase& g = GetParam();
    Lines received;
    ScriptedPeer server([&](PeerConnection& c) {
        for (const std::string& piece : g.pieces) {
            c.Write(piece);
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        if (!g.loggedOn) return;
        received.push_back(c.ReadLine());
        c.Write("230 ok\r\n");
        received.push_back(c.ReadLine());
        c.Write("257 \"/\"\r\n");
        c.ReadToEnd();
    });
    TestFtpLink ftp;
    ASSERT_EQ(LoginTo(ftp, server), g.loggedOn);
    if (g.loggedOn) {
        // The whole greeting was consumed before USER.
        EXPECT_EQ(received, (Lines{"USER u", "PWD"}));
        EXPECT_TRUE(ftp.m_arrReplyQueue.empty());
    } else {
        EXPECT_EQ(ftp.GetLastError(), g.status);
        EXPECT_EQ(ftp.m_nLoginState, kFtpLoggedOff);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FtpGreeting,
    ::testing::Values(
        GreetingCase{"Preliminary120Then220", {"120 wait a bit\r\n220 ready now\r\n"}, true, 0},
        GreetingCase{"MultiLineSplitAcrossPackets",
                     {"22", "0-Welcome\r\n220-second", " line\r\n", "220 ready\r\n"}, true, 0},
        GreetingCase{"Refusing421", {"421 too many users\r\n"}, false, kFtpStatusTransient}),
    [](const auto& info) { return std::string(info.param.name); });

// --- replies ---

TEST(FtpReplies, MultiLineReplyIsOneMessage) {
    Lines received;
    ScriptedPeer server(FtpDialogue(
        "220 hi\r\n",
        LoggedOn({"211-Status\r\n 211 inside\r\n211-more\r\n211 End\r\n", "200 noop\r\n"}),
        &received));
    TestFtpLink ftp;
    ASSERT_TRUE(LoginTo(ftp, server));
    ftp.m_nCommand = 38;  // STAT
    ASSERT_TRUE(ftp.SendCommand("STAT\r\n"));
    EXPECT_TRUE(ftp.CheckStatus());
    EXPECT_EQ(ftp.m_nLastReply, 211);
    EXPECT_EQ(ftp.m_arrLastMessage,
              (Lines{"211-Status", " 211 inside", "211-more", "211 End"}));
    EXPECT_TRUE(ftp.Noop());
}

TEST(FtpReplies, MultiLinePreliminaryAndCompletionInOnePiece) {
    // Pure-FTPd often sends all three lines in one write.
    Lines received;
    ScriptedPeer server(FtpDialogue(
        "220 hi\r\n", LoggedOn({"150-Accepted data connection\r\n150 4097 bytes\r\n226 ok\r\n"}),
        &received));
    TestFtpLink ftp;
    ftp.m_control.m_nTimeout = 1;
    ASSERT_TRUE(LoginTo(ftp, server));
    EXPECT_TRUE(ftp.Retr("a.bin"));
    EXPECT_EQ(ftp.m_nLastReply, 226);
    EXPECT_TRUE(ftp.m_arrReplyQueue.empty());
}

TEST(FtpReplies, EmptyQueueIs602AndRefusedForEveryCommand) {
    TestFtpLink ftp;
    for (int command = 0; command < CFtpLink::kCommandCount; ++command) {
        ftp.m_nCommand = command;
        EXPECT_FALSE(ftp.CheckStatus());
        EXPECT_EQ(ftp.m_nLastReply, 602);
        EXPECT_EQ(ftp.GetLastError(), 2) << command;
    }
}

// Servers that answer NOOP badly: with no code, with a line that never
// ends, with more lines than the queue may hold, or not at all.
struct HostileCase {
    const char* name;
    std::function<void(PeerConnection&)> answer;  // after reading NOOP
    int status;
    int state;
};

class FtpHostileReply : public ::testing::TestWithParam<HostileCase> {};

TEST_P(FtpHostileReply, FailsWithinItsBounds) {
    const HostileCase& h = GetParam();
    ScriptedPeer server([&](PeerConnection& c) {
        ServeLogon(c);
        c.ReadLine();
        h.answer(c);
    });
    TestFtpLink ftp;
    ftp.m_control.m_nTimeout = 1;
    ASSERT_TRUE(LoginTo(ftp, server));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(ftp.Noop());
    EXPECT_EQ(ftp.GetLastError(), h.status);
    EXPECT_EQ(ftp.m_nLoginState, h.state);
    if (h.state == kFtpLoggedOff) {
        EXPECT_TRUE(ftp.m_arrReplyQueue.empty());
    }
    // At most the whole-reply deadline (twice the 1 s time-out) plus 1 s of
    // whole-second rounding, with room for a busy machine.
    EXPECT_LE(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FtpHostileReply,
    ::testing::Values(
        HostileCase{"NoCode", [](PeerConnection& c) { c.Write("hello there\r\n"); },
                    kFtpStatusUnknownReply, kFtpLoggedOn},
        HostileCase{"EndlessLine",
                    [](PeerConnection& c) {
                        c.Write("200 ");
                        const std::string chunk(64 << 10, 'x');
                        for (int i = 0; i < 40 && c.Write(chunk); ++i) {}  // 2.5 MiB
                    },
                    kFtpStatusConnection, kFtpLoggedOff},
        HostileCase{"MoreLinesThanTheQueueHolds",
                    [](PeerConnection& c) {
                        std::string lines;
                        for (std::size_t i = 0; i <= CFtpLink::kMaxQueuedLines; ++i)
                            lines += "200-x\r\n";
                        c.Write(lines + "200 end\r\n");  // under the byte bound
                        c.ReadToEnd();
                    },
                    kFtpStatusConnection, kFtpLoggedOff},
        HostileCase{"Silent", [](PeerConnection& c) { c.ReadToEnd(); }, kFtpStatusConnection,
                    kFtpLoggedOff},
        // A byte every 0.3 s keeps each receive alive, never the whole reply.
        HostileCase{"Trickling",
                    [](PeerConnection& c) {
                        for (int i = 0; i < 40 && c.Write(i == 0 ? "200 " : "x"); ++i)
                            std::this_thread::sleep_for(std::chrono::milliseconds(300));
                    },
                    kFtpStatusConnection, kFtpLoggedOff}),
    [](const auto& info) { return std::string(info.param.name); });

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

TEST(FtpReplies, DroppedConnectionLogsOnAgainByItself) {
    std::vector<Lines> received(2);
    int connection = 0;
    ScriptedPeer server(
        [&](PeerConnection& c) {
            Lines& got = received[static_cast<std::size_t>(connection++)];
            ServeLogon(c, &got);
            got.push_back(c.ReadLine());
            if (connection == 1) return;  // drop without answering NOOP
            c.Write("200 fine\r\n");
            got.push_back(c.ReadLine());
            c.Write("221 bye\r\n");
        },
        2);
    TestFtpLink ftp;
    ASSERT_TRUE(LoginTo(ftp, server));
    EXPECT_FALSE(ftp.Noop());
    EXPECT_EQ(ftp.GetLastError(), 7);
    EXPECT_EQ(ftp.m_nLoginState, 3);
    EXPECT_TRUE(ftp.Noop());  // logs on again first
    EXPECT_EQ(ftp.m_nLoginState, 1);
    ftp.Logout();
    server.Join();
    EXPECT_EQ(received[0], (Lines{"USER u", "PWD", "NOOP"}));
    EXPECT_EQ(received[1], (Lines{"USER u", "PWD", "NOOP", "QUIT"}));
}

// --- command wrappers ---

TEST(FtpCommands, TypeAndCwdSendNothingWhenNothingChanges) {
    Lines received;
    ScriptedPeer server(FtpDialogue(
        "220 hi\r\n",
        LoggedOn({"200 type set\r\n", "250 ok\r\n", "257 \"/pub\"\r\n", "250 ok\r\n",
                  "257 \"/\"\r\n"}),
        &received));
    TestFtpLink ftp;
    ASSERT_TRUE(LoginTo(ftp, server));
    EXPECT_TRUE(ftp.Type("I"));
    EXPECT_EQ(ftp.m_strTransferType, "i");
    EXPECT_TRUE(ftp.Type("i"));
    EXPECT_EQ(ftp.GetLastError(), 1);
    EXPECT_TRUE(ftp.Cwd("pub"));
    EXPECT_EQ(ftp.m_strCurrentDir, "pub");
    EXPECT_TRUE(ftp.Cwd("/pub"));  // already there
    EXPECT_TRUE(ftp.Cdup());
    EXPECT_EQ(ftp.m_strCurrentDir, "");
    ftp.Logout();
    server.Join();
    EXPECT_EQ(received, (Lines{"USER u", "PWD", "TYPE i", "CWD /pub", "PWD", "CDUP", "PWD",
                               "QUIT"}));
}

TEST(FtpCommands, WrappersSendTheirLinesAndJudgeTheirRows) {
    Lines received;
    ScriptedPeer server(FtpDialogue(
        "220 hi\r\n",
        LoggedOn({"250 deleted\r\n", "350 restarting\r\n", "150 opening\r\n226 done\r\n",
                  "150 opening\r\n426 aborted\r\n", "350 ready\r\n", "503 bad sequence\r\n",
                  "550 no such file\r\n", "213 1234\r\n"}),
        &received));
    TestFtpLink ftp;
    ASSERT_TRUE(LoginTo(ftp, server));
    EXPECT_TRUE(ftp.Dele("dir\\file.txt"));
    EXPECT_TRUE(ftp.Rest(0u));
    EXPECT_EQ(ftp.GetLastError(), 6);
    EXPECT_TRUE(ftp.Retr("a.bin"));
    EXPECT_EQ(ftp.m_nCommand, 23);
    EXPECT_FALSE(ftp.Retr("b.bin"));
    EXPECT_EQ(ftp.GetLastError(), 4);
    EXPECT_TRUE(ftp.Rnfr("old"));
    EXPECT_EQ(ftp.GetLastError(), 6);
    EXPECT_FALSE(ftp.Rnto("new"));
    EXPECT_EQ(ftp.GetLastError(), 2);
    EXPECT_FALSE(ftp.Size("missing"));
    ASSERT_FALSE(ftp.m_arrLastMessage.empty());
    EXPECT_EQ(ftp.m_arrLastMessage[0], "550 no such file");
    EXPECT_TRUE(ftp.Size("there"));
    EXPECT_EQ(ftp.m_nLastReply, 213);
    ftp.Logout();
    server.Join();
    EXPECT_EQ(received, (Lines{"USER u", "PWD", "DELE dir/file.txt", "REST 0", "RETR a.bin",
                               "RETR b.bin", "RNFR old", "RNTO new", "SIZE missing",
                               "SIZE there", "QUIT"}));
}

TEST(FtpCommands, ExtendedCommandsRetryWithTheServersProtocols) {
    Lines received;
    ScriptedPeer server(FtpDialogue(
        "220 hi\r\n",
        LoggedOn({"522 Network protocol not supported, use (2,1)\r\n",
                  "522 Network protocol not supported, use (2,1)\r\n",
                  "229 Entering Extended Passive Mode (|||6446|)\r\n",
                  "522 use (1)\r\n", "200 EPRT ok\r\n", "500 what\r\n"}),
        &received));
    TestFtpLink ftp;
    ASSERT_TRUE(LoginTo(ftp, server));
    EXPECT_TRUE(ftp.Epsv());
    EXPECT_EQ(ftp.m_arrLastMessage[0], "229 Entering Extended Passive Mode (|||6446|)");
    EXPECT_TRUE(ftp.Eprt("|2|::1|6446|"));
    EXPECT_FALSE(ftp.Eprt("|1|127.0.0.1|6446|"));
    ftp.Logout();
    server.Join();
    EXPECT_EQ(received,
              (Lines{"USER u", "PWD", "EPSV", "EPSV 2", "EPSV 1", "EPRT |2|::1|6446|",
                     "EPRT |1|::1|6446|", "EPRT |1|127.0.0.1|6446|", "QUIT"}));
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

// A data server that sends `data` to the first connection and closes.
ScriptedPeer DataServer(std::string data) {
    return ScriptedPeer([data = std::move(data)](PeerConnection& c) { c.Write(data); });
}


TEST(FtpListing, LinesAcrossBlocksSlashesAndALastLineWithoutEnd) {
    // A first line that ends past the 4096-byte block boundary.
    const std::string longLine = "drwxr-xr-x 1 u g 0 Jan 1 2024 " + std::string(4100, 'n') + "/x";
    ScriptedPeer data = DataServer(longLine + "\r\n\r\nfile/two\nthree\rlast-without-end");
    Lines received;
    ScriptedPeer server(FtpDialogue(
        "220 hi\r\n",
        LoggedOn({"200 ascii\r\n", PasvReply(data.Port()), "150 here it comes\r\n226 done\r\n"}),
        &received));
    TestFtpLink ftp;
    ASSERT_TRUE(LoginTo(ftp, server));
    ftp.m_strTransferType = "i";
    ASSERT_TRUE(ftp.List("sub\\dir"));
    std::string expectedFirst = longLine;
    std::replace(expectedFirst.begin(), expectedFirst.end(), '/', '\\');
    EXPECT_EQ(ftp.m_arrListing, (Lines{expectedFirst, "file\\two", "three"}));
    // The 226 that came with the 150 was judged once and consumed.
    EXPECT_TRUE(ftp.m_arrReplyQueue.empty());
    EXPECT_EQ(ftp.m_nLastReply, 226);
    EXPECT_EQ(ftp.m_nCommand, 25);
    ftp.Logout();
    server.Join();
    EXPECT_EQ(received, (Lines{"USER u", "PWD", "TYPE a", "PASV", "LIST sub/dir", "QUIT"}));
}

TEST(FtpListing, NlstReadsTheCompletionReplyAfterTheData) {
    ScriptedPeer data = DataServer("a.txt\r\nb.txt\r\n");
    Lines received;
    ScriptedPeer server([&](PeerConnection& c) {
        ServeLogon(c, &received);
        received.push_back(c.ReadLine());
        c.Write(PasvReply(data.Port()));
        received.push_back(c.ReadLine());
        c.Write("150 here\r\n");
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        c.Write("226 done\r\n");
        c.ReadToEnd();
    });
    TestFtpLink ftp;
    ASSERT_TRUE(LoginTo(ftp, server));
    ASSERT_TRUE(ftp.Nlst(""));
    EXPECT_EQ(ftp.m_arrListing, (Lines{"a.txt", "b.txt"}));
    EXPECT_EQ(ftp.m_nCommand, 27);
    EXPECT_EQ(received, (Lines{"USER u", "PWD", "PASV", "NLST"}));
}

TEST(FtpListing, RefusedListAndBadPassiveAddress) {
    Lines received;
    ScriptedPeer server(FtpDialogue(
        "220 hi\r\n",
        LoggedOn({"227 Entering Passive Mode (999,1,1,1,300,300)\r\n",
                  "227 Entering Passive Mode\r\n", "227 ok (127,0,0,1,0,1)\r\n"}),
        &received));
    TestFtpLink ftp;
    ASSERT_TRUE(LoginTo(ftp, server));
    EXPECT_FALSE(ftp.Nlst("x"));
    EXPECT_FALSE(ftp.Nlst("x"));
    EXPECT_FALSE(ftp.Nlst("x"));  // port 1: nothing listens there
    EXPECT_FALSE(ftp.m_data.m_bConnected);
    char buf[8];
    EXPECT_EQ(ftp.ReadDataChannel(buf, 8), -1);
    ftp.Logout();
    server.Join();
    EXPECT_EQ(received, (Lines{"USER u", "PWD", "PASV", "PASV", "PASV", "QUIT"}));
}

// A listing that never ends, as one line or as endless short lines.
class EndlessListing : public ::testing::TestWithParam<const char*> {};

TEST_P(EndlessListing, IsBoundedAndDropsTheConnection) {
    const std::string unit = GetParam();
    ScriptedPeer data([&](PeerConnection& c) {
        std::string chunk;
        while (chunk.size() < (64u << 10)) chunk += unit;
        while (c.Write(chunk)) {
        }  // until the client closes
    });
    Lines received;
    ScriptedPeer server(FtpDialogue(
        "220 hi\r\n", LoggedOn({PasvReply(data.Port()), "150 here\r\n", "226 done\r\n"}),
        &received));
    TestFtpLink ftp;
    ASSERT_TRUE(LoginTo(ftp, server));
    EXPECT_FALSE(ftp.Nlst(""));
    EXPECT_EQ(ftp.GetLastError(), 7);
    EXPECT_EQ(ftp.m_nLoginState, 3);
    EXPECT_TRUE(ftp.m_arrListing.empty());
    data.Join();
}

INSTANTIATE_TEST_SUITE_P(Listings, EndlessListing, ::testing::Values("y", "n\r\n"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             return std::string(info.param[0] == 'y' ? "OneLine" : "ShortLines");
                         });

}  // namespace
}  // namespace velkor
