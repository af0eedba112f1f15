// CFtp transfers and tree operations against real servers (pyftpdlib and
// vsftpd), passive and active.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "RealServers.h"
#include "ftp/CFtp.h"

namespace velkor {
namespace {

using test::FtpServer;
namespace fs = std::filesystem;

std::string RandomBytes(std::size_t n, unsigned seed) {
    std::string s(n, '\0');
    std::mt19937 rng(seed);
    for (auto& c : s) c = static_cast<char>(rng());
    return s;
}

std::string ReadFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const fs::path& p, const std::string& data) {
    std::ofstream(p, std::ios::binary | std::ios::trunc) << data;
}

struct TransferParam {
    std::string server;
    bool passive;
};

void PrintTo(const TransferParam& p, std::ostream* os) {
    *os << p.server << (p.passive ? " passive" : " active");
}

class RealTransfer : public ::testing::TestWithParam<TransferParam> {
protected:
    void SetUp() override {
        const std::string why = test::FtpServerUnavailable(GetParam().server);
        if (!why.empty()) GTEST_SKIP() << why;
        m_server = std::make_unique<FtpServer>(GetParam().server);
        ASSERT_TRUE(m_server->Start());
        m_local = m_server->Root().parent_path() / "local";
        fs::create_directories(m_local);
        ASSERT_TRUE(m_ftp.Login("127.0.0.1", static_cast<int>(m_server->Port()),
                                FtpServer::TestUser(), FtpServer::TestPassword(), "", "", "", "",
                                0, 0));
    }

    // A server path for a name in the served root.
    std::string Remote(const std::string& name) const {
        const std::string& home = m_ftp.m_strHomeDir;
        return (home.back() == '/' ? home : home + "/") + name;
    }

    void PutOnServer(const std::string& name, const std::string& data) {
        WriteFile(m_server->Root() / name, data);
        m_server->GiveToServer(m_server->Root() / name);
    }

    bool Passive() const { return GetParam().passive; }

    std::unique_ptr<FtpServer> m_server;
    fs::path m_local;
    CFtp m_ftp;
};

TEST_P(RealTransfer, UploadAndDownloadAreByteIdentical) {
    for (std::size_t size : {0u, 1u, 4095u, 4096u, 4097u, 3u << 20}) {
        SCOPED_TRACE(size);
        const std::string data = RandomBytes(size, static_cast<unsigned>(size));
        const std::string name = "f" + std::to_string(size) + ".bin";
        WriteFile(m_local / name, data);
        std::uint32_t up = 0;
        ASSERT_EQ(m_ftp.Upload((m_local / name).string(), Remote(name), up, 0, 0, 0, Passive()),
                  1u)
            << m_ftp.GetLastMessage();
        EXPECT_EQ(up, size);
        EXPECT_TRUE(ReadFile(m_server->Root() / name) == data);

        std::uint32_t down = 0;
        const fs::path back = m_local / ("back-" + name);
        ASSERT_EQ(m_ftp.Download(Remote(name), back.string(), down, 0, 0, 0, Passive()), 0u)
            << m_ftp.GetLastMessage();
        EXPECT_EQ(down, size);
        EXPECT_EQ(m_ftp.m_nTransferred, size);
        EXPECT_EQ(m_ftp.m_nLastReply, 226);
        EXPECT_TRUE(ReadFile(back) == data);
        EXPECT_EQ(m_ftp.GetFileLength(Remote(name)), size);
    }
}

TEST_P(RealTransfer, ResumeFromSeveralOffsets) {
    const std::string data = RandomBytes(200000, 7);
    PutOnServer("resume.bin", data);
    for (std::uint32_t offset : {1000u, 4096u, 123457u}) {
        SCOPED_TRACE(offset);
        const fs::path part = m_local / ("part-" + std::to_string(offset));
        WriteFile(part, data.substr(0, offset));
        std::uint32_t down = 0;
        ASSERT_EQ(m_ftp.Download(Remote("resume.bin"), part.string(), down, 0, offset,
                                 static_cast<std::uint32_t>(data.size()), Passive()),
                  0u);
        EXPECT_EQ(down, data.size() - offset);
        EXPECT_EQ(m_ftp.m_nTransferred, data.size());
        EXPECT_TRUE(ReadFile(part) == data);
    }
    // Resumed upload.
    WriteFile(m_local / "up.bin", data);
    PutOnServer("up.bin", data.substr(0, 5000));
    std::uint32_t up = 0;
    ASSERT_EQ(m_ftp.Upload((m_local / "up.bin").string(), Remote("up.bin"), up, 0, 5000,
                           static_cast<std::uint32_t>(data.size()), Passive()),
              1u);
    EXPECT_EQ(up, data.size() - 5000);
    EXPECT_TRUE(ReadFile(m_server->Root() / "up.bin") == data);
}

TEST_P(RealTransfer, LimitsAndNoTruncation) {
    const std::string data = RandomBytes(1 << 20, 9);
    PutOnServer("big.bin", data);
    std::uint32_t down = 0;
    const fs::path two = m_local / "two-blocks.bin";
    EXPECT_EQ(m_ftp.Download(Remote("big.bin"), two.string(), down, 2 * CFtp::kBlockSize, 0, 0,
                             Passive()),
              0u);
    EXPECT_EQ(down, 2u * CFtp::kBlockSize);
    EXPECT_EQ(ReadFile(two), data.substr(0, 2 * CFtp::kBlockSize));

    // A longer local file keeps its tail.
    const std::string small = RandomBytes(5000, 3);
    PutOnServer("small.bin", small);
    const fs::path longer = m_local / "longer.bin";
    WriteFile(longer, std::string(9000, 'z'));
    down = 0;
    ASSERT_EQ(m_ftp.Download(Remote("small.bin"), longer.string(), down, 0, 0, 0, Passive()), 0u);
    EXPECT_EQ(ReadFile(longer), small + std::string(4000, 'z'));

    // A file the server does not have.
    down = 0;
    EXPECT_EQ(m_ftp.Download(Remote("missing.bin"), (m_local / "m").string(), down, 0, 0, 0,
                             Passive()),
              CFtp::kDownloadUnavailable);
    // The connection is still good.
    EXPECT_TRUE(m_ftp.KeepAlive());
}

TEST_P(RealTransfer, AbortAndUnwritableLocalFileKeepTheSessionInStep) {
    PutOnServer("big.bin", RandomBytes(8 << 20, 4));
    // An abort flag already set: ABOR after the first block.
    m_ftp.m_bAbort = 1;
    std::uint32_t down = 0;
    const fs::path part = m_local / "aborted.bin";
    EXPECT_EQ(m_ftp.Download(Remote("big.bin"), part.string(), down, 0, 0, 0, Passive()), 0u);
    m_ftp.m_bAbort = 0;
    EXPECT_EQ(down, static_cast<std::uint32_t>(CFtp::kBlockSize));
    EXPECT_EQ(fs::file_size(part), static_cast<std::uintmax_t>(CFtp::kBlockSize));
    EXPECT_TRUE(m_ftp.KeepAlive()) << m_ftp.GetLastMessage();
    // A local file that cannot be created: a failure, and the session goes on.
    down = 0;
    EXPECT_NE(m_ftp.Download(Remote("big.bin"), "/nonexistent-dir/x.bin", down, 0, 0, 0,
                             Passive()),
              0u);
    EXPECT_EQ(down, 0u);
    EXPECT_TRUE(m_ftp.KeepAlive()) << m_ftp.GetLastMessage();
    EXPECT_EQ(m_ftp.GetFileLength(Remote("big.bin")), 8u << 20);
}

TEST_P(RealTransfer, TreeOperations) {
    fs::create_directories(m_server->Root() / "tree/sub/deeper");
    fs::create_directories(m_server->Root() / "tree/empty");
    WriteFile(m_server->Root() / "tree/a.txt", "a");
    WriteFile(m_server->Root() / "tree/sub/b c.txt", "bc");
    WriteFile(m_server->Root() / "tree/sub/deeper/d.txt", "d");
    m_server->GiveToServer(m_server->Root() / "tree");

    EXPECT_TRUE(m_ftp.IsFileExisted(Remote("tree")));
    // A file is looked for by its exact name among the NLST lines of its
    // directory; vsftpd answers NLST of a directory with whole paths, so
    // there the file is not found.
    EXPECT_EQ(m_ftp.IsFileExisted(Remote("tree/a.txt")), GetParam().server == "pyftpdlib");
    EXPECT_FALSE(m_ftp.IsFileExisted(Remote("tree/zzz.txt")));

    ASSERT_TRUE(m_ftp.CreateDir(Remote("made")));
    EXPECT_TRUE(fs::is_directory(m_server->Root() / "made"));
    ASSERT_TRUE(m_ftp.Rename(Remote("tree/a.txt"), Remote("tree/renamed.txt")));
    EXPECT_TRUE(fs::exists(m_server->Root() / "tree/renamed.txt"));
    ASSERT_TRUE(m_ftp.DeleteFileA(Remote("tree/renamed.txt")));
    EXPECT_FALSE(fs::exists(m_server->Root() / "tree/renamed.txt"));
    ASSERT_TRUE(m_ftp.RemoveDir(Remote("made")));

    ASSERT_TRUE(m_ftp.Delete(Remote("tree"))) << m_ftp.GetLastMessage();
    EXPECT_FALSE(fs::exists(m_server->Root() / "tree"));

    // A file named with backslashes must not make the delete climb out.
    fs::create_directories(m_server->Root() / "trap/inner");
    WriteFile(m_server->Root() / "trap/inner/..\\..\\victim", "x");
    WriteFile(m_server->Root() / "victim", "keep");
    m_server->GiveToServer(m_server->Root() / "trap");
    EXPECT_FALSE(m_ftp.Delete(Remote("trap")));
    EXPECT_EQ(ReadFile(m_server->Root() / "victim"), "keep");
    std::string current;
    EXPECT_TRUE(m_ftp.GetCurrentDir(current));
}

INSTANTIATE_TEST_SUITE_P(
    Servers, RealTransfer,
    ::testing::Values(TransferParam{"pyftpdlib", true}, TransferParam{"pyftpdlib", false},
                      TransferParam{"vsftpd", true}, TransferParam{"vsftpd", false}),
    [](const ::testing::TestParamInfo<TransferParam>& info) {
        return info.param.server + (info.param.passive ? "_passive" : "_active");
    });

}  // namespace
}  // namespace velkor
