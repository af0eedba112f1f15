// The proxy setup dialog, offscreen: its enable rules, its checks, and the
// round trip through the proxy document and the settings mirror.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>

#include "GuiTestSupport.h"
#include "GuiWait.h"
#include "platform/SettingsStore.h"
#include "proxy/CPRDLDoc.h"
#include "widgets/proxy/CProxySetupDlg.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;

const int kGoverned[] = {IDC_PROXY_LOGON,       IDC_PROXY_USER,        IDC_PROXY_PASSWORD,
                         IDC_PROXY_CONFIRM,     IDC_PROXY_SAME,        IDC_PROXY_HTTP_HOST,
                         IDC_PROXY_HTTP_PORT,   IDC_PROXY_SECURE_HOST, IDC_PROXY_SECURE_PORT,
                         IDC_PROXY_FTP_HOST,    IDC_PROXY_GOPHER_HOST, IDC_PROXY_SOCKS_HOST,
                         IDC_PROXY_FTP_PORT,    IDC_PROXY_GOPHER_PORT, IDC_PROXY_SOCKS_PORT};

std::set<int> Enabled(const CProxySetupDlg& dialog) {
    std::set<int> ids;
    for (int id : kGoverned)
        if (dialog.GetDlgItem(id)->isEnabled()) ids.insert(id);
    return ids;
}

std::set<int> AllBut(std::initializer_list<int> off) {
    std::set<int> ids(std::begin(kGoverned), std::end(kGoverned));
    for (int id : off) ids.erase(id);
    return ids;
}

void Click(CXDialog& dialog, int id) {
    QTest::mouseClick(qobject_cast<QAbstractButton*>(dialog.GetDlgItem(id)), Qt::LeftButton);
}

QLineEdit* Edit(CXDialog& dialog, int id) { return qobject_cast<QLineEdit*>(dialog.GetDlgItem(id)); }

class ProxySetup : public testing::Test {
protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() / ("velkor-proxydlg-" + std::to_string(::getpid()));
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
        CSettingsStore::SetLocation((m_dir / "settings").string());
        ASSERT_EQ(m_doc.NewXMLDoc((m_dir / "proxy.xml").string()), 1);
        ASSERT_EQ(m_doc.InitPrdlDoc(), 1);
        m_doc.m_bEnable = 1;
        m_doc.m_strHttpHost = "web.proxy";
        m_doc.m_nHttpPort = 3128;
        m_doc.m_strFtpHost = "ftp.proxy";
        m_doc.m_nFtpPort = 1080;
    }
    void TearDown() override {
        CSettingsStore::SetLocation("");
        fs::remove_all(m_dir);
    }
    // Runs the dialog through the document; `act` works on it from inside
    // its modal loop.
    void Run(const std::function<void(CProxySetupDlg&)>& act) {
        bool acted = false;
        QTimer::singleShot(0, [&] {
            CProxySetupDlg* dialog = nullptr;
            test::WaitUntil([&] {
                return (dialog = qobject_cast<CProxySetupDlg*>(QApplication::activeModalWidget()));
            });
            if (!dialog) return;
            acted = true;
            act(*dialog);
            if (dialog->isVisible()) dialog->reject();
        });
        m_doc.OpenProxySetupDlg(nullptr);
        ASSERT_TRUE(acted);
    }
    static std::string Setting() {
        CSettingsStore store;
        store.Open();
        std::string text;
        store.QueryText("ProxyServer", text);
        return text;
    }
    std::string SavedText() const {
        std::ifstream in(m_dir / "proxy.xml");
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    fs::path m_dir;
    CPRDLDoc m_doc;
};

TEST_F(ProxySetup, CheckBoxesEnableWhatTheyGovern) {
    CProxySetupDlg dialog;
    dialog.m_strHttpHost = "web.proxy";
    dialog.m_nHttpPort = 3128;
    dialog.m_bSameProxy = 1;  // always starts unchecked
    dialog.show();
    EXPECT_EQ(dialog.IsDlgButtonChecked(IDC_PROXY_SAME), 0);
    EXPECT_EQ(Edit(dialog, IDC_PROXY_PASSWORD)->echoMode(), QLineEdit::Password);
    EXPECT_EQ(Edit(dialog, IDC_PROXY_CONFIRM)->echoMode(), QLineEdit::Password);

    const int kOthers[] = {IDC_PROXY_SECURE_HOST, IDC_PROXY_SECURE_PORT, IDC_PROXY_FTP_HOST,
                           IDC_PROXY_GOPHER_HOST, IDC_PROXY_SOCKS_HOST,  IDC_PROXY_FTP_PORT,
                           IDC_PROXY_GOPHER_PORT, IDC_PROXY_SOCKS_PORT};
    struct Step {
        int click;  // 0: the state after initialisation
        std::set<int> enabled;
    };
    const std::vector<Step> steps = {
        {0, AllBut({IDC_PROXY_USER, IDC_PROXY_PASSWORD, IDC_PROXY_CONFIRM})},
        {IDC_PROXY_LOGON, AllBut({})},
        {IDC_PROXY_SAME, AllBut({IDC_PROXY_SECURE_HOST, IDC_PROXY_SECURE_PORT, IDC_PROXY_FTP_HOST,
                                 IDC_PROXY_GOPHER_HOST, IDC_PROXY_SOCKS_HOST, IDC_PROXY_FTP_PORT,
                                 IDC_PROXY_GOPHER_PORT, IDC_PROXY_SOCKS_PORT})},
        {IDC_PROXY_DISABLE, {}},
        // Back on: the same-proxy and log-on rules apply again.
        {IDC_PROXY_DISABLE, AllBut({IDC_PROXY_SECURE_HOST, IDC_PROXY_SECURE_PORT, IDC_PROXY_FTP_HOST,
                                    IDC_PROXY_GOPHER_HOST, IDC_PROXY_SOCKS_HOST, IDC_PROXY_FTP_PORT,
                                    IDC_PROXY_GOPHER_PORT, IDC_PROXY_SOCKS_PORT})},
        {IDC_PROXY_LOGON, AllBut({IDC_PROXY_USER, IDC_PROXY_PASSWORD, IDC_PROXY_CONFIRM,
                                  IDC_PROXY_SECURE_HOST, IDC_PROXY_SECURE_PORT, IDC_PROXY_FTP_HOST,
                                  IDC_PROXY_GOPHER_HOST, IDC_PROXY_SOCKS_HOST, IDC_PROXY_FTP_PORT,
                                  IDC_PROXY_GOPHER_PORT, IDC_PROXY_SOCKS_PORT})},
        {IDC_PROXY_SAME, AllBut({IDC_PROXY_USER, IDC_PROXY_PASSWORD, IDC_PROXY_CONFIRM})},
    };
    for (const Step& step : steps) {
        if (step.click) Click(dialog, step.click);
        EXPECT_EQ(Enabled(dialog), step.enabled) << "after clicking " << step.click;
    }
    // The same proxy for all copied the HTTP row into the others.
    for (int id : kOthers) {
        const bool port = id == IDC_PROXY_SECURE_PORT || id >= IDC_PROXY_FTP_PORT;
        EXPECT_EQ(Edit(dialog, id)->text(), port ? "3128" : "web.proxy") << id;
    }
    EXPECT_FALSE(test::SaveScreenshot(&dialog, "proxy-dialog").empty());

    // OK: unequal passwords keep the dialog open without a word, as does a
    // port that is not a number (with a word).
    test::MessageBoxRecorder boxes;
    Click(dialog, IDC_PROXY_LOGON);
    Edit(dialog, IDC_PROXY_PASSWORD)->setText("secret");
    Edit(dialog, IDC_PROXY_CONFIRM)->setText("secreT");
    Click(dialog, IDOK);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(boxes.m_seen.empty());
    Edit(dialog, IDC_PROXY_CONFIRM)->setText("secret");
    Edit(dialog, IDC_PROXY_HTTP_PORT)->setText("31x8");
    Click(dialog, IDOK);
    EXPECT_TRUE(dialog.isVisible());
    ASSERT_EQ(boxes.m_seen.size(), 1u);
    EXPECT_EQ(boxes.m_seen[0].text, "Please enter an integer.");
    Edit(dialog, IDC_PROXY_HTTP_PORT)->setText("3129");
    Click(dialog, IDOK);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), IDOK);
    EXPECT_EQ(dialog.m_nHttpPort, 3129);
}

TEST_F(ProxySetup, RoundTripThroughTheDocumentAndTheSettings) {
    // One proxy for all, with a log-on.
    Run([](CProxySetupDlg& dialog) {
        EXPECT_EQ(Edit(dialog, IDC_PROXY_FTP_HOST)->text(), "ftp.proxy");
        Edit(dialog, IDC_PROXY_HTTP_HOST)->setText("all.proxy");
        Edit(dialog, IDC_PROXY_HTTP_PORT)->setText("8080");
        Click(dialog, IDC_PROXY_SAME);
        Click(dialog, IDC_PROXY_LOGON);
        Edit(dialog, IDC_PROXY_USER)->setText("me");
        Edit(dialog, IDC_PROXY_PASSWORD)->setText("pw");
        Edit(dialog, IDC_PROXY_CONFIRM)->setText("pw");
        Click(dialog, IDOK);
    });
    EXPECT_EQ(m_doc.m_bEnable, 1);
    EXPECT_EQ(m_doc.m_bLogon, 1);
    EXPECT_EQ(m_doc.m_strLogonUser, "me");
    EXPECT_EQ(m_doc.m_strLogonPass, "pw");
    for (const auto& [host, port] : {std::pair{m_doc.m_strHttpHost, m_doc.m_nHttpPort},
                                     {m_doc.m_strSecureHost, m_doc.m_nSecurePort},
                                     {m_doc.m_strFtpHost, m_doc.m_nFtpPort},
                                     {m_doc.m_strGopherHost, m_doc.m_nGopherPort},
                                     {m_doc.m_strSocksHost, m_doc.m_nSocksPort}}) {
        EXPECT_EQ(host, "all.proxy");
        EXPECT_EQ(port, 8080);
    }
    EXPECT_EQ(Setting(), "http=all.proxy:8080;ftp=all.proxy:8080;https=all.proxy:8080;"
                         "socks=all.proxy:8080;gopher=all.proxy:8080");
    const std::string saved = SavedText();
    EXPECT_NE(saved.find("pass=\"pw\""), std::string::npos);
    struct stat info {};
    ASSERT_EQ(::stat((m_dir / "proxy.xml").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    // Turning proxies off keeps the hosts; the stored password is offered in
    // both edits and the same-proxy box starts unchecked.
    Run([](CProxySetupDlg& dialog) {
        EXPECT_EQ(dialog.IsDlgButtonChecked(IDC_PROXY_SAME), 0);
        EXPECT_EQ(Edit(dialog, IDC_PROXY_CONFIRM)->text(), "pw");
        Click(dialog, IDC_PROXY_DISABLE);
        Click(dialog, IDOK);
    });
    EXPECT_EQ(m_doc.m_bEnable, 0);
    EXPECT_EQ(m_doc.m_strSocksHost, "all.proxy");
    const std::string off = SavedText();
    EXPECT_NE(off.find("enable=\"no\""), std::string::npos);

    // Cancel changes nothing, in the document nor in the settings.
    Run([](CProxySetupDlg& dialog) {
        Edit(dialog, IDC_PROXY_PASSWORD)->setText("other");
        Click(dialog, IDC_PROXY_DISABLE);
        Click(dialog, IDCANCEL);
    });
    EXPECT_EQ(SavedText(), off);
    EXPECT_EQ(m_doc.m_bEnable, 0);
    EXPECT_EQ(m_doc.m_strLogonPass, "pw");
}

}  // namespace
}  // namespace velkor
