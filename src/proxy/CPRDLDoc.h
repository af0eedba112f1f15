// CPRDLDoc: the process-wide proxy configuration.
//
// Whether proxies are used, a proxy host and port for each of five protocols
// (http, ftp, secure, socks, gopher) and a proxy log-on. The application fills
// one instance and registers it with Setthis(); every connection reads the
// registered instance afresh at connect time through Getthis(), and a null
// pointer means "no proxy". The FTP control connection then goes through the
// ftp entry with SOCKS5 and the FTP data connection with SOCKS4, each only
// while m_bEnable is set and the host is not empty.
#pragma once

#include <string>

namespace velkor {

class CPRDLDoc {
public:
    CPRDLDoc() = default;
    virtual ~CPRDLDoc();

    // The registered instance, or null.
    static CPRDLDoc* Getthis() { return m_pthis; }
    // Registers an instance (null: none). The caller keeps ownership; an
    // instance that is destroyed while registered unregisters itself.
    static void Setthis(CPRDLDoc* p) { m_pthis = p; }

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
};

}  // namespace velkor
