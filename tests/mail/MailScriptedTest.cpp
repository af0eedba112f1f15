// CSmtp's progress as the wait hook sees it while a slow reader takes a big
// message: a timing check beyond what a transcript states (the
// conversations are in transcripts/smtp and transcripts/pop3).
#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <string>
#include <thread>

#include "ScriptedPeer.h"
#include "mail/CSmtp.h"
#include "platform/WaitHook.h"

namespace velkor {
namespace {

using test::PeerConnection;
using test::ScriptedPeer;

void Greet(PeerConnection& c) {
    c.Write("220 hi\r\n");
    c.ReadLine();
    c.Write("250 hello\r\n");
}

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
