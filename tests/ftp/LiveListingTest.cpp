// Listings captured live from real servers over a tree made here, parsed
// and checked against the files themselves.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>

#include "FtpTestSupport.h"
#include "RealServers.h"
#include "ftp/CFtp.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;

class ListingSession : public CFtp {
public:
    using CFtp::List;
};

class LiveListing : public ::testing::TestWithParam<std::string> {};

void SetTimes(const fs::path& p, std::time_t t) {
    const timeval times[2] = {{t, 0}, {t, 0}};
    ASSERT_EQ(::lutimes(p.c_str(), times), 0) << p;
}

TEST_P(LiveListing, EntriesMatchTheFiles) {
    const std::string why = test::FtpServerUnavailable(GetParam());
    if (!why.empty()) GTEST_SKIP() << why;
    // Both the server and the parser read times in UTC here.
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    test::FtpServer server(GetParam());
    ASSERT_TRUE(server.Start());
    const fs::path root = server.Root();
    fs::create_directories(root / "a dir");
    std::ofstream(root / "name with blanks.txt") << "12345";
    std::ofstream(root / "plain.bin") << std::string(70000, 'p');
    {
        std::ofstream old(root / "last-year.txt");
        old << "old";
    }
    // A large file without using the disk.
    { std::ofstream(root / "large.iso"); }
    fs::resize_file(root / "large.iso", 3'000'000'000ull);
    fs::create_symlink("plain.bin", root / "link-to-plain");
    const std::time_t now = std::time(nullptr);
    SetTimes(root / "last-year.txt", now - 400 * 86400);
    server.GiveToServer(root);

    ListingSession ftp;
    ASSERT_TRUE(ftp.Login("127.0.0.1", static_cast<int>(server.Port()),
                          test::FtpServer::TestUser(), test::FtpServer::TestPassword(), "", "", "",
                          "", 0, 0));
    ASSERT_TRUE(ftp.List(""));

    std::map<std::string, CFtpFile> entries;
    for (const std::string& line : ftp.m_arrListing) {
        CFtpFile f;
        if (CFtp::Parse_ls(line.c_str(), &f)) {
            entries[f.m_pszName] = f;
        } else {
            f.FreeStrings();
            ADD_FAILURE() << "not parsed: " << line;
        }
    }
    EXPECT_EQ(entries.size(), 6u);
    for (auto& [name, f] : entries) {
        SCOPED_TRACE(name);
        const fs::path path = root / name;
        struct stat st{};
        ASSERT_EQ(::lstat(path.c_str(), &st), 0);
        EXPECT_EQ(f.m_bDirectory != 0, S_ISDIR(st.st_mode));
        EXPECT_EQ(f.m_bLink != 0, S_ISLNK(st.st_mode));
        if (!S_ISDIR(st.st_mode) && !S_ISLNK(st.st_mode)) {
            EXPECT_EQ(f.m_nSize, static_cast<std::uint32_t>(st.st_size));
        }
        // Listings show minutes for recent files and only the day for old ones.
        const long tolerance = (now - st.st_mtime > 180 * 86400) ? 86400 : 60;
        EXPECT_LE(std::labs(static_cast<long>(f.m_tModified) - static_cast<long>(st.st_mtime)),
                  tolerance);
        f.FreeStrings();
    }
    ::unsetenv("TZ");
    ::tzset();
}

INSTANTIATE_TEST_SUITE_P(Servers, LiveListing, ::testing::Values("pyftpdlib", "vsftpd"),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             return info.param;
                         });

}  // namespace
}  // namespace velkor
