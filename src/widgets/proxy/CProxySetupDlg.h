// CProxySetupDlg: the proxy setup dialog. A host and port for each of five
// protocols, or one proxy for all (10011), a proxy log-on with a confirmed
// password (5003), and a switch that turns proxies off (10013); the three
// check boxes enable and disable the controls they govern.
//
// OK closes only when the two password texts are equal byte for byte;
// otherwise the dialog stays open without a message. Ports take whole
// numbers only. The password edits are masked.
#pragma once

#include <string>

#include "../CXDialog.h"

namespace velkor {

class CProxySetupDlg : public CXDialog {
    Q_OBJECT
public:
    explicit CProxySetupDlg(QWidget* parent = nullptr);
    ~CProxySetupDlg() override;

    std::string m_strPassword;
    std::string m_strConfirmPassword;
    int m_bLogon = 0;
    std::string m_strFtpHost;
    int m_nFtpPort = 0;
    std::string m_strGopherHost;
    std::string m_strHttpHost;
    int m_bSameProxy = 0;
    std::string m_strSecureHost;
    std::string m_strSocksHost;
    int m_nSocksPort = 0;
    int m_nGopherPort = 0;
    int m_nHttpPort = 0;
    std::string m_strUser;
    int m_nSecurePort = 0;
    int m_bDisable = 0;

    // The check boxes' handlers.
    void OnLogon();
    void OnSameProxy();
    void OnDisable();

protected:
    bool OnInitDialog() override;
    void DoDataExchange(CDataExchange* dx) override;
    void OnOK() override;
    void OnCommand(int id) override;
};

}  // namespace velkor
