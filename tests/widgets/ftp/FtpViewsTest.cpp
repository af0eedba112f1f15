// The FTP list and tree views and the browse dialog, offscreen, against
// pyftpdlib and vsftpd, and against scripted servers for stalls.
#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QMimeDatabase>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <set>
#include <thread>

#include "FtpTestSupport.h"
#include "GuiTestSupport.h"
#include "GuiWait.h"
#include "RealServers.h"
#include "TestFiles.h"
#include "widgets/ftp/CBrowseFolderDlg.h"
#include "widgets/ftp/CFDListCtrl.h"
#include "platform/CodePage.h"
#include "resources/StringTable.h"
#include "widgets/GuiCall.h"
#include "widgets/Language.h"
#include "widgets/QtText.h"
#include "widgets/ShellIcons.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;

constexpr std::uint64_t kGiB = 1024ull * 1024 * 1024;

// Folders alpha (with inner and a file), Beta and empty; files of 1 to 4
// bytes, a name without a dot, two sparse files of 3 and 5 GiB, a hidden one.
void MakeTree(const test::FtpServer& server) {
    const fs::path root = server.Root();
    fs::create_directories(root / "alpha" / "inner");
    fs::create_directories(root / "Beta");
    fs::create_directories(root / "empty");
    test::WriteWholeFile(root / "alpha" / "keep.txt", "k");
    test::WriteWholeFile(root / "README", "r");
    test::WriteWholeFile(root / "z.TXT", "zz");
    test::WriteWholeFile(root / "a.txt", "abc");
    test::WriteWholeFile(root / "notes.md", "nnnn");
    test::WriteWholeFile(root / ".hidden", "h");
    for (const auto& [name, size] : {std::pair{"big.iso", 3 * kGiB}, std::pair{"huge.bin", 5 * kGiB}}) {
        test::WriteWholeFile(root / name, "");
        fs::resize_file(root / name, size);
    }
    server.GiveToServer(root);
}

std::string PortHost(const test::FtpServer& server) {
    return "127.0.0.1:" + std::to_string(server.Port());
}

std::vector<QString> Column(const QTreeView& list, int column) { return test::RowTexts(list, column); }

// How many items a tree shows below an item (its top level when invalid).
int Children(const QTreeView& tree, const QModelIndex& item = {}) {
    return tree.model()->rowCount(item.isValid() ? item : tree.rootIndex());
}

class FtpViews : public testing::Test {
protected:
    void SetUp() override {
        if (const std::string why = test::FtpServerUnavailable("pyftpdlib"); !why.empty())
            GTEST_SKIP() << why;
        ASSERT_TRUE(m_server.Start());
        MakeTree(m_server);
    }
    test::FtpServer m_server{"pyftpdlib"};
};

TEST(FtpViewsNames, SortAsPeopleCount) {
    // Each name before the next; digit runs longer than any integer too.
    const std::vector<std::string> order = {"", "a", "B", "f01", "f1", "f2", "f10", "x9y", "x10y",
                                            "z99999999999999999999999", "z100000000000000000000000"};
    for (std::size_t i = 0; i + 1 < order.size(); ++i) {
        EXPECT_LT(CFDListCtrl::CompareNames(order[i], order[i + 1]), 0) << order[i] << " " << order[i + 1];
        EXPECT_GT(CFDListCtrl::CompareNames(order[i + 1], order[i]), 0) << order[i + 1] << " " << order[i];
    }
    EXPECT_EQ(CFDListCtrl::CompareNames("f10", "f10"), 0);
}

TEST_F(FtpViews, ListSortsByColumnAndShowsSizesTypesAndIcons) {
    // The Chinese titles, whose sort marks must survive a code page that
    // cannot show them.
    struct Chinese {
        Chinese() { InstallLanguage(*QCoreApplication::instance(), "zh_CN"); }
        ~Chinese() { InstallLanguage(*QCoreApplication::instance(), "en"); }
    } chinese;
    CFtpSite site;
    ASSERT_TRUE(site.InitFDController("127.0.0.1", "", static_cast<int>(m_server.Port()),
                                      test::FtpServer::TestUser(), test::FtpServer::TestPassword()));
    CFDListCtrl list;
    ASSERT_EQ(list.InitFileListCtrl(&site, nullptr), 1);
    list.resize(560, 280);
    list.BrowseFolder("\\", CVFDLListCtrl::kAllEntries);
    ASSERT_EQ(list.GetItemCount(), 9);

    // The type column sorts first; folders lead, then the types' texts
    // ("" for a name without a dot, any case).
    std::vector<QString> names = Column(list, 0);
    EXPECT_EQ(std::set<QString>(names.begin(), names.begin() + 3),
              (std::set<QString>{"alpha", "Beta", "empty"}));
    EXPECT_EQ(std::vector<QString>(names.begin() + 3, names.begin() + 7),
              (std::vector<QString>{"README", "huge.bin", "big.iso", "notes.md"}));

    const QString kName = QString::fromUtf8("名称"), kSize = QString::fromUtf8("大小");
    struct Click {
        int column;
        QString name, size;
        std::vector<QString> order;
    };
    const std::vector<Click> clicks = {
        {1, kName, kSize + "+",
         {"README", "z.TXT", "a.txt", "notes.md", "big.iso", "huge.bin"}},  // after the folders
        {1, kName, kSize + "-",
         {"huge.bin", "big.iso", "notes.md", "a.txt", "z.TXT", "README"}},  // folders last
        {0, kName + "-", kSize,
         {"z.TXT", "README", "notes.md", "huge.bin", "big.iso", "a.txt"}},
        {0, kName + "+", kSize,
         {"a.txt", "big.iso", "huge.bin", "notes.md", "README", "z.TXT"}},
    };
    // The marks survive a code page that cannot show the titles.
    SetActiveCodePage(kCodePageLatin1);
    for (const Click& click : clicks) {
        list.header()->sectionClicked(click.column);
        EXPECT_EQ(list.ColumnTitle(0), click.name);
        EXPECT_EQ(list.ColumnTitle(1), click.size);
        names = Column(list, 0);
        const bool ascending = list.m_bSortAscending != 0;
        const auto files = ascending ? names.begin() + 3 : names.begin();
        EXPECT_EQ(std::vector<QString>(files, files + 6), click.order) << click.column;
        const auto folders = ascending ? names.begin() : names.begin() + 6;
        EXPECT_EQ(std::set<QString>(folders, folders + 3),
                  (std::set<QString>{"alpha", "Beta", "empty"}));
    }
    SetActiveCodePage(kDefaultCodePage);
    EXPECT_EQ(Column(list, 0).front(), "alpha");  // names ascending, no case: alpha, Beta, empty

    // Sizes past 2 and 4 GiB, "0" for folders; types and icons by name.
    const QMimeDatabase mimes;
    for (int row = 0; row < list.GetItemCount(); ++row) {
        const QModelIndex item = list.RowIndex(row);
        const QString name = test::Text(item);
        const QIcon icon = item.data(Qt::DecorationRole).value<QIcon>();
        if (name == "big.iso") {
            EXPECT_EQ(test::Text(item, 1), "3221225472");
        }
        if (name == "huge.bin") {
            EXPECT_EQ(test::Text(item, 1), "5368709120");
        }
        if (name == "alpha") {
            EXPECT_EQ(test::Text(item, 1), "0");
            EXPECT_EQ(test::Text(item, 2), mimes.mimeTypeForName("inode/directory").comment());
            EXPECT_EQ(icon.cacheKey(), ShellIcons::Icon(ShellIcons::kFolderIndex).cacheKey());
        }
        if (name == "a.txt") {
            EXPECT_EQ(test::Text(item, 2),
                      mimes.mimeTypeForFile("a.txt", QMimeDatabase::MatchExtension).comment());
        }
        EXPECT_FALSE(icon.isNull()) << name.toStdString();
        EXPECT_TRUE(test::Text(item, 3).isEmpty());
    }

    test::SelectRow(list, list.RowIndex(4));
    test::SelectRow(list, list.RowIndex(2));
    std::vector<unsigned> rows;
    EXPECT_EQ(list.GetSelectedItems(&rows), 2);
    EXPECT_EQ(rows, (std::vector<unsigned>{2, 4}));
    list.show();
    list.header()->resizeSections(QHeaderView::ResizeToContents);
    EXPECT_FALSE(test::SaveScreenshot(&list, "list-view").empty());
    list.clearSelection();
    EXPECT_EQ(list.GetSelectedItems(nullptr), -1);

    // The list follows the site's tree: a refresh shows the folder anew, in
    // the list's order, and a deleted folder's row goes with its node.
    test::WriteWholeFile(m_server.Root() / "b.txt", "bb");
    ASSERT_TRUE(site.RefreshDir(""));
    EXPECT_EQ(list.GetItemCount(), 10);
    EXPECT_EQ(Column(list, 0)[3], "a.txt");
    EXPECT_EQ(Column(list, 0)[4], "b.txt");
    ASSERT_TRUE(site.Delete("\\empty"));
    EXPECT_EQ(list.GetItemCount(), 9);
    EXPECT_EQ(Column(list, 0)[2], "a.txt");
    // A new logon ends the tree the list showed: the list is empty, not
    // reading freed nodes.
    ASSERT_TRUE(site.InitFDController("127.0.0.1", "", static_cast<int>(m_server.Port()),
                                      test::FtpServer::TestUser(), test::FtpServer::TestPassword()));
    EXPECT_EQ(list.GetItemCount(), 0);
    EXPECT_EQ(list.GetDoc(), nullptr);
    list.viewport()->repaint();
}

TEST_F(FtpViews, BrowseDialogFromLogonToOk) {
    const fs::path root = m_server.Root();
    test::MessageBoxRecorder boxes(IDYES);
    CBrowseFolderDlg dialog;
    dialog.m_strHost = PortHost(m_server);
    dialog.m_strUser = test::FtpServer::TestUser();
    dialog.m_strPassword = test::FtpServer::TestPassword();
    dialog.show();
    CFDTreeCtrl& tree = dialog.m_treeCtrl;
    ASSERT_TRUE(test::WaitUntil([&] { return tree.GetDoc() && Children(tree) > 0; }));
    // By name as the list sorts them (the server lists "Beta" first).
    EXPECT_EQ(test::RowTexts(tree), (std::vector<QString>{"alpha", "Beta", "empty"}));
    // The logon is over: its notice has gone and folders can be made.
    EXPECT_TRUE(dialog.GetDlgItem(IDC_BROWSE_CREATE)->isEnabled());
    EXPECT_TRUE(dialog.GetDlgItem(IDC_BROWSE_WAIT)->isHidden());
    auto* edit = dialog.findChild<QLineEdit*>(QString::number(IDC_BROWSE_PATH));
    ASSERT_NE(edit, nullptr);

    // The first opening lists the folder; later ones send nothing, so a
    // folder made meanwhile stays out of sight.
    const QPersistentModelIndex alpha = test::TopLevelItem(tree, "alpha");
    tree.expand(alpha);
    ASSERT_EQ(Children(tree, alpha), 1);
    EXPECT_EQ(test::TopLevelTexts(tree, alpha), std::set<QString>{"inner"});
    fs::create_directories(root / "alpha" / "later");
    tree.collapse(alpha);
    tree.expand(alpha);
    EXPECT_EQ(Children(tree, alpha), 1);

    tree.setCurrentIndex(test::TopLevelItem(tree, "inner", alpha));
    EXPECT_EQ(FromQString(edit->text()), "alpha\\inner");
    EXPECT_FALSE(test::SaveScreenshot(&dialog, "browse-dialog").empty());

    // Renames in place: refused without a change or with a separator.
    const QPersistentModelIndex beta = test::TopLevelItem(tree, "Beta");
    EXPECT_FALSE(tree.EndLabelEdit(beta, ""));
    EXPECT_FALSE(tree.EndLabelEdit(beta, "Beta"));
    EXPECT_FALSE(tree.EndLabelEdit(beta, "x/y"));
    EXPECT_TRUE(tree.EndLabelEdit(beta, "Gamma"));
    EXPECT_TRUE(fs::is_directory(root / "Gamma"));
    EXPECT_FALSE(fs::exists(root / "Beta"));
    EXPECT_EQ(test::Text(beta), "Gamma");
    EXPECT_EQ(FromQString(edit->text()), "Gamma");

    // Delete asks first; a folder that is not empty stays.
    tree.setCurrentIndex(alpha);
    QTest::keyClick(&tree, Qt::Key_Delete);
    ASSERT_EQ(boxes.m_seen.size(), 2u);
    EXPECT_EQ(boxes.m_seen[0].text, "Do u want to delete it?");
    EXPECT_EQ(boxes.m_seen[0].caption, "Warning!");
    EXPECT_EQ(boxes.m_seen[1].text, "Can not delete the path");
    EXPECT_EQ(boxes.m_seen[1].caption, "Error!");
    EXPECT_EQ(test::TopLevelItem(tree, "alpha"), alpha);
    EXPECT_TRUE(fs::exists(root / "alpha"));
    tree.setCurrentIndex(test::TopLevelItem(tree, "empty"));
    QTest::keyClick(&tree, Qt::Key_Delete);
    EXPECT_FALSE(test::TopLevelItem(tree, "empty").isValid());
    EXPECT_FALSE(fs::exists(root / "empty"));
    boxes.m_seen.clear();

    // The create-folder button makes the folder and its item under an
    // opened folder.
    edit->setText("alpha\\byHandler");
    QTest::mouseClick(static_cast<QPushButton*>(dialog.GetDlgItem(IDC_BROWSE_CREATE)), Qt::LeftButton);
    EXPECT_TRUE(fs::is_directory(root / "alpha" / "byHandler"));
    EXPECT_EQ(test::TopLevelTexts(tree, alpha), (std::set<QString>{"inner", "byHandler"}));

    // OK with nothing chosen stays open; a folder not on the server is
    // created after a question.
    auto* ok = dialog.findChild<QPushButton*>(QString::number(IDOK));
    edit->clear();
    QTest::mouseClick(ok, Qt::LeftButton);
    ASSERT_EQ(boxes.m_seen.size(), 1u);
    EXPECT_EQ(boxes.m_seen[0].text, LibraryQString(IDS_NO_FOLDER_CHOSEN));
    EXPECT_TRUE(dialog.isVisible());
    // A server path is made as it is; one that cannot be made keeps the
    // dialog open after saying so.
    edit->setText("/alpha/full");
    dialog.OnCreateFolder();
    EXPECT_TRUE(fs::is_directory(root / "alpha" / "full"));
    edit->setText("/missing/deeper");
    QTest::mouseClick(ok, Qt::LeftButton);
    ASSERT_EQ(boxes.m_seen.size(), 3u);
    EXPECT_EQ(boxes.m_seen[2].text, LibraryQString(IDS_CANNOT_CREATE_FOLDER));
    EXPECT_TRUE(dialog.isVisible());
    boxes.m_seen.resize(1);
    // A full server path typed in is taken as it is.
    edit->setText("/alpha/made/");
    QTest::mouseClick(ok, Qt::LeftButton);
    ASSERT_EQ(boxes.m_seen.size(), 2u);
    EXPECT_EQ(boxes.m_seen[1].text, LibraryQString(IDS_ASK_CREATE_FOLDER));
    EXPECT_TRUE(fs::is_directory(root / "alpha" / "made"));
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), IDOK);
    EXPECT_EQ(dialog.m_strPath, "/alpha/made");
    EXPECT_NE(dialog.m_site.m_nLoginState, kFtpLoggedOn);
}

// Both views sit on one model of the site's tree: 10 000 files in 1 000
// folders are listed folder by folder as the tree opens them, shown and
// sorted in the list, listed again and removed, with the views in step;
// a new logon leaves both empty instead of reading freed nodes.
TEST_F(FtpViews, TenThousandFilesInAThousandFoldersStayInStep) {
    constexpr int kFolders = 1000, kFiles = 10;
    const fs::path root = m_server.Root() / "many";
    for (int d = 0; d < kFolders; ++d)
        for (int f = 0; f < kFiles; ++f)
            test::WriteWholeFile(root / ("d" + std::to_string(d)) / ("f" + std::to_string(f)),
                                 std::string(static_cast<std::size_t>((f * 7 + d) % kFiles), 'x'));
    m_server.GiveToServer(root);
    CFtpSite site;
    ASSERT_TRUE(site.InitFDController("127.0.0.1", "/many", static_cast<int>(m_server.Port()),
                                      test::FtpServer::TestUser(), test::FtpServer::TestPassword()));
    CFDTreeCtrl tree;
    CFDListCtrl list;
    ASSERT_EQ(tree.InitFDTreeCtrl(&site, nullptr), 1);
    ASSERT_EQ(list.InitFileListCtrl(&site, nullptr), 1);
    ASSERT_EQ(tree.GetModel(), list.GetModel());
    tree.show();
    list.show();
    ASSERT_EQ(Children(tree), kFolders);
    for (int row = 0; row < kFolders; ++row) tree.expand(tree.model()->index(row, 0, tree.rootIndex()));
    std::size_t files = 0;
    for (const auto& folder : site.m_pFDFSDoc->GetRootNode()->m_children) {
        EXPECT_EQ(folder->m_folder.m_fileData.m_nExpandStatus, 1) << folder->Name();
        files += folder->m_children.size();
    }
    EXPECT_EQ(files, static_cast<std::size_t>(kFolders * kFiles));
    tree.repaint();

    // Sizes ascending, then names descending, as the site's tree changes.
    const std::string d500 = site.m_pFDFSDoc->GetAbsolutePos(site.m_pFDFSDoc->GetRootNode()) + "\\d500";
    list.BrowseFolder(d500, CVFDLListCtrl::kAllEntries);
    list.SortByColumn(1);
    const auto sizes = [&] {
        std::vector<std::uint64_t> out;
        for (int row = 0; row < list.GetItemCount(); ++row) out.push_back(CFDListCtrl::NodeSize(list.GetRowNode(row)));
        return out;
    };
    EXPECT_EQ(sizes(), (std::vector<std::uint64_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
    list.SortByColumn(0);
    list.SortByColumn(0);
    EXPECT_EQ(Column(list, 0).front(), "f9");
    test::WriteWholeFile(root / "d500" / "f10", std::string(20, 'y'));
    fs::create_directory(root / "d500" / "sub");
    m_server.GiveToServer(root);
    ASSERT_TRUE(site.RefreshDir(d500));
    EXPECT_EQ(Column(list, 0), (std::vector<QString>{"f10", "f9", "f8", "f7", "f6", "f5", "f4", "f3",
                                                     "f2", "f1", "f0", "sub"}));
    const QModelIndex d500Item = tree.FindItem(site.m_pFDFSDoc->GetNodeByFtpPos(d500));
    EXPECT_EQ(test::TopLevelTexts(tree, d500Item), std::set<QString>{"sub"});
    ASSERT_TRUE(site.Delete(d500 + "\\sub"));
    EXPECT_EQ(list.GetItemCount(), 11);
    EXPECT_EQ(Children(tree, d500Item), 0);
    list.repaint();

    ASSERT_TRUE(site.InitFDController("127.0.0.1", "/many", static_cast<int>(m_server.Port()),
                                      test::FtpServer::TestUser(), test::FtpServer::TestPassword()));
    EXPECT_EQ(Children(tree), 0);
    EXPECT_EQ(list.GetItemCount(), 0);
    tree.repaint();
    list.repaint();
}

// vsftpd logs on into a home that is not "/": the folder handed back is the
// full path below it, not the tree's "\dir1\sub" (the server's /dir1/sub).
TEST(FtpBrowseDialog, HandsBackAFolderRelativeToTheLoginDirectory) {
    if (const std::string why = test::FtpServerUnavailable("vsftpd"); !why.empty())
        GTEST_SKIP() << why;
    test::FtpServer server("vsftpd");
    ASSERT_TRUE(server.Start());
    fs::create_directories(server.Root() / "dir1" / "sub");
    server.GiveToServer(server.Root());

    bool driven = false;
    QTimer::singleShot(0, [&] {
        QWidget* modal = nullptr;
        test::WaitUntil([&] { return (modal = QApplication::activeModalWidget()) != nullptr; });
        auto* dialog = qobject_cast<CBrowseFolderDlg*>(modal);
        if (!dialog) return;
        CFDTreeCtrl& tree = dialog->m_treeCtrl;
        if (!test::WaitUntil([&] { return test::TopLevelItem(tree, "dir1").isValid(); })) {
            dialog->reject();
            return;
        }
        const QModelIndex dir1 = test::TopLevelItem(tree, "dir1");
        tree.expand(dir1);
        if (Children(tree, dir1) == 1) tree.setCurrentIndex(test::TopLevelItem(tree, "sub", dir1));
        driven = true;
        QTest::mouseClick(dialog->findChild<QPushButton*>("1"), Qt::LeftButton);
    });
    std::string folder = "preset";
    ASSERT_TRUE(CFtpSite::OpenBrowseFolderDlg(folder, PortHost(server),
                                              test::FtpServer::TestPassword(),
                                              test::FtpServer::TestUser()));
    ASSERT_TRUE(driven);
    CFtp ftp;
    ASSERT_TRUE(ftp.Login("127.0.0.1", static_cast<int>(server.Port()), test::FtpServer::TestUser(),
                          test::FtpServer::TestPassword(), "", "", "", "", 21, kLogonDirect));
    const std::string home = ftp.m_strHomeDir;
    ASSERT_NE(home, "/");
    EXPECT_EQ(folder, home + "/dir1/sub");
    EXPECT_FALSE(ftp.SetCurrentDir("\\dir1\\sub"));
    ASSERT_TRUE(ftp.SetCurrentDir(folder));
    std::string current;
    ASSERT_TRUE(ftp.GetCurrentDir(current));
    EXPECT_EQ(current, "/dir1/sub");  // told relative to the home
}

// A scripted server: logon, then `onPasv` decides what the listing's PASV
// gets; every line is recorded.
struct StallingServer {
    std::mutex lock;
    std::vector<std::string> lines;
    std::function<void(test::PeerConnection&)> onPasv;
    test::ScriptedPeer peer{[this](test::PeerConnection& c) {
        c.Write("220 ready\r\n");
        for (std::string line; !(line = c.ReadLine()).empty();) {
            {
                std::lock_guard<std::mutex> guard(lock);
                lines.push_back(line);
            }
            const std::string verb = line.substr(0, 4);
            if (verb == "PASV") {
                onPasv(c);
                continue;
            }
            c.Write(verb == "USER"   ? "230 in\r\n"
                    : verb == "PWD"  ? "257 \"/home/u\"\r\n"
                    : verb == "QUIT" ? "221 bye\r\n"
                    : verb == "TYPE" ? "200 ok\r\n"
                    : verb == "CWD " ? "250 ok\r\n"
                                     : "500 no\r\n");
        }
        std::lock_guard<std::mutex> guard(lock);
        lines.push_back("<closed>");
    }};
    std::vector<std::string> Lines() {
        std::lock_guard<std::mutex> guard(lock);
        return lines;
    }
};

// During a listing that stalls 3 s the dialog stays alive: timers fire,
// and an OK pressed meanwhile starts nothing on the connection.
TEST(FtpBrowseDialog, StaysAliveAndSendsNothingElseDuringAStall) {
    StallingServer server;
    server.onPasv = [](test::PeerConnection& c) {
        std::this_thread::sleep_for(std::chrono::seconds(3));
        c.Write("500 no data today\r\n");
    };
    test::MessageBoxRecorder boxes(IDNO);
    CBrowseFolderDlg dialog;
    dialog.m_strHost = "127.0.0.1:" + std::to_string(server.peer.Port());
    dialog.m_strUser = "u";
    dialog.m_strPassword = "p";
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        if (++ticks == 10) {
            dialog.findChild<QLineEdit*>("2016")->setText("somewhere");
            QTest::mouseClick(dialog.findChild<QPushButton*>("1"), Qt::LeftButton);
        }
    });
    ticker.start(100);
    dialog.show();
    // The outer wait resumes only once the dialog's call has returned.
    ASSERT_TRUE(test::WaitUntil([&] {
        const auto lines = server.Lines();
        return std::find(lines.begin(), lines.end(), "PASV") != lines.end() &&
               !GuiCall::IsBusy(&dialog.m_site);
    }));
    ticker.stop();
    EXPECT_GE(ticks, 20);  // 3 s at 100 ms
    const auto lines = server.Lines();
    const auto pasv = std::find(lines.begin(), lines.end(), "PASV");
    ASSERT_NE(pasv, lines.end());
    EXPECT_EQ(std::next(pasv), lines.end());  // the OK pressed meanwhile sent nothing
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(boxes.m_seen.empty());
    dialog.reject();
}

// Closing the dialog during a stalled call cancels it at once. (The test
// acts from a timer: during the call events run inside the call's wait.)
TEST(FtpBrowseDialog, ClosingDuringACallCancelsItAndEndsTheDialog) {
    StallingServer server;
    server.onPasv = [](test::PeerConnection& c) { c.ReadLine(); };  // silent until closed
    CBrowseFolderDlg dialog;
    dialog.m_strHost = "127.0.0.1:" + std::to_string(server.peer.Port());
    dialog.m_strUser = "u";
    dialog.m_strPassword = "p";
    std::chrono::steady_clock::time_point closedAt{};
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        const auto lines = server.Lines();
        if (closedAt.time_since_epoch().count() == 0 &&
            std::find(lines.begin(), lines.end(), "PASV") != lines.end()) {
            closedAt = std::chrono::steady_clock::now();
            dialog.close();
        }
    });
    watcher.start(20);
    dialog.show();
    ASSERT_TRUE(test::WaitUntil([&] { return !dialog.isVisible(); }));
    ASSERT_NE(closedAt.time_since_epoch().count(), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - closedAt, std::chrono::seconds(1));
    EXPECT_EQ(dialog.result(), IDCANCEL);
    EXPECT_TRUE(test::WaitUntil([&] { return server.Lines().back() == "<closed>"; }, 3000));
}

// A refused logon shows string 400 and leaves the tree empty.
TEST(FtpBrowseDialog, RefusedLogonShowsItsMessage) {
    test::ScriptedPeer peer(
        [](test::PeerConnection& c) {
            c.Write("220 ready\r\n");
            c.ReadLine();
            c.Write("331 password\r\n");
            c.ReadLine();
            c.Write("530 no\r\n");
            c.ReadLine();
        },
        CFtpSite::kLogonAttempts);
    test::MessageBoxRecorder boxes;
    CBrowseFolderDlg dialog;
    dialog.m_strHost = "127.0.0.1:" + std::to_string(peer.Port());
    dialog.m_strUser = "u";
    dialog.m_strPassword = "wrong";
    dialog.show();
    ASSERT_TRUE(test::WaitUntil([&] { return !boxes.m_seen.empty(); }));
    EXPECT_EQ(boxes.m_seen[0].text, LibraryQString(IDS_CANNOT_LOGON));
    EXPECT_EQ(Children(dialog.m_treeCtrl), 0);
    EXPECT_EQ(peer.Accepted(), 1);  // a refused password is not tried again
    dialog.reject();
}

}  // namespace
}  // namespace velkor
