// CFtpSite: an FTP client that also keeps a folder tree of the remote site,
// for list and tree views.
//
// The tree (CFDFSDoc) is loaded lazily, one folder level per ExpandDir. The
// directory operations change the server first and the tree only after the
// server succeeded. Tree paths use "\" as the separator; a node's server
// path is its position in the tree.
//
// Decisions where the older behaviour was open or unsafe:
// - an empty start folder is the login directory: positions below it are
//   relative ("name\sub"), never "\name", which the server would read from
//   its root; a path that starts with "/" is taken as the server's own;
// - InitFDController logs on with the firewall arguments it is given (the
//   older one dropped them) and replaces an earlier tree;
// - listing entries named ".", "..", starting with "." or holding "\" or
//   "/" are not added (such names would address other places);
// - CreateDir under a folder not yet expanded adds no node (the folder's
//   expansion will list it; adding it too would show it twice).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "../platform/markup/CFDFSDoc.h"
#include "CFtp.h"

namespace velkor {

// A plain record of two texts and five numbers for applications; the
// library does not use it.
class CFtpSiteNode {
public:
    std::string m_strName;
    std::string m_strPath;
    std::int32_t m_nType = 0;
    std::int32_t m_nSize = 0;
    std::int32_t m_nExpanded = 0;
    std::int32_t m_nImage = 0;
    std::int32_t m_nData = 0;
};

class CFtpSite : public CFtp {
public:
    // Logon attempts of InitFDController.
    static constexpr int kLogonAttempts = 3;

    CFtpSite() = default;
    ~CFtpSite() override = default;

    // Logs on (up to kLogonAttempts times; not again after the server
    // refused the logon with 530 or 332, or after TLS failed: a refused
    // password is not retried), changes to the start folder and builds the
    // tree with the start folder expanded one level.
    bool InitFDController(const std::string& host, const std::string& startFolder, int port,
                          const std::string& user, const std::string& password,
                          const std::string& account = "", const std::string& fwHost = "",
                          const std::string& fwUser = "", const std::string& fwPassword = "",
                          int fwPort = 21, int logonType = kLogonDirect);
    // Loads a folder's children once; true at once when already expanded.
    // A failed listing marks the folder expanded all the same (false).
    bool ExpandDir(CVFDLNode* node);
    bool IsNodeExpanded(CVFDLNode* node) const;
    // Forgets a folder's children and lists it again.
    bool RefreshDir(const std::string& path);
    // Creates the folder on the server, then its node (see above).
    virtual bool CreateDir(std::string path);
    bool RemoveDir(const std::string& path) override;
    // A folder through RemoveDir (a non-empty one fails on the server), a
    // file record through DeleteFileA; nothing below a folder is deleted.
    bool Delete(const std::string& path) override;
    // The server's delete only: the record stays until the folder is refreshed.
    bool DeleteFileA(const std::string& path) override;
    bool Rename(const std::string& from, const std::string& to) override;
    // Does nothing: 0.
    virtual std::uint32_t Upload(std::string local, std::string remote, std::uint32_t& transferred,
                                 std::uint32_t limit, std::uint32_t offset, std::uint32_t size,
                                 bool passive);

    // Runs the browse dialog (CBrowseFolderDlg; link Velkor10::Widgets) on
    // the site: true when the user confirmed a folder, which is then in
    // `folder` as the server's full path ("/home/u/docs", no trailing
    // separator), which every FTP client reads alike. The arguments come in
    // this order: host, password, user. Beyond the older dialog: `tls` and
    // `settings` as on CFtp (m_nTls, m_tls), so that a site reached over TLS
    // is not browsed with the password in clear.
    static bool OpenBrowseFolderDlg(std::string& folder, const std::string& host,
                                    const std::string& password, const std::string& user,
                                    int tls = kTlsOff, const TlsSettings& settings = TlsSettings());

    // The server path of a tree position or of a node.
    std::string ServerPath(const std::string& position) const;
    std::string ServerPath(const CVFDLNode* node) const;

    std::unique_ptr<CFDFSDoc> m_pFDFSDoc;

private:
    std::string m_strStartFolder;
};

}  // namespace velkor
