#include "widgets/ftp/CBrowseFolderDlg.h"

#include <QApplication>
#include <QKeyEvent>
#include <algorithm>

#include "platform/Text.h"
#include "resources/StringTable.h"
#include "widgets/GuiCall.h"
#include "widgets/QtText.h"
#include "widgets/XMessageBox.h"

namespace velkor {

namespace {

constexpr int kFtpPort = 21;

// "host" or "host:port" (a port from 1 to 65535; "[::1]:2121" for IPv6).
void SplitHostPort(const std::string& text, std::string& host, int& port) {
    host = text;
    port = kFtpPort;
    const text::HostPort parts = text::SplitHostPort(text);
    const std::string& digits = parts.port;
    if (digits.empty() || digits.size() > 5 ||
        digits.find_first_not_of("0123456789") != std::string::npos) {
        if (digits.empty()) host = parts.host;
        return;
    }
    const int number = std::stoi(digits);
    if (number < 1 || number > 65535) return;
    port = number;
    host = parts.host;
}

std::string WithoutTrailingBackslashes(std::string text) {
    while (!text.empty() && text.back() == '\\') text.pop_back();
    return text;
}

}  // namespace

CBrowseFolderDlg::CBrowseFolderDlg(QWidget* parent) : CXDialog(IDD_BROWSE_FOLDER, parent) {
    BindControl(IDC_BROWSE_TREE, &m_treeCtrl);
    m_treeCtrl.m_onKeyDown = [this](int key) { OnTreeKeyDown(key); };
    m_treeCtrl.m_onEndLabelEdit = [this](const QModelIndex& item, const QString& text) {
        return OnTreeEndLabelEdit(item, text);
    };
    m_treeCtrl.m_onSelChanged = [this](const QModelIndex& item) { OnTreeSelChanged(item); };
}

CBrowseFolderDlg::~CBrowseFolderDlg() = default;

std::string CBrowseFolderDlg::PositionOf(const std::string& folderText) {
    std::string folder = WithoutTrailingBackslashes(folderText);
    if (!folder.empty() && folder[0] == '/') {
        while (folder.size() > 1 && (folder.back() == '/' || folder.back() == '\\'))
            folder.pop_back();
        return folder;
    }
    if (folder.empty() || folder[0] == '\\') return folder;
    return "\\" + folder;
}

std::string CBrowseFolderDlg::FolderTextOf(const std::string& position) {
    const std::size_t first = position.find_first_not_of('\\');
    return first == std::string::npos ? std::string() : position.substr(first);
}

bool CBrowseFolderDlg::Idle() const { return !GuiCall::IsBusy(&m_site) && !m_bCloseAfterCall; }

bool CBrowseFolderDlg::EndIfClosed() {
    if (!m_bCloseAfterCall) return false;
    LogoutAndEnd(IDCANCEL);
    return true;
}

void CBrowseFolderDlg::LogoutAndEnd(int result) {
    KillTimer(kCloseTimer);
    if (m_bEnded) return;
    m_bEnded = true;
    m_site.Logout();
    EndDialog(result);
}

bool CBrowseFolderDlg::OnInitDialog() {
    CXDialog::OnInitDialog();
    SetTimer(kLogonTimer, kLogonDelayMs);
    return true;
}

void CBrowseFolderDlg::DoDataExchange(CDataExchange* dx) { DDX_Text(dx, IDC_BROWSE_PATH, m_strPath); }

void CBrowseFolderDlg::OnTimer(int id) {
    if (id == kCloseTimer) {
        if (!GuiCall::IsBusy(&m_site)) EndIfClosed();
        return;
    }
    if (id != kLogonTimer) return;
    KillTimer(kLogonTimer);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    std::string host;
    int port = kFtpPort;
    SplitHostPort(m_strHost, host, port);
    bool logged = false;
    {
        GuiCall call(&m_site);
        logged = call.Entered() &&
                 m_site.InitFDController(host, "", port, m_strUser, m_strPassword);
    }
    QApplication::restoreOverrideCursor();
    if (EndIfClosed()) return;
    // The logon is over: its notice goes, and folders can be made.
    if (QWidget* wait = GetDlgItem(IDC_BROWSE_WAIT)) wait->hide();
    if (logged) {
        m_treeCtrl.InitFDTreeCtrl(&m_site, this);
        if (QWidget* create = GetDlgItem(IDC_BROWSE_CREATE)) create->setEnabled(true);
    } else {
        XMessageBox(this, LibraryQString(IDS_CANNOT_LOGON));
    }
}

void CBrowseFolderDlg::OnTreeSelChanged(const QModelIndex& item) {
    const CVFDLNode* node = m_treeCtrl.GetItemNode(item);
    if (!node || !m_site.m_pFDFSDoc) return;
    m_strPath = FolderTextOf(m_site.m_pFDFSDoc->GetAbsolutePos(node));
    SetDlgItemText(IDC_BROWSE_PATH, ToQString(m_strPath));
}

bool CBrowseFolderDlg::OnTreeEndLabelEdit(const QModelIndex& item, const QString& text) {
    const CVFDLNode* node = m_treeCtrl.GetItemNode(item);
    if (!node || !m_site.m_pFDFSDoc) return true;
    const std::string label = FromQString(text);
    if (label.empty() || label == node->Name() || label.find_first_of("\\/") != std::string::npos)
        return false;
    if (!Idle()) return false;
    const std::string from = m_site.m_pFDFSDoc->GetAbsolutePos(node);
    const std::size_t cut = from.find_last_of('\\');
    const std::string to = (cut == std::string::npos ? std::string() : from.substr(0, cut + 1)) + label;
    bool renamed = false;
    {
        GuiCall call(&m_site);
        renamed = m_site.Rename(from, to);
    }
    if (EndIfClosed()) return false;
    if (!renamed) return false;
    m_strPath = FolderTextOf(to);
    SetDlgItemText(IDC_BROWSE_PATH, ToQString(m_strPath));
    return true;
}

void CBrowseFolderDlg::OnTreeKeyDown(int key) {
    if (key != Qt::Key_Delete) return;
    const CVFDLNode* node = m_treeCtrl.GetCurrentNode();
    if (!node || !m_site.m_pFDFSDoc || !Idle()) return;
    if (XMessageBox(this, QStringLiteral("Do u want to delete it?"), QStringLiteral("Warning!"),
                    MB_YESNO) != IDYES)
        return;
    const std::string position = m_site.m_pFDFSDoc->GetAbsolutePos(node);
    bool deleted = false;
    {
        GuiCall call(&m_site);
        deleted = m_site.Delete(position);
    }
    if (EndIfClosed()) return;
    if (!deleted) {
        XMessageBox(this, QStringLiteral("Can not delete the path"), QStringLiteral("Error!"));
    }
    // Deleted: its item went with its node.
}

void CBrowseFolderDlg::OnCommand(int id) {
    if (id == IDC_BROWSE_CREATE) OnCreateFolder();
}

void CBrowseFolderDlg::OnCreateFolder() {
    if (!Idle()) return;
    const std::string before = m_strPath;
    UpdateData(true);
    if (m_strPath == before) return;
    const std::string position = PositionOf(m_strPath);
    bool created = false;
    {
        GuiCall call(&m_site);
        created = m_site.CreateDir(position);
    }
    if (EndIfClosed() || !created || !m_site.m_pFDFSDoc) return;
    // The new folder's node (made under a listed folder) shows in the tree
    // by itself; it is shown and chosen.
    if (CVFDLNode* node = m_site.m_pFDFSDoc->GetNodeByFtpPos(position + "\\")) {
        const QModelIndex item = m_treeCtrl.RevealItem(node);
        if (item.isValid()) m_treeCtrl.scrollTo(item);
    }
}

void CBrowseFolderDlg::OnOK() {
    if (!Idle()) return;
    UpdateData(true);
    if (m_strPath.empty()) {
        XMessageBox(this, LibraryQString(IDS_NO_FOLDER_CHOSEN));
        return;
    }
    const std::string position = PositionOf(m_strPath);
    bool exists = false;
    {
        GuiCall call(&m_site);
        exists = m_site.IsFileExisted(m_site.ServerPath(position));
    }
    if (EndIfClosed()) return;
    if (!exists) {
        if (XMessageBox(this, LibraryQString(IDS_ASK_CREATE_FOLDER), QString(), MB_YESNO) != IDYES) {
            LogoutAndEnd(IDCANCEL);
            return;
        }
        bool created = false;
        {
            GuiCall call(&m_site);
            created = m_site.CreateDir(position);
        }
        if (EndIfClosed()) return;
        if (!created) {
            // The dialog stays: the user may correct the folder or cancel.
            XMessageBox(this, LibraryQString(IDS_CANNOT_CREATE_FOLDER));
            return;
        }
    }
    std::string serverPath = m_site.ServerPath(position);
    std::replace(serverPath.begin(), serverPath.end(), '\\', '/');
    m_strPath = serverPath;
    LogoutAndEnd(IDOK);
}

void CBrowseFolderDlg::OnCancel() {
    if (GuiCall::Cancel(&m_site)) {
        m_bCloseAfterCall = true;
        SetTimer(kCloseTimer, kClosePollMs);
        return;
    }
    LogoutAndEnd(IDCANCEL);
}

void CBrowseFolderDlg::OnClose() { OnCancel(); }

bool CFtpSite::OpenBrowseFolderDlg(std::string& folder, const std::string& host,
                                   const std::string& password, const std::string& user, int tls,
                                   const TlsSettings& settings) {
    CBrowseFolderDlg dialog(QApplication::activeWindow());
    dialog.m_site.m_nTls = tls;
    dialog.m_site.m_tls = settings;
    dialog.m_strHost = host;
    dialog.m_strPassword = password;
    dialog.m_strUser = user;
    dialog.m_strPath = folder;
    if (dialog.DoModal() != IDOK) return false;
    folder = WithoutTrailingBackslashes(dialog.m_strPath);
    return true;
}

}  // namespace velkor
