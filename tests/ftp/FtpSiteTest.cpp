// CFtpSite against pyftpdlib: the lazily loaded tree, hidden names kept out,
// directory operations that change the server first and then the tree.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <mutex>
#include <vector>
#include <set>
#include <string>

#include "RealServers.h"
#include "ScriptedPeer.h"
#include "TestFiles.h"
#include "ftp/CFtpSite.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;

std::set<std::string> Children(const CVFDLNode* node) {
    std::set<std::string> names;
    for (const auto& child : node->m_children) names.insert(child->Name());
    return names;
}

// vsftpd logs on into its served folder, which is not "/": positions under
// the empty start folder must be taken from there.
class FtpSiteOn : public testing::TestWithParam<const char*> {};

TEST_P(FtpSiteOn, TreeFollowsTheServer) {
    if (const std::string why = test::FtpServerUnavailable(GetParam()); !why.empty())
        GTEST_SKIP() << why;
    test::FtpServer server(GetParam());
    ASSERT_TRUE(server.Start());
    const fs::path root = server.Root();
    fs::create_directories(root / "dir1" / "sub");
    fs::create_directories(root / "full");
    test::WriteWholeFile(root / "a.txt", "abc");
    test::WriteWholeFile(root / ".hidden", "h");
    test::WriteWholeFile(root / "dir1" / "f.bin", std::string(3000, 'f'));
    test::WriteWholeFile(root / "full" / "x", "x");
    server.GiveToServer(root);

    CFtpSite site;
    ASSERT_TRUE(site.InitFDController("127.0.0.1", "", static_cast<int>(server.Port()),
                                      test::FtpServer::TestUser(), test::FtpServer::TestPassword()));
    CFDFSDoc& doc = *site.m_pFDFSDoc;
    CVFDLNode* top = doc.GetRootNode();
    EXPECT_EQ(Children(top), (std::set<std::string>{"a.txt", "dir1", "full"}));
    CVFDLNode* dir1 = doc.GetNodeByFtpPos("\\dir1");
    ASSERT_NE(dir1, nullptr);
    EXPECT_FALSE(site.IsNodeExpanded(dir1));
    EXPECT_TRUE(site.IsNodeExpanded(doc.GetNodeByFtpPos("\\a.txt")));
    ASSERT_TRUE(site.ExpandDir(dir1));
    EXPECT_EQ(Children(dir1), (std::set<std::string>{"sub", "f.bin"}));
    EXPECT_EQ(doc.GetNodeByFtpPos("\\dir1\\f.bin")->m_rec.m_fileData.m_nSize, 3000u);
    EXPECT_TRUE(site.ExpandDir(dir1));  // loaded once
    EXPECT_EQ(dir1->m_children.size(), 2u);

    // A non-empty folder is not deleted, on the server nor in the tree.
    EXPECT_FALSE(site.Delete("\\full"));
    EXPECT_TRUE(fs::exists(root / "full" / "x"));
    EXPECT_NE(doc.GetNodeByFtpPos("\\full"), nullptr);
    EXPECT_TRUE(site.Delete("\\a.txt"));  // the record stays until a refresh
    EXPECT_FALSE(fs::exists(root / "a.txt"));

    // CreateDir: a node under an expanded folder, none under an unexpanded
    // one (its listing brings the folder once).
    EXPECT_TRUE(site.CreateDir("\\dir1\\new\\"));
    EXPECT_TRUE(fs::is_directory(root / "dir1" / "new"));
    EXPECT_TRUE(Children(dir1).count("new"));
    EXPECT_TRUE(site.CreateDir("\\dir1\\sub\\deeper"));
    CVFDLNode* sub = doc.GetNodeByFtpPos("\\dir1\\sub");
    EXPECT_TRUE(sub->m_children.empty());
    ASSERT_TRUE(site.ExpandDir(sub));
    EXPECT_EQ(Children(sub), (std::set<std::string>{"deeper"}));

    EXPECT_TRUE(site.Rename("\\dir1\\f.bin", "\\dir1\\g.bin"));
    EXPECT_TRUE(fs::exists(root / "dir1" / "g.bin"));
    EXPECT_TRUE(Children(dir1).count("g.bin"));
    EXPECT_TRUE(site.RemoveDir("\\dir1\\new"));
    EXPECT_FALSE(Children(dir1).count("new"));

    // A change made outside shows after a refresh; a record's refresh is a no-op.
    test::WriteWholeFile(root / "outside.txt", "o");
    server.GiveToServer(root / "outside.txt");
    EXPECT_TRUE(site.RefreshDir("\\dir1\\g.bin"));
    ASSERT_TRUE(site.RefreshDir(""));
    top = doc.GetRootNode();
    EXPECT_EQ(Children(top), (std::set<std::string>{"dir1", "full", "outside.txt"}));
    std::uint32_t moved = 0;
    EXPECT_EQ(site.Upload(std::string("x"), std::string("y"), moved, 0, 0, 0, true), 0u);
}

INSTANTIATE_TEST_SUITE_P(Servers, FtpSiteOn, testing::Values("pyftpdlib", "vsftpd"));

// A server that refuses every data connection: the failed listing marks the
// folder expanded, and expanding it again sends nothing.
TEST(FtpSite, FailedListingMarksTheFolderExpanded) {
    std::vector<std::string> received;
    std::mutex lock;
    test::ScriptedPeer peer([&](test::PeerConnection& c) {
        c.Write("220 ready\r\n");
        for (std::string line; !(line = c.ReadLine()).empty();) {
            {
                std::lock_guard<std::mutex> guard(lock);
                received.push_back(line);
            }
            const std::string verb = line.substr(0, 4);
            const char* reply = verb == "USER" ? "230 in\r\n"
                                : verb == "PWD"  ? "257 \"/home/u\"\r\n"
                                : verb == "CWD " ? "250 ok\r\n"
                                : verb == "TYPE" ? "200 ok\r\n"
                                : verb == "QUIT" ? "221 bye\r\n"
                                                 : "500 refused\r\n";
            c.Write(reply);
        }
    });
    CFtpSite site;
    ASSERT_TRUE(site.InitFDController("127.0.0.1", "", static_cast<int>(peer.Port()), "u", "p"));
    CVFDLNode* root = site.m_pFDFSDoc->GetRootNode();
    EXPECT_TRUE(site.IsNodeExpanded(root));
    EXPECT_TRUE(root->m_children.empty());
    std::size_t sent;
    {
        std::lock_guard<std::mutex> guard(lock);
        sent = received.size();
        // The listing was tried (its data connection refused).
        EXPECT_NE(std::find(received.begin(), received.end(), "PASV"), received.end());
    }
    EXPECT_TRUE(site.ExpandDir(root));
    std::lock_guard<std::mutex> guard(lock);
    EXPECT_EQ(received.size(), sent);
}

}  // namespace
}  // namespace velkor
