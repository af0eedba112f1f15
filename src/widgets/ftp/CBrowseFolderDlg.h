// CBrowseFolderDlg: a modal dialog that logs on to an FTP site, shows its
// folders and lets the user pick one (typing a new one is allowed: OK offers
// to create it). Folders are renamed in place (F2) and deleted with the
// Delete key after a question.
//
// The dialog starts from the login directory. Its folder texts are
// positions relative to it, "\" separated ("docs\2026"); a text starting
// with "/" is a full server path. OK leaves the chosen folder's full server
// path in m_strPath ("/home/u/docs/2026"): a position relative to the login
// directory would be read from the server's root by FTP clients.
//
// Decisions where the older dialog was open or unsafe:
// - the host may carry a port ("host:port"); without one the dialog logs
//   on at port 21 as before;
// - folder texts never lose a last letter: a folder's position has no
//   trailing "\" and is taken whole;
// - after a rename the edit box holds the folder's new position (the old one
//   would make OK create the folder just renamed away);
// - a new label holding "\" or "/" is refused (it would move the folder);
// - while a server call waits, the dialog stays alive; actions that would
//   start another call on the connection are ignored; closing the dialog
//   then cancels the call, logs out and ends the dialog with IDCANCEL;
// - Cancel logs out as closing does;
// - once the logon is over its "logging on" notice goes, and the
//   create-folder button (created disabled, and never enabled before) works
//   from then on.
#pragma once

#include <string>

#include "../../ftp/CFtpSite.h"
#include "CFDTreeCtrl.h"
#include "../CXDialog.h"

namespace velkor {

class CBrowseFolderDlg : public CXDialog {
    Q_OBJECT
public:
    // The timer that starts the logon once the dialog shows, and its delay.
    static constexpr int kLogonTimer = 1;
    static constexpr int kLogonDelayMs = 50;
    // The timer that ends a dialog closed during a call once the call is over.
    static constexpr int kCloseTimer = 2;
    static constexpr int kClosePollMs = 20;

    explicit CBrowseFolderDlg(QWidget* parent = nullptr);
    ~CBrowseFolderDlg() override;

    std::string m_strUser;
    std::string m_strPassword;
    std::string m_strHost;
    CFtpSite m_site;
    std::string m_strPath;  // the edit box
    CFDTreeCtrl m_treeCtrl;

    // The handlers, public so that a holder (or a test) can drive them.
    void OnCreateFolder();
    void OnTreeKeyDown(int key);
    bool OnTreeEndLabelEdit(const QModelIndex& item, const QString& text);
    void OnTreeSelChanged(const QModelIndex& item);

    // The server position of an edit-box text, and the other way round.
    static std::string PositionOf(const std::string& folderText);
    static std::string FolderTextOf(const std::string& position);

protected:
    bool OnInitDialog() override;
    void DoDataExchange(CDataExchange* dx) override;
    void OnTimer(int id) override;
    void OnOK() override;
    void OnCancel() override;
    void OnCommand(int id) override;
    void OnClose() override;

private:
    // True when the dialog may start a server call now.
    bool Idle() const;
    // After a call: ends the dialog when it was closed meanwhile.
    bool EndIfClosed();
    void LogoutAndEnd(int result);

    bool m_bCloseAfterCall = false;
    bool m_bEnded = false;
};

}  // namespace velkor
