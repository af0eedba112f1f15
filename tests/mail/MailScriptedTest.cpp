// CSmtp and CPop3 against scripted peers: what real servers do not do on
// demand (split and multi-line replies, refusals, stalls, resets, odd
// listings, oversized replies).
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <set>
#include <string>
#include <thread>

#include "ScriptedPeer.h"
#include "mail/CPop3.h"
#include "mail/CSmtp.h"
#include "platform/WaitHook.h"

namespace velkor {
namespace {

using test::PeerConnection;
using test::ScriptedPeer;
using Clock = std::chrono::steady_clock;

void Pause() { std::this_thread::sleep_for(std::chrono::milliseconds(30)); }

// The greeting and EHLO answers in pieces, then AUTH LOGIN and one message
// of 20 000 bytes; the peer checks every command it reads.
TEST(SmtpScripted, SplitMultiLineRepliesAuthAndExactCommands) {
    std::string data;
    std::vector<std::string> commands;
    ScriptedPeer peer([&](PeerConnection& c) {
        c.Write("220-mail.test ESMTP\r\n220");
        Pause();
        c.Write(" ready\r\n");
        commands.push_back(c.ReadLine());
        c.Write("250-mail.test\r\n250-SIZE 1000");
        Pause();
        c.Write("0000\r\n250 AUTH LOGIN\r\n");
        for (const char* reply : {"334 VXNlcm5hbWU6\r\n", "334 UGFzc3dvcmQ6\r\n", "235 ok\r\n",
                                  "250 sender ok\r\n", "250 rcpt ok\r\n", "354 go on\r\n"}) {
            commands.push_back(c.ReadLine());
            c.Write(reply);
        }
        for (std::string line; (line = c.ReadLine()) != ".";) data += line + "\r\n";
        c.Write("250 queued\r\n");
        commands.push_back(c.ReadLine());
        c.Write("221 bye\r\n");
    });
    CSmtp smtp;
    smtp.SetServerProperties("127.0.0.1", peer.Port(), 1, "user", "pass");
    ASSERT_EQ(smtp.Connect(), 1) << smtp.GetLastError();
    std::string message = "From: a@x.org\r\nTo: b@x.org\r\n\r\n";
    while (message.size() < 20000) message += std::string(98, 'x') + "\r\n";
    message.resize(20000 - 2);
    message += "\r\n";
    std::uint32_t sent = 5;
    ASSERT_EQ(smtp.SendMessageA(message, sent), 1);
    EXPECT_EQ(sent, 20005u);
    EXPECT_EQ(smtp.Disconnect(), 1);
    peer.Join();
    ASSERT_EQ(commands.size(), 8u);
    EXPECT_TRUE(commands[0].rfind("EHLO ", 0) == 0 &&
                (commands[0].find('.') != std::string::npos || commands[0] == "EHLO [127.0.0.1]"))
        << commands[0];
    const std::vector<std::string> rest(commands.begin() + 1, commands.end());
    EXPECT_EQ(rest, (std::vector<std::string>{"AUTH LOGIN", "dXNlcg==", "cGFzcw==",
                                              "MAIL FROM:<a@x.org>", "RCPT TO:<b@x.org>", "DATA",
                                              "QUIT"}));
    EXPECT_EQ(data, message);
}

struct SmtpFailure {
    const char* name;
    std::function<void(PeerConnection&)> script;
    bool connects;    // Connect succeeds
    int error;        // GetLastError after the failing call
    double maxSeconds;
};

class SmtpFailures : public testing::TestWithParam<SmtpFailure> {};

TEST_P(SmtpFailures, EndWithTheDocumentedErrorInTime) {
    const SmtpFailure& f = GetParam();
    ScriptedPeer peer(f.script);
    CSmtp smtp;
    smtp.m_nTimeout = 1;
    smtp.SetServerProperties("127.0.0.1", peer.Port(), 0, "", "");
    const auto start = Clock::now();
    const int connected = smtp.Connect();
    ASSERT_EQ(connected, f.connects ? 1 : 0);
    if (connected) {
        std::string message = "From: a@x.org\r\nTo: b@x.org, c@x.org, d@x.org\r\n\r\nhi\r\n";
        std::uint32_t sent = 0;
        EXPECT_EQ(smtp.SendMessageA(message, sent), 0);
    } else {
        EXPECT_EQ(smtp.m_bConnected, 0);
    }
    EXPECT_EQ(smtp.GetLastError(), f.error);
    EXPECT_LT(std::chrono::duration<double>(Clock::now() - start).count(), f.maxSeconds);
}

void Greet(PeerConnection& c) {
    c.Write("220 hi\r\n");
    c.ReadLine();
    c.Write("250 hello\r\n");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SmtpFailures,
    testing::Values(
        SmtpFailure{"Greeting554", [](PeerConnection& c) { c.Write("554 go away\r\n"); }, false,
                    CSmtp::kErrGreeting, 5},
        SmtpFailure{"SilentAfterGreeting",
                    [](PeerConnection& c) {
                        c.Write("220 hi\r\n");
                        c.ReadLine();
                        std::this_thread::sleep_for(std::chrono::seconds(3));
                    },
                    false, CSmtp::kErrSocket, 2.8},
        // 550 to the second of three recipients: no third RCPT, no DATA.
        SmtpFailure{"SecondRecipientRefused",
                    [](PeerConnection& c) {
                        Greet(c);
                        c.ReadLine();
                        c.Write("250 ok\r\n");
                        c.ReadLine();
                        c.Write("250 ok\r\n");
                        c.ReadLine();
                        c.Write("550 no such user\r\n");
                        if (c.ReadLine().empty()) return;  // nothing more may come
                        c.Write("500 unexpected\r\n");
                    },
                    true, CSmtp::kErrReply, 3},
        SmtpFailure{"ResetAfterMail",
                    [](PeerConnection& c) {
                        Greet(c);
                        c.ReadLine();
                        c.Reset();
                    },
                    true, CSmtp::kErrSocket, 3},
        SmtpFailure{"DataRefused",
                    [](PeerConnection& c) {
                        Greet(c);
                        for (int i = 0; i < 4; ++i) {
                            c.ReadLine();
                            c.Write("250 ok\r\n");
                        }
                        c.ReadLine();
                        c.Write("451 try later\r\n");
                    },
                    true, CSmtp::kErrData, 3}),
    [](const testing::TestParamInfo<SmtpFailure>& info) { return std::string(info.param.name); });

TEST(SmtpScripted, NothingSentBeforeConnectOrWithLineBreaks) {
    CSmtp smtp;
    std::string message = "From: a@x.org\r\n\r\n";
    std::uint32_t sent = 0;
    EXPECT_EQ(smtp.SendMessageA(message, sent), 0);
    EXPECT_EQ(smtp.GetLastError(), CSmtp::kErrConnect);
    EXPECT_EQ(smtp.Disconnect(), 1);
    EXPECT_EQ(smtp.GetLastError(), CSmtp::kErrConnect);
}

// A POP3 server that logs in and then answers LIST with the given text.
ScriptedPeer::Script Pop3With(std::string list, std::string more = "") {
    return [list, more](PeerConnection& c) {
        c.Write("+OK ready\r\n");
        c.ReadLine();
        c.Write("+OK\r\n");
        c.ReadLine();
        c.Write("+OK logged in\r\n");
        c.ReadLine();
        c.Write(list);
        std::string line;
        while (!(line = c.ReadLine()).empty()) {
            if (line == "UIDL") c.Write("+OK\r\n1 id-one\r\n2 id-two\r\n.\r\n");
            else if (line.rfind("RETR", 0) == 0 || line.rfind("TOP", 0) == 0) c.Write(more);
            else c.Write("+OK\r\n");
        }
    };
}

struct ListCase {
    const char* name;
    std::string list;
    int login;
    int count;
};

class Pop3Lists : public testing::TestWithParam<ListCase> {};

TEST_P(Pop3Lists, CountFromTheStatusLineOrTheListing) {
    const ListCase& l = GetParam();
    ScriptedPeer peer(Pop3With(l.list));
    CPop3 pop("127.0.0.1", peer.Port());
    pop.m_nTimeout = 1;
    ASSERT_EQ(pop.Connect(), 1);
    EXPECT_EQ(pop.Login("u", "p"), l.login);
    EXPECT_EQ(pop.GetMsgCount(), l.count);
    if (l.count == 2) {
        EXPECT_EQ(pop.GetMsgLength(1), 20u);
        EXPECT_EQ(pop.GetMsgID(1), "id-two");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Pop3Lists,
    testing::Values(ListCase{"CountWord", "+OK 2 messages\r\n1 10\r\n2 20\r\n.\r\n", 1, 2},
                    ListCase{"CountFromLines", "+OK 2\r\n1 10\r\n2 20\r\n.\r\n", 1, 2},
                    ListCase{"StatusAlone", "+OK\r\n1 10\r\n.\r\n", 0, 0},
                    ListCase{"WordsOnly", "+OK no messages\r\n.\r\n", 1, 0},
                    ListCase{"SplitTerminator", "+OK 2 messages\r\n1 10\r\n2 20\r\n.", 0, 0}),
    [](const testing::TestParamInfo<ListCase>& info) { return std::string(info.param.name); });

struct RetrCase {
    const char* name;
    std::string reply;  // the answer to RETR
    std::size_t bound;
    int result;
    std::string message;
    int error;
};

class Pop3Retr : public testing::TestWithParam<RetrCase> {};

TEST_P(Pop3Retr, EndsAtTheDotLineWithinBounds) {
    const RetrCase& r = GetParam();
    ScriptedPeer peer(Pop3With("+OK 1 message\r\n1 5\r\n.\r\n", r.reply));
    CPop3 pop("127.0.0.1", peer.Port());
    pop.m_nTimeout = 1;
    if (r.bound) pop.SetMaxReplyBytes(r.bound);
    ASSERT_EQ(pop.Connect(), 1);
    ASSERT_EQ(pop.Login("u", "p"), 1);
    std::string message;
    std::uint32_t size = 0;
    const auto start = Clock::now();
    EXPECT_EQ(pop.GetMsg(0, message, size, 0), r.result);
    EXPECT_LT(std::chrono::duration<double>(Clock::now() - start).count(), 2.8);
    if (r.result) {
        EXPECT_EQ(message, r.message);
        EXPECT_EQ(size, r.message.size());
    } else {
        EXPECT_EQ(pop.GetLastError(), r.error);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Pop3Retr,
    testing::Values(
        RetrCase{"EmptyMessage", "+OK 0 octets\r\n.\r\n", 0, 1, "", 0},
        RetrCase{"StuffedDotsAndNul", std::string("+OK\r\n..x\r\n...\r\na\0b\r\n.\r\n", 23), 0, 1,
                 std::string(".x\r\n..\r\na\0b\r\n", 13), 0},
        RetrCase{"LargerThanTheBound", "+OK\r\n" + std::string(5000, 'x') + "\r\n.\r\n", 1000, 0,
                 "", CPop3::kErrTooLarge},
        RetrCase{"Refused", "-ERR no such message\r\n", 0, 0, "", 0},
        RetrCase{"StallsMidMessage", "+OK\r\npart of it\r\n", 0, 0, "", CPop3::kErrSocket}),
    [](const testing::TestParamInfo<RetrCase>& info) { return std::string(info.param.name); });

TEST(Pop3Scripted, RefusedGreetingAndDefaults) {
    ScriptedPeer peer([](PeerConnection& c) { c.Write("-ERR busy\r\n"); });
    CPop3 pop;
    EXPECT_EQ(pop.m_nPort, 110u);
    EXPECT_EQ(pop.m_strServer, "");
    pop.SetServerProperties("127.0.0.1", peer.Port());
    pop.SetServerProperties(nullptr, 1);
    EXPECT_EQ(pop.m_nPort, peer.Port());
    EXPECT_EQ(pop.Connect(), 0);
    EXPECT_EQ(pop.GetLastError(), CPop3::kErrConnect);
    EXPECT_EQ(pop.m_bConnected, 0);
    std::string header;
    EXPECT_EQ(pop.GetMsgHeader(0, header), 0);
}

}  // namespace
}  // namespace velkor

namespace velkor {
namespace {

// While the client waits for a reader that starts late, the wait hook sees
// sentBytes advance in whole 8192-byte pieces from the caller's value.
TEST(SmtpScripted, ProgressInWholePiecesWhileWaiting) {
    ScriptedPeer peer([](PeerConnection& c) {
        Greet(c);
        for (const char* reply : {"250 ok\r\n", "250 ok\r\n", "354 go on\r\n"}) {
            c.ReadLine();
            c.Write(reply);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        std::string tail;
        while (tail.find("\r\n.\r\n") == std::string::npos) {
            const std::string got = c.ReadSome(1 << 20);
            if (got.empty()) return;
            tail = tail.substr(tail.size() > 4 ? tail.size() - 4 : 0) + got;
        }
        c.Write("250 ok\r\n");
    });
    CSmtp smtp;
    smtp.SetServerProperties("127.0.0.1", peer.Port(), 0, "", "");
    ASSERT_EQ(smtp.Connect(), 1);
    std::string message = "From: a@x.org\r\nTo: b@x.org\r\n\r\n";
    while (message.size() < 24u * 1024 * 1024) message += std::string(78, 'y') + "\r\n";
    std::uint32_t sent = 100;
    std::vector<std::uint32_t> seen;
    {
        ScopedWaitHook hook([&] { seen.push_back(sent); });
        ASSERT_EQ(smtp.SendMessageA(message, sent), 1);
    }
    EXPECT_EQ(sent, 100 + message.size());
    std::set<std::uint32_t> distinct(seen.begin(), seen.end());
    EXPECT_GE(distinct.size(), 3u);
    for (std::uint32_t v : distinct)
        EXPECT_TRUE(v == sent || (v - 100) % CSmtp::kChunkBytes == 0) << v;
}

}  // namespace
}  // namespace velkor
