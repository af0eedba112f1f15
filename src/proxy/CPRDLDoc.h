// CPRDLDoc: the process-wide proxy configuration.
//
// Whether proxies are used, a proxy host and port for each of five protocols
// (http, ftp, secure, socks, gopher) and a proxy log-on. It is kept as a
// small markup document whose "proxy" element holds seven lines:
//   <proxy enable="yes|no" logon="yes|no" user="..." pass="...">
//   <http host="..." port="N"/>  (then ftp, secure, socks, gopher)
//   </proxy>
// and mirrored into the per-user Internet settings (CSettingsStore): the
// values "ProxyEnable" (number) and "ProxyServer" (text such as
// "http=a:80;ftp=b:21", or "h:8080" for all five), which override the
// document's values when the configuration is read.
//
// The application fills one instance and registers it with Setthis(); every
// connection reads the registered instance at connect time through
// Getthis(), and a null pointer means "no proxy". The FTP control connection
// goes through the ftp entry with SOCKS5, the FTP data connection with
// SOCKS4, each only while m_bEnable is set and the host is not empty.
//
// The proxy password (m_strLogonPass) is stored as it is, in clear text:
// Encrypt/Decrypt do nothing unless a subclass makes them. Its only
// protection is the file's mode: the document is saved with mode 0600
// (readable by its owner alone), replaced whole or not at all.
#pragma once

#include <string>

#include "../platform/markup/CXMLDoc.h"

class QWidget;

namespace velkor {

class CPRDLDoc : public CXMLDoc {
public:
    CPRDLDoc() = default;
    ~CPRDLDoc() override;

    static CPRDLDoc* Getthis() { return m_pthis; }
    // Registers an instance (null: none). The caller keeps ownership and
    // unregisters it before destroying it (a destroyed registered instance
    // unregisters itself as a safety net).
    static void Setthis(CPRDLDoc* p) { m_pthis = p; }

    // A new, empty configuration document tied to `path` (empty: never
    // saved); 1, or 0 when the text is rejected.
    int NewXMLDoc(const std::string& path) override;
    // Reads the configuration from the document and then from the settings;
    // 0 when the document has no complete "proxy" element.
    int InitPrdlDoc();
    // Lets the user edit the configuration in the proxy setup dialog
    // (CProxySetupDlg; link Velkor10::Widgets); on OK the values are stored,
    // the document saved and the settings mirrored (Update). The password
    // reaches no other place than this document.
    void OpenProxySetupDlg(QWidget* parent);
    void PreUpdateVersion() override {}
    void AfterUpdateVersion() override {}

    int m_bEnable = 0;
    std::string m_strHttpHost;
    int m_nHttpPort = 0;
    std::string m_strFtpHost;
    int m_nFtpPort = 0;
    std::string m_strSocksHost;
    int m_nSocksPort = 0;
    std::string m_strSecureHost;
    int m_nSecurePort = 0;
    std::string m_strGopherHost;
    int m_nGopherPort = 0;
    int m_bLogon = 0;
    std::string m_strLogonUser;
    std::string m_strLogonPass;

    static CPRDLDoc* m_pthis;

    // The text of a new document.
    static constexpr const char* kNewDocument =
        "<?xml version=\"1.1\" encoding=\"gb2312\"?><prdl ver=\"1.0\"><proxy></proxy></prdl>";

protected:
    unsigned int FileMode() const override { return 0600; }
    // Used by the setup dialog and by InitPrdlDoc.
    int InitProxyConfig(int first, int end);
    // Writes the fields into the "proxy" element, saves, and mirrors them
    // into the settings; nothing changes without a "proxy" element.
    void Update();
    int ReadProxyFromReg();
    int WriteProxyToReg();
};

}  // namespace velkor
