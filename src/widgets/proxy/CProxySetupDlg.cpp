#include "widgets/proxy/CProxySetupDlg.h"

#include <QApplication>

#include "proxy/CPRDLDoc.h"

namespace velkor {

namespace {

// The host and port edits of the four protocols besides HTTP.
constexpr int kOtherRows[] = {IDC_PROXY_SECURE_HOST, IDC_PROXY_SECURE_PORT, IDC_PROXY_FTP_HOST,
                              IDC_PROXY_GOPHER_HOST, IDC_PROXY_SOCKS_HOST,  IDC_PROXY_FTP_PORT,
                              IDC_PROXY_GOPHER_PORT, IDC_PROXY_SOCKS_PORT};
constexpr int kLogonEdits[] = {IDC_PROXY_USER, IDC_PROXY_PASSWORD, IDC_PROXY_CONFIRM};

}  // namespace

CProxySetupDlg::CProxySetupDlg(QWidget* parent) : CXDialog(IDD_PROXY_SETUP, parent) {}

CProxySetupDlg::~CProxySetupDlg() = default;

void CProxySetupDlg::DoDataExchange(CDataExchange* dx) {
    DDX_Text(dx, IDC_PROXY_PASSWORD, m_strPassword);
    DDX_Text(dx, IDC_PROXY_CONFIRM, m_strConfirmPassword);
    DDX_Check(dx, IDC_PROXY_LOGON, m_bLogon);
    DDX_Text(dx, IDC_PROXY_FTP_HOST, m_strFtpHost);
    DDX_Text(dx, IDC_PROXY_FTP_PORT, m_nFtpPort);
    DDX_Text(dx, IDC_PROXY_GOPHER_HOST, m_strGopherHost);
    DDX_Text(dx, IDC_PROXY_HTTP_HOST, m_strHttpHost);
    DDX_Check(dx, IDC_PROXY_SAME, m_bSameProxy);
    DDX_Text(dx, IDC_PROXY_SECURE_HOST, m_strSecureHost);
    DDX_Text(dx, IDC_PROXY_SOCKS_HOST, m_strSocksHost);
    DDX_Text(dx, IDC_PROXY_SOCKS_PORT, m_nSocksPort);
    DDX_Text(dx, IDC_PROXY_GOPHER_PORT, m_nGopherPort);
    DDX_Text(dx, IDC_PROXY_HTTP_PORT, m_nHttpPort);
    DDX_Text(dx, IDC_PROXY_USER, m_strUser);
    DDX_Text(dx, IDC_PROXY_SECURE_PORT, m_nSecurePort);
    DDX_Check(dx, IDC_PROXY_DISABLE, m_bDisable);
}

bool CProxySetupDlg::OnInitDialog() {
    CXDialog::OnInitDialog();
    // The same-proxy box always starts unchecked, whatever the field held.
    m_bSameProxy = 0;
    CheckDlgButton(IDC_PROXY_SAME, 0);
    OnSameProxy();
    OnLogon();
    OnDisable();
    return true;
}

void CProxySetupDlg::OnCommand(int id) {
    switch (id) {
        case IDC_PROXY_LOGON: OnLogon(); break;
        case IDC_PROXY_SAME: OnSameProxy(); break;
        case IDC_PROXY_DISABLE: OnDisable(); break;
        default: break;
    }
}

void CProxySetupDlg::OnLogon() {
    UpdateData(true);
    for (int id : kLogonEdits) EnableDlgItem(id, m_bLogon != 0);
}

void CProxySetupDlg::OnSameProxy() {
    UpdateData(true);
    if (m_bSameProxy) {
        m_strSecureHost = m_strFtpHost = m_strGopherHost = m_strSocksHost = m_strHttpHost;
        m_nSecurePort = m_nFtpPort = m_nGopherPort = m_nSocksPort = m_nHttpPort;
        UpdateData(false);
    }
    for (int id : kOtherRows) EnableDlgItem(id, m_bSameProxy == 0);
}

void CProxySetupDlg::OnDisable() {
    UpdateData(true);
    const bool enable = m_bDisable == 0;
    for (int id : {IDC_PROXY_LOGON, IDC_PROXY_USER, IDC_PROXY_PASSWORD, IDC_PROXY_CONFIRM,
                   IDC_PROXY_SAME})
        EnableDlgItem(id, enable);
    for (int id = IDC_PROXY_HTTP_HOST; id <= IDC_PROXY_SOCKS_PORT; ++id) EnableDlgItem(id, enable);
    if (enable) {
        OnSameProxy();
        OnLogon();
    }
}

void CProxySetupDlg::OnOK() {
    if (!UpdateData(true)) return;
    if (m_strPassword == m_strConfirmPassword) EndDialog(IDOK);
}

void CPRDLDoc::OpenProxySetupDlg(QWidget* parent) {
    // The values the dialog shows and the document stores, field by field.
    struct Text {
        std::string CPRDLDoc::*doc;
        std::string CProxySetupDlg::*dialog;
    };
    struct Number {
        int CPRDLDoc::*doc;
        int CProxySetupDlg::*dialog;
    };
    static constexpr Text kTexts[] = {
        {&CPRDLDoc::m_strHttpHost, &CProxySetupDlg::m_strHttpHost},
        {&CPRDLDoc::m_strSecureHost, &CProxySetupDlg::m_strSecureHost},
        {&CPRDLDoc::m_strFtpHost, &CProxySetupDlg::m_strFtpHost},
        {&CPRDLDoc::m_strGopherHost, &CProxySetupDlg::m_strGopherHost},
        {&CPRDLDoc::m_strSocksHost, &CProxySetupDlg::m_strSocksHost},
        {&CPRDLDoc::m_strLogonUser, &CProxySetupDlg::m_strUser},
        {&CPRDLDoc::m_strLogonPass, &CProxySetupDlg::m_strPassword},
    };
    static constexpr Number kNumbers[] = {
        {&CPRDLDoc::m_nHttpPort, &CProxySetupDlg::m_nHttpPort},
        {&CPRDLDoc::m_nSecurePort, &CProxySetupDlg::m_nSecurePort},
        {&CPRDLDoc::m_nFtpPort, &CProxySetupDlg::m_nFtpPort},
        {&CPRDLDoc::m_nGopherPort, &CProxySetupDlg::m_nGopherPort},
        {&CPRDLDoc::m_nSocksPort, &CProxySetupDlg::m_nSocksPort},
        {&CPRDLDoc::m_bLogon, &CProxySetupDlg::m_bLogon},
    };

    CProxySetupDlg dialog(parent ? parent : QApplication::activeWindow());
    dialog.m_bDisable = m_bEnable == 0 ? 1 : 0;
    for (const Text& t : kTexts) dialog.*t.dialog = this->*t.doc;
    for (const Number& n : kNumbers) dialog.*n.dialog = this->*n.doc;
    dialog.m_strConfirmPassword = m_strLogonPass;
    if (dialog.DoModal() != IDOK) return;
    m_bEnable = dialog.m_bDisable == 0 ? 1 : 0;
    for (const Text& t : kTexts) this->*t.doc = dialog.*t.dialog;
    for (const Number& n : kNumbers) this->*n.doc = dialog.*n.dialog;
    Update();
}

}  // namespace velkor
