#include "socket/CLineReader.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "ScriptedPeer.h"

namespace velkor {
namespace {

using test::PeerConnection;
using test::ScriptedPeer;
using Lines = std::vector<std::string>;

struct ReaderCase {
    const char* name;
    std::vector<std::string> writes;  // each sent on its own, with a pause between
    std::size_t maxLine;
    std::vector<Lines> calls;  // lines expected from each ReadLines call
    CLineReader::Result last;  // result of the call after those
};

// Split lines, long lines and silent peers are covered through the FTP
// control connection (CFtpLinkTest); these are the reader's own edges.
class LineReaderCases : public ::testing::TestWithParam<ReaderCase> {};

TEST_P(LineReaderCases, HandsOverWholeLinesOnly) {
    const ReaderCase& c = GetParam();
    ScriptedPeer peer([&](PeerConnection& conn) {
        for (const std::string& w : c.writes) {
            conn.Write(w);
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
        }
    });
    CVLKSocket sock;
    ASSERT_TRUE(sock.Create());
    sock.SetTimeoutLength(5);
    ASSERT_EQ(sock.Connect("127.0.0.1", peer.Port()), 1);
    CLineReader reader(sock, c.maxLine);
    for (const Lines& expected : c.calls) {
        Lines got;
        std::size_t received = 0;
        ASSERT_EQ(reader.ReadLines(got, received), CLineReader::kOk);
        EXPECT_EQ(got, expected);
    }
    Lines rest;
    std::size_t received = 0;
    EXPECT_EQ(reader.ReadLines(rest, received), c.last);
    EXPECT_TRUE(rest.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LineReaderCases,
    ::testing::Values(
        ReaderCase{"CrAndLfApart", {"220 a\r", "\n221 b\r\n"}, 100, {{"220 a", "221 b"}},
                   CLineReader::kClosed},
        // Two replies in one packet, the second cut: the first now, the rest later.
        ReaderCase{"TwoRepliesOnePacket", {"150 go\r\n226 do", "ne\r\n"}, 100,
                   {{"150 go"}, {"226 done"}}, CLineReader::kClosed},
        ReaderCase{"LongLineInOnePacket", {std::string(300, 'x') + "\r\n"}, 100, {},
                   CLineReader::kTooLong}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace velkor
