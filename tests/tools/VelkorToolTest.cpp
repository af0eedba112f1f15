// The velkor command-line tool: the progress line, and files beyond 4 GiB
// against the real FTP servers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "Progress.h"
#include "RealServers.h"
#include "TestFiles.h"

namespace velkor::tool {
namespace {

namespace fs = std::filesystem;

TEST(ProgressLine, ShowsBarPercentRateAndTimeLeft) {
    EXPECT_EQ(Progress::Format("get f", 512, 1024, 256, 10),
              "get f [#####     ]  50% 512 B  256 B/s  ETA 0:02");
    EXPECT_EQ(Progress::Format("put g", 3 << 20, 3 << 20, 1 << 20, 4),
              "put g [####] 100% 3.0 MiB  1.0 MiB/s");
    // Unknown total: no bar, no time left.
    EXPECT_EQ(Progress::Format("get h", 1536, 0, 0, 4), "get h 1.5 KiB");
}

// Runs the built tool; what it printed on both streams.
std::string VelkorOutput(const std::string& args) {
    const std::string command = std::string(VELKOR_TOOL) + " " + args + " 2>&1";
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return {};
    std::string out;
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, pipe)) > 0;) out.append(buf, n);
    ::pclose(pipe);
    return out;
}



// Files of 4 GiB and more through the tool, on both servers: the size,
// the progress counts and transfers resumed at an offset above 4 GiB.
constexpr std::uint64_t kBig = 5ull << 30;
constexpr std::uint64_t kResumeAt = (4ull << 30) + 4096;

// The first `size` bytes of a sparse kBig-byte file with a few marked
// places (so a partial file is a true prefix of the whole one).
void MakeSparse(const fs::path& p, std::uint64_t size) {
    { std::ofstream(p, std::ios::binary | std::ios::trunc); }
    fs::resize_file(p, size);
    std::fstream f(p, std::ios::binary | std::ios::in | std::ios::out);
    for (const std::uint64_t at : {std::uint64_t{0}, kResumeAt - 8, kResumeAt + 1000, kBig - 4}) {
        if (at + 4 > size) continue;
        f.seekp(static_cast<std::streamoff>(at));
        f << "M" << at % 997;
    }
}

// True when both files hold the same bytes from `from` to their end.
bool SameTail(const fs::path& a, const fs::path& b, std::uint64_t from) {
    if (fs::file_size(a) != fs::file_size(b)) return false;
    std::ifstream fa(a, std::ios::binary), fb(b, std::ios::binary);
    fa.seekg(static_cast<std::streamoff>(from));
    fb.seekg(static_cast<std::streamoff>(from));
    std::vector<char> ba(1 << 20), bb(1 << 20);
    while (fa && fb) {
        fa.read(ba.data(), static_cast<std::streamsize>(ba.size()));
        fb.read(bb.data(), static_cast<std::streamsize>(bb.size()));
        if (fa.gcount() != fb.gcount() ||
            !std::equal(ba.begin(), ba.begin() + fa.gcount(), bb.begin()))
            return false;
    }
    return true;
}

class BeyondFourGiB : public ::testing::TestWithParam<std::string> {};

TEST_P(BeyondFourGiB, SizeAndResumedGetAndPut) {
    const std::string why = test::FtpServerUnavailable(GetParam());
    if (!why.empty()) GTEST_SKIP() << why;
    test::FtpServer server(GetParam());
    ASSERT_TRUE(server.Start());
    const fs::path local = server.Root().parent_path() / "local";
    fs::create_directories(local);
    MakeSparse(server.Root() / "big.bin", kBig);
    MakeSparse(local / "up.bin", kBig);
    MakeSparse(local / "part.bin", kResumeAt);
    MakeSparse(server.Root() / "up.bin", kResumeAt);
    server.GiveToServer(server.Root() / "big.bin");
    server.GiveToServer(server.Root() / "up.bin");
    const std::string url = "ftp://" + std::string(test::FtpServer::TestUser()) + ":" +
                            test::FtpServer::TestPassword() + "@127.0.0.1:" +
                            std::to_string(server.Port());

    EXPECT_EQ(VelkorOutput("ftp size " + url + "/big.bin"), std::to_string(kBig) + "\n");
    const std::string got =
        VelkorOutput("ftp -q get --resume " + url + "/big.bin " + (local / "part.bin").string());
    EXPECT_NE(got.find(std::to_string(kBig - kResumeAt) + " bytes (resumed at " +
                       std::to_string(kResumeAt) + ")"),
              std::string::npos)
        << got;
    // The bytes before the offset are the local file's; the rest came whole.
    EXPECT_TRUE(SameTail(local / "part.bin", server.Root() / "big.bin", kResumeAt - 8));
    const std::string put =
        VelkorOutput("ftp -q put --resume " + (local / "up.bin").string() + " " + url + "/up.bin");
    EXPECT_NE(put.find(std::to_string(kBig - kResumeAt) + " bytes"), std::string::npos) << put;
    EXPECT_TRUE(SameTail(local / "up.bin", server.Root() / "up.bin", kResumeAt - 8));
}

INSTANTIATE_TEST_SUITE_P(Servers, BeyondFourGiB,
                         ::testing::Values("pyftpdlib", "vsftpd", "proftpd", "pure-ftpd"),
                         [](const auto& info) {
                             std::string name = info.param;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

}  // namespace
}  // namespace velkor::tool
