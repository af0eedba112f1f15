#include "BrowseWindow.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QDockWidget>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QToolBar>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QProgressDialog>
#include <QStyle>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <vector>

#include "FtpUrl.h"
#include "MirrorEngine.h"
#include "Progress.h"
#include "ftp/FtpCodes.h"
#include "widgets/ftp/CFDListCtrl.h"
#include "widgets/ftp/CFDTreeCtrl.h"
#include "platform/LastError.h"
#include "platform/LocalFile.h"
#include "platform/SettingsStore.h"
#include "widgets/GuiCall.h"
#include "widgets/QtText.h"
#include "widgets/XMessageBox.h"

namespace velkor::browse {

namespace {

const QString kTitle = QStringLiteral("velkor-browse");
// How often the status line shows a transfer's progress.
constexpr int kProgressPeriodMs = 100;
// The steps of a folder transfer's progress bar.
constexpr int kProgressSteps = 1000;

std::string ParentPosition(const std::string& position) {
    const std::size_t cut = position.find_last_of('\\');
    return cut == std::string::npos ? std::string() : position.substr(0, cut);
}

// A server path with single "/", none at the end, and "." and ".." taken
// out ("/" for the root); a relative one stays relative.
std::string CleanServerPath(const std::string& path) {
    std::vector<std::string> parts;
    for (std::size_t at = 0; at <= path.size();) {
        const std::size_t cut = std::min(path.find('/', at), path.size());
        std::string part = path.substr(at, cut - at);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(std::move(part));
        }
        at = cut + 1;
    }
    const bool absolute = !path.empty() && path[0] == '/';
    std::string clean;
    for (const std::string& part : parts) clean += (clean.empty() && !absolute ? "" : "/") + part;
    return clean.empty() && absolute ? "/" : clean;
}

// A name that stays one entry of the folder it is given in.
bool UsableName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of("\\/\r\n") == std::string::npos;
}

}  // namespace

BrowseWindow::BrowseWindow(QWidget* parent)
    : QMainWindow(parent),
      m_tree(new CFDTreeCtrl),
      m_list(new CFDListCtrl),
      m_status(new QLabel),
      m_path(new QLineEdit),
      m_queue(new QTreeWidget) {
    setWindowTitle(kTitle);
    QToolBar* bar = addToolBar(tr("Path"));
    bar->setMovable(false);
    QAction* up = bar->addAction(style()->standardIcon(QStyle::SP_FileDialogToParent), tr("Up"),
                                 this, [this] { GoUp(); });
    up->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Up));
    up->setToolTip(tr("The folder above (Backspace, Alt+Up)"));
    m_path->setObjectName(QStringLiteral("path"));
    m_path->setPlaceholderText(tr("Server path, e.g. /pub"));
    bar->addWidget(m_path);
    connect(m_path, &QLineEdit::returnPressed, this, [this] { GoTo(m_path->text()); });
    auto* splitter = new QSplitter(this);
    splitter->addWidget(m_tree);
    splitter->addWidget(m_list);
    splitter->setStretchFactor(1, 2);
    setCentralWidget(splitter);
    statusBar()->addWidget(m_status, 1);
    // The transfer queue, under the views.
    m_queue->setObjectName(QStringLiteral("queue"));
    m_queue->setRootIsDecorated(false);
    m_queue->setHeaderLabels({tr("File"), tr("Direction"), tr("Progress"), tr("Rate"), tr("Left / result")});
    auto* queueBox = new QWidget;
    auto* queueLayout = new QVBoxLayout(queueBox);
    queueLayout->setContentsMargins(0, 0, 0, 0);
    queueLayout->addWidget(m_queue);
    auto* stopButton = new QPushButton(tr("Stop"));
    stopButton->setToolTip(tr("Stops the running file and the rest (Esc)"));
    queueLayout->addWidget(stopButton, 0, Qt::AlignRight);
    auto* queueDock = new QDockWidget(tr("Transfers"), this);
    queueDock->setObjectName(QStringLiteral("transfers"));
    queueDock->setFeatures(QDockWidget::NoDockWidgetFeatures);
    queueDock->setWidget(queueBox);
    addDockWidget(Qt::BottomDockWidgetArea, queueDock);
    resizeDocks({queueDock}, {120}, Qt::Vertical);
    for (const auto& [column, width] : {std::pair{0, 220}, {1, 70}, {2, 70}, {3, 90}})
        m_queue->setColumnWidth(column, width);
    resize(760, 560);

    m_askName = [this](const QString& current) -> std::optional<QString> {
        bool ok = false;
        const QString name =
            QInputDialog::getText(this, kTitle, tr("New name:"), QLineEdit::Normal, current, &ok);
        if (!ok) return std::nullopt;
        return name;
    };

    m_askFolder = [this] { return QFileDialog::getExistingDirectory(this, tr("Download into")); };
    m_askFiles = [this] { return QFileDialog::getOpenFileNames(this, tr("Upload")); };
    m_askUploadFolder = [this] { return QFileDialog::getExistingDirectory(this, tr("Upload folder")); };
    m_askExisting = [this](const QString& name, std::uint64_t have, std::uint64_t size) {
        QMessageBox box(QMessageBox::Question, kTitle,
                        tr("%1 is there already (%2 of %3 bytes).").arg(name).arg(have).arg(size),
                        QMessageBox::NoButton, this);
        QPushButton* replace = box.addButton(tr("&Replace"), QMessageBox::DestructiveRole);
        QPushButton* resume =
            have < size ? box.addButton(tr("Re&sume"), QMessageBox::AcceptRole) : nullptr;
        QPushButton* skip = box.addButton(tr("S&kip"), QMessageBox::RejectRole);
        box.setDefaultButton(resume ? resume : skip);
        box.exec();
        if (box.clickedButton() == replace) return Existing::kReplace;
        if (resume && box.clickedButton() == resume) return Existing::kResume;
        return Existing::kSkip;
    };

    QMenu* site = menuBar()->addMenu(tr("&Site"));
    site->addAction(tr("&Browse folder..."), this, &BrowseWindow::BrowseFolderDialog);
    site->addAction(tr("&Proxy settings..."), this, &BrowseWindow::ProxyDialog);
    site->addSeparator();
    site->addAction(tr("Re&fresh"), QKeySequence(Qt::Key_F5), this, &BrowseWindow::RefreshShown);
    site->addAction(tr("&Rename"), QKeySequence(Qt::Key_F2), this, [this] {
        if (m_tree->hasFocus() && m_tree->currentIndex().isValid()) m_tree->edit(m_tree->currentIndex());
        else RenameSelected();
    });
    site->addAction(tr("&Delete"), QKeySequence(QKeySequence::Delete), this,
                    &BrowseWindow::DeleteSelected);
    site->addSeparator();
    site->addAction(tr("Do&wnload..."), QKeySequence(Qt::CTRL | Qt::Key_D), this,
                    &BrowseWindow::DownloadSelected);
    site->addAction(tr("&Upload..."), QKeySequence(Qt::CTRL | Qt::Key_U), this,
                    &BrowseWindow::UploadFiles);
    site->addAction(tr("Upload &folder..."), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_U), this,
                    &BrowseWindow::UploadFolder);
    // Escape stops a running transfer (it takes effect after the current block).
    auto* stop = new QAction(this);
    stop->setShortcut(Qt::Key_Escape);
    connect(stop, &QAction::triggered, this, [this] {
        if (!Busy()) return;
        m_site.m_bAbort = 1;
        m_bStopped = true;
        DropPending();
    });
    connect(stopButton, &QPushButton::clicked, stop, &QAction::trigger);
    addAction(stop);
    // Backspace goes up from the views only: in the path bar it edits.
    for (QWidget* view : {static_cast<QWidget*>(m_tree), static_cast<QWidget*>(m_list)}) {
        auto* back = new QAction(view);
        back->setShortcut(Qt::Key_Backspace);
        back->setShortcutContext(Qt::WidgetShortcut);
        connect(back, &QAction::triggered, this, [this] { GoUp(); });
        view->addAction(back);
    }
    site->addSeparator();
    site->addAction(tr("&Quit"), QKeySequence(QKeySequence::Quit), this, &QWidget::close);

    // Choosing a folder in the tree shows it (the tree follows the list
    // too: choosing the shown folder's item shows nothing new).
    m_tree->m_onSelChanged = [this](const QModelIndex& item) {
        const CVFDLNode* node = m_tree->GetItemNode(item);
        if (!node || !m_site.m_pFDFSDoc) return;
        const std::string position = m_site.m_pFDFSDoc->GetAbsolutePos(node);
        if (position != m_strShown) ShowFolder(position);
    };
    // Enter opens the current folder in the tree as a double click does.
    m_tree->m_onKeyDown = [this](int key) {
        if (key == Qt::Key_Return || key == Qt::Key_Enter) m_tree->expand(m_tree->currentIndex());
    };
    m_tree->m_onEndLabelEdit = [this](const QModelIndex& item, const QString& label) {
        return RenameTreeItem(item, label);
    };
    connect(m_list, &QTreeView::activated, this, [this](const QModelIndex& row) { OpenRow(row); });

    // The proxy configuration of this user, used by the connection.
    const std::filesystem::path dir =
        std::filesystem::path(CSettingsStore::Location()).parent_path();
    const std::string proxyPath = (dir / "proxy.xml").string();
    if (!std::filesystem::exists(proxyPath) || m_proxy.LoadXMLDoc(proxyPath) != 1)
        m_proxy.NewXMLDoc(proxyPath);
    m_proxy.InitPrdlDoc();
    CPRDLDoc::Setthis(&m_proxy);
}

BrowseWindow::~BrowseWindow() {
    // The views read the site's tree until they go: they go first.
    delete takeCentralWidget();
    if (CPRDLDoc::Getthis() == &m_proxy) CPRDLDoc::Setthis(nullptr);
}

bool BrowseWindow::Busy() const { return GuiCall::IsBusy(&m_site); }

void BrowseWindow::closeEvent(QCloseEvent* event) {
    GuiCall::Cancel(&m_site);
    QMainWindow::closeEvent(event);
}

void BrowseWindow::ShowReply() { m_status->setText(ToQString(m_site.GetLastMessage())); }

bool BrowseWindow::Open(const std::string& url, std::string& error) {
    tool::FtpUrl address;
    return tool::ParseFtpUrl(url, address, error) && Open(address, error);
}

bool BrowseWindow::Open(const tool::FtpUrl& address, std::string& error) {
    if (Busy()) {
        error = "busy";
        return false;
    }
    m_strHost = address.host;
    m_nPort = address.port;
    m_strUser = address.user;
    m_strPassword = address.password;
    m_site.m_nTls = address.implicitTls ? kTlsImplicit : m_bExplicitTls ? kTlsExplicit : kTlsOff;
    m_site.m_tls = m_tls;
    // Exact sizes from MLSD where offered, and names in UTF-8 as the views read them.
    m_site.m_bUseMlsd = true;
    m_site.m_bUseUtf8 = true;
    bool logged = false;
    // The logon replaces the tree (the views then show nothing until it is
    // bound again).
    m_strShown.clear();
    {
        GuiCall call(&m_site);
        QApplication::setOverrideCursor(Qt::WaitCursor);
        logged = m_site.InitFDController(address.host, address.path, address.port, address.user,
                                         address.password);
        QApplication::restoreOverrideCursor();
    }
    ShowReply();
    if (!logged) {
        const std::string reply = m_site.GetLastMessage();
        if (!m_site.m_strTlsError.empty()) {
            error = "cannot log on to " + address.host + ": TLS failed: " + m_site.m_strTlsError;
            return false;
        }
        // Logged on, but the start folder was refused: the folder is named,
        // not the logon.
        if (m_site.m_nLoginState == kFtpLoggedOn) {
            error = address.path + " is no folder on " + address.host + ": " + reply;
            m_site.Logout();
            return false;
        }
        error = reply.empty() ? "cannot reach " + address.host + ":" + std::to_string(address.port) +
                                    ": " + SocketErrorText(GetLastSocketError())
                              : "cannot log on to " + address.host + ": " + reply;
        return false;
    }
    m_address = address;
    setWindowTitle(kTitle + " - " + ToQString(address.host));
    FillTree();
    m_list->InitFileListCtrl(&m_site, nullptr);
    m_list->setColumnWidth(0, 220);
    ShowFolder(m_site.m_pFDFSDoc->GetAbsolutePos(m_site.m_pFDFSDoc->GetRootNode()));
    return true;
}

void BrowseWindow::ShowFolder(const std::string& position) {
    if (Busy() || !m_site.m_pFDFSDoc) return;
    m_strShown = position;
    // ".." leads up from every folder but the server's root.
    m_list->ShowUpRow(ShownServerPath() != QStringLiteral("/"));
    m_list->BrowseFolder(position, CVFDLListCtrl::kAllEntries);
    // Size, type, time and permissions as wide as their texts; the name
    // column keeps the width the user gave it.
    for (int column = 1; column < m_list->GetColumnCount(); ++column)
        m_list->resizeColumnToContents(column);
    SelectInTree(position);
    m_path->setText(ShownServerPath());
    ShowReply();
}

std::string BrowseWindow::DisplayPath(const std::string& position) const {
    std::string path = m_site.ServerPath(position);
    std::replace(path.begin(), path.end(), '\\', '/');
    return CleanServerPath(path);
}

QString BrowseWindow::ShownServerPath() const {
    return m_site.m_pFDFSDoc ? ToQString(DisplayPath(m_strShown)) : QString();
}

bool BrowseWindow::GoUp() {
    if (Busy() || !m_site.m_pFDFSDoc) return false;
    const std::string shown = FromQString(ShownServerPath());
    const std::size_t cut = shown.find_last_of('/');
    if (shown == "/" || cut == std::string::npos) return false;
    return GoTo(ToQString(cut == 0 ? std::string("/") : shown.substr(0, cut)));
}

bool BrowseWindow::GoTo(const QString& serverPath) {
    if (Busy() || !m_site.m_pFDFSDoc) return false;
    std::string path = FromQString(serverPath.trimmed());
    if (path.empty()) return false;
    if (path[0] != '/') path = FromQString(ShownServerPath()) + "/" + path;
    const std::string clean = CleanServerPath(path);
    CFDFSDoc& doc = *m_site.m_pFDFSDoc;
    CVFDLNode* node = doc.GetRootNode();
    const std::string root = DisplayPath(doc.GetAbsolutePos(node));
    const bool below = clean == root || clean.compare(0, root.size() + 1, root == "/" ? "/" : root + "/") == 0;
    if (below) {
        // Down the tree, each folder listed as it is reached.
        const std::size_t skip = root == "/" ? 1 : root.size() + 1;
        for (std::size_t at = skip; node && at < clean.size();) {
            const std::size_t cut = std::min(clean.find('/', at), clean.size());
            const std::string name = clean.substr(at, cut - at);
            at = cut + 1;
            {
                GuiCall call(&m_site);
                if (!call.Entered()) return false;
                m_site.ExpandDir(node);
                if (call.Cancelled() || !m_site.m_pFDFSDoc) return false;
            }
            CVFDLNode* next = nullptr;
            for (const auto& child : node->m_children)
                if (child->m_nType == CVFDLNode::kFolder && child->Name() == name) next = child.get();
            // Not in the tree (a name the tree does not take): the server
            // is asked below instead.
            node = next;
        }
        if (node) {
            ShowFolder(doc.GetAbsolutePos(node));
            return true;
        }
    }
    // Elsewhere on the server: a folder that exists becomes the new start
    // folder, by a new logon (the tree holds one start folder's folders).
    bool exists = false;
    {
        GuiCall call(&m_site);
        exists = call.Entered() && m_site.SetCurrentDir(clean);
    }
    if (!exists) {
        m_status->setText(tr("%1 is no folder on the server: %2")
                              .arg(ToQString(clean), ToQString(m_site.GetLastMessage())));
        m_path->setText(ShownServerPath());
        return false;
    }
    tool::FtpUrl address = m_address;
    address.path = clean;
    std::string error;
    if (!Open(address, error)) {
        m_status->setText(ToQString(error));
        return false;
    }
    return true;
}

void BrowseWindow::FillTree() {
    m_tree->InitFDTreeCtrl(&m_site, nullptr);
    if (CVFDLNode* root = m_site.m_pFDFSDoc ? m_site.m_pFDFSDoc->GetRootNode() : nullptr)
        m_tree->ShowStartItem(ToQString(DisplayPath(m_site.m_pFDFSDoc->GetAbsolutePos(root))));
}

void BrowseWindow::SelectInTree(const std::string& position) {
    CVFDLNode* node = m_site.m_pFDFSDoc ? m_site.m_pFDFSDoc->GetNodeByFtpPos(position) : nullptr;
    const QModelIndex item = m_tree->RevealItem(node);
    if (!item.isValid()) return;
    if (m_tree->currentIndex() != item) m_tree->setCurrentIndex(item);
    m_tree->scrollTo(item);
}

void BrowseWindow::OpenRow(const QModelIndex& row) {
    if (Busy()) return;
    if (m_list->IsUpRow(row)) {
        GoUp();
        return;
    }
    const CVFDLNode* node = m_list->GetItemNode(row);
    if (!node || node->m_nType != CVFDLNode::kFolder) return;
    const std::string position = m_site.m_pFDFSDoc->GetAbsolutePos(node);
    ShowFolder(position);
    // The folder's own folders (listed by the list) show in the tree.
    m_tree->expand(m_tree->FindItem(node));
}

std::vector<const CVFDLNode*> BrowseWindow::SelectedNodes() const {
    std::vector<unsigned> rows;
    m_list->GetSelectedItems(&rows);
    std::vector<const CVFDLNode*> nodes;
    for (unsigned row : rows)
        if (const CVFDLNode* node = m_list->GetRowNode(static_cast<int>(row))) nodes.push_back(node);
    return nodes;
}

void BrowseWindow::DeleteSelected() {
    if (Busy() || !m_site.m_pFDFSDoc) return;
    const std::vector<const CVFDLNode*> nodes = SelectedNodes();
    if (nodes.empty()) return;
    std::vector<std::string> positions;
    for (const CVFDLNode* node : nodes) positions.push_back(m_site.m_pFDFSDoc->GetAbsolutePos(node));
    const QString question = nodes.size() == 1 ? tr("Delete %1?").arg(ToQString(nodes[0]->Name()))
                                               : tr("Delete %1 entries?").arg(nodes.size());
    if (XMessageBox(this, question, kTitle, MB_YESNO) != IDYES) return;
    QStringList failed;
    {
        GuiCall call(&m_site);
        for (const std::string& position : positions) {
            if (call.Cancelled()) break;
            if (!m_site.Delete(position))
                failed << ToQString(position.substr(position.find_last_of('\\') + 1)) + ": " +
                              ToQString(m_site.GetLastMessage());
        }
    }
    ShowReply();
    RefreshShown();
    if (!failed.isEmpty()) XMessageBox(this, tr("Not deleted:\n%1").arg(failed.join('\n')), kTitle);
}

bool BrowseWindow::RenameNode(const CVFDLNode* node, const QString& label) {
    const std::string name = FromQString(label);
    if (!node || Busy() || !m_site.m_pFDFSDoc || !UsableName(name) || name == node->Name())
        return false;
    const std::string from = m_site.m_pFDFSDoc->GetAbsolutePos(node);
    bool renamed = false;
    {
        GuiCall call(&m_site);
        renamed = m_site.Rename(from, ParentPosition(from) + "\\" + name);
    }
    ShowReply();
    return renamed;
}

void BrowseWindow::RenameSelected() {
    if (Busy() || !m_site.m_pFDFSDoc) return;
    const int row = m_list->GetSelectedItems(nullptr);
    const CVFDLNode* node = row < 0 ? nullptr : m_list->GetRowNode(row);
    if (!node) return;
    const std::optional<QString> answer = m_askName(ToQString(node->Name()));
    if (!answer || FromQString(*answer) == node->Name()) return;
    if (!RenameNode(node, *answer))
        XMessageBox(this, tr("Not renamed: %1").arg(ToQString(m_site.GetLastMessage())), kTitle);
}

bool BrowseWindow::RenameTreeItem(const QModelIndex& item, const QString& label) {
    // The start folder's item shows its path, not a name to change.
    const CVFDLNode* node = m_tree->GetItemNode(item);
    if (m_site.m_pFDFSDoc && node == m_site.m_pFDFSDoc->GetRootNode()) return false;
    return RenameNode(node, label);
}

void BrowseWindow::RefreshShown() {
    if (Busy() || !m_site.m_pFDFSDoc) return;
    const std::string position = m_strShown;
    {
        GuiCall call(&m_site);
        m_site.RefreshDir(position);
    }
    ShowReply();
    ShowFolder(position);
}

void BrowseWindow::StartBatch() {
    m_queue->clear();
    m_done.clear();
    m_failedDown.clear();
    m_failedUp.clear();
    m_folderLine.clear();
    m_strInto.clear();
    m_bUploaded = false;
}

QTreeWidgetItem* BrowseWindow::QueueRow(const QString& name, bool upwards) {
    auto* row = new QTreeWidgetItem(m_queue, {name, upwards ? tr("up") : tr("down"), QString(),
                                              QString(), tr("waiting")});
    row->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
    row->setTextAlignment(3, Qt::AlignRight | Qt::AlignVCenter);
    return row;
}

void BrowseWindow::FinishRow(QTreeWidgetItem* row, const QString& result) {
    if (row) row->setText(4, result);
}

std::uint32_t BrowseWindow::Transfer(const QString& label, std::uint64_t size, QTreeWidgetItem* row,
                                     std::uint64_t offset, const std::function<std::uint32_t()>& run) {
    QTimer progress;
    QElapsedTimer clock;
    clock.start();
    const auto draw = [&] {
        const std::uint64_t now = m_site.m_nTransferred64;
        m_status->setText(tr("%1: %2 of %3 bytes (Esc stops)").arg(label).arg(now).arg(size));
        if (!row) return;
        const double seconds = std::max<qint64>(clock.elapsed(), 1) / 1000.0;
        const double rate = static_cast<double>(now > offset ? now - offset : 0) / seconds;
        row->setText(2, size ? QString::number(std::min<std::uint64_t>(now, size) * 100 / size) + " %"
                             : QString());
        row->setText(3, ToQString(tool::HumanBytes(rate)) + "/s");
        if (size > now && rate > 0) {
            const auto left = static_cast<qint64>(static_cast<double>(size - now) / rate);
            row->setText(4, QStringLiteral("%1:%2").arg(left / 60).arg(left % 60, 2, 10, QLatin1Char('0')));
        }
    };
    connect(&progress, &QTimer::timeout, this, draw);
    progress.start(kProgressPeriodMs);
    m_site.m_bAbort = 0;
    m_bStopped = false;
    if (row) {
        row->setText(4, tr("running"));
        m_queue->scrollToItem(row);
    }
    GuiCall call(&m_site);
    const std::uint32_t result = run();
    m_site.m_bAbort = 0;
    draw();
    return result;
}

QString BrowseWindow::FailureReason(std::uint64_t transferred, std::uint64_t size) const {
    if (m_bStopped) return tr("stopped (Esc) after %1 of %2 bytes").arg(transferred).arg(size);
    if (m_site.m_nLastReply / 100 == 2 && size != 0 && transferred != size)
        return tr("the connection ended after %1 of %2 bytes").arg(transferred).arg(size);
    const std::string reply = m_site.GetLastMessage();
    return ToQString(reply.empty() ? std::string(FtpStatusText(m_site.m_nLastError)) : reply);
}

void BrowseWindow::DownloadSelected() {
    if (!m_site.m_pFDFSDoc || (Busy() && !m_bRunning)) return;
    std::vector<const CVFDLNode*> nodes = SelectedNodes();
    std::erase_if(nodes, [](const CVFDLNode* node) {
        return node->m_nType != CVFDLNode::kRecord && node->m_nType != CVFDLNode::kFolder;
    });
    if (nodes.empty()) return;
    // Added to a running queue, files go where its downloads go.
    const QString folder = m_bRunning && !m_strInto.isEmpty() ? m_strInto : m_askFolder();
    if (folder.isEmpty()) return;
    std::vector<Job> jobs;
    for (const CVFDLNode* node : nodes) {
        Job& job = jobs.emplace_back();
        job.folder = node->m_nType == CVFDLNode::kFolder;
        // Listing names hold no separator and never start with ".".
        job.name = ToQString(node->Name());
        job.remote = m_site.ServerPath(node);
        job.local = QFile::encodeName(QDir(folder).filePath(job.name)).toStdString();
        job.size = CFDListCtrl::NodeSize(node);
        job.into = folder;
    }
    Enqueue(std::move(jobs));
}

void BrowseWindow::Enqueue(std::vector<Job> jobs) {
    if (!m_bRunning) StartBatch();
    QStringList names;
    for (Job& job : jobs) {
        names << job.name;
        job.row = QueueRow(job.name, job.upwards);
        if (!job.upwards && m_strInto.isEmpty()) m_strInto = job.into;
        m_pending.push_back(std::move(job));
    }
    if (m_bRunning) {
        m_status->setText(tr("Queued: %1").arg(names.join(", ")));
        return;
    }
    m_bRunning = true;
    while (!m_pending.empty()) {
        const Job job = std::move(m_pending.front());
        m_pending.pop_front();
        if (job.upwards) RunUpload(job);
        else RunDownload(job);
    }
    m_bRunning = false;
    if (m_bUploaded) RefreshShown();
    else ShowReply();
    if (!m_done.isEmpty()) m_status->setText(tr("Downloaded %1 into %2").arg(m_done.join(", "), m_strInto));
    if (!m_folderLine.isEmpty()) m_status->setText(m_folderLine);
    if (!m_failedDown.isEmpty()) {
        // The cause in words, not the reply to the ABOR a stop sent.
        m_status->setText(tr("Not downloaded: %1").arg(m_failedDown.join("; ")));
        XMessageBox(this, tr("Not downloaded:\n%1").arg(m_failedDown.join('\n')), kTitle);
    }
    if (!m_failedUp.isEmpty()) XMessageBox(this, tr("Not uploaded:\n%1").arg(m_failedUp.join('\n')), kTitle);
}

void BrowseWindow::DropPending() {
    for (const Job& job : m_pending) FinishRow(job.row, tr("not started (stopped)"));
    m_pending.clear();
}

void BrowseWindow::RunDownload(const Job& job) {
    QTreeWidgetItem* row = job.row;
    const QString& name = job.name;
    const QString& folder = job.into;
    const std::string& local = job.local;
    const std::string& remote = job.remote;
    QStringList& failed = m_failedDown;
    QStringList& done = m_done;
    if (job.folder) {
        if (std::filesystem::exists(local) &&
            XMessageBox(this, tr("Merge %1 into the folder of that name in %2? Unchanged files are skipped.")
                                  .arg(name, folder),
                        kTitle, MB_YESNO) != IDYES) {
            FinishRow(row, tr("skipped"));
            return;
        }
        const int before = static_cast<int>(failed.size());
        m_folderLine = MirrorFolder(false, remote, local, failed);
        FinishRow(row, failed.size() > before ? tr("failed") : m_folderLine);
        if (m_bStopped) DropPending();
        return;
    }
    const std::uint64_t size = job.size;
    std::uint64_t offset = 0;
    if (const auto have = LocalFileSize(local)) {
        const Existing answer = m_askExisting(name, *have, size);
        if (answer == Existing::kSkip) {
            FinishRow(row, tr("skipped"));
            return;
        }
        if (answer == Existing::kResume) {
            if (*have >= size) {
                done << tr("%1 (complete already)").arg(name);
                FinishRow(row, tr("complete already"));
                return;
            }
            offset = *have;
        }
    }
    // A resumed file takes the rest in place; any other download goes
    // into a new file beside it first.
    const std::string fresh = offset ? local : CreateFileBeside(local);
    if (fresh.empty()) {
        failed << name + ": " + tr("cannot write into %1").arg(folder);
        FinishRow(row, failed.back().mid(name.size() + 2));
        return;
    }
    std::uint64_t transferred = 0;
    const std::uint32_t result = Transfer(name, size, row, offset, [&] {
        return m_site.Download64(remote, fresh, transferred, 0, offset, size, true);
    });
    const bool whole = result == 0 && m_site.LastTransferWhole(size);
    QString outcome = tr("done");
    if (offset) {
        if (whole) {
            done << tr("%1 (resumed at %2)").arg(name).arg(offset);
            outcome = tr("done (resumed at %1)").arg(offset);
        } else {
            outcome = FailureReason(offset + transferred, size) +
                      tr("; what came is kept for the next resume");
            failed << name + ": " + outcome;
        }
    } else if (whole && std::rename(fresh.c_str(), local.c_str()) == 0) {
        done << name;
    } else {
        std::remove(fresh.c_str());
        outcome = FailureReason(transferred, size) +
                  (m_bStopped ? tr("; the local file is as it was") : QString());
        failed << name + ": " + outcome;
    }
    FinishRow(row, outcome);
}


QString BrowseWindow::MirrorFolder(bool upwards, const std::string& remoteRoot, const std::string& localRoot,
                                   QStringList& failed) {
    const QString shown = ToQString(std::filesystem::path(localRoot).filename().string());
    tool::MirrorEngine mirror(upwards, remoteRoot, localRoot);
    mirror.m_onRefused = [&](const std::string& where, const std::string& name) {
        failed << ToQString(where.empty() ? name : where + "/" + name) + ": " +
                      tr("not taken (the name is not one safe path element)");
    };
    mirror.m_onTrouble = [&](const std::string& text) { failed << shown + ": " + ToQString(text); };
    QProgressDialog dialog(tr("Listing %1...").arg(shown), tr("Stop"), 0, kProgressSteps, this);
    dialog.setWindowTitle(upwards ? tr("Uploading %1").arg(shown) : tr("Downloading %1").arg(shown));
    dialog.setWindowModality(Qt::WindowModal);
    dialog.setMinimumDuration(0);
    dialog.setAutoReset(false);
    dialog.setAutoClose(false);
    dialog.setValue(0);
    m_bStopped = false;
    m_site.m_bAbort = 0;
    tool::MirrorEngine::Totals totals;
    tool::MirrorEngine::Plan plan;
    {
        GuiCall call(&m_site);
        if (upwards) m_site.CreateDir(remoteRoot);  // a 550 says it is there
        const tool::MirrorEngine::Listing remote = mirror.ListRemote(m_site, false);
        if (remote.failed) {
            failed << shown + ": " + ToQString(m_site.GetLastMessage());
            return QString();
        }
        std::error_code ec;
        if (!upwards && !std::filesystem::is_directory(localRoot, ec) &&
            !std::filesystem::create_directories(localRoot, ec)) {
            failed << shown + ": " + ToQString(ec.message());
            return QString();
        }
        const tool::MirrorEngine::Listing local = mirror.ListLocal();
        if (local.failed) return QString();
        plan = mirror.MakePlan(remote, local, false);
        for (const std::string& rel : mirror.MakeFolders(m_site, plan))
            failed << ToQString(rel) + ": " + tr("the folder cannot be made");
        const QString all = QString::number(plan.tasks.size());
        const QString total = ToQString(tool::HumanBytes(static_cast<double>(plan.bytes)));
        mirror.m_stopped = [&] {
            if (dialog.wasCanceled() || call.Cancelled()) m_bStopped = true;
            return m_bStopped;
        };
        // Stop ends the running file after its current block (ABOR), and
        // leaves its part for the next run.
        QElapsedTimer drawn;
        std::size_t shownFile = plan.tasks.size();
        mirror.m_onWait = [&](CFtp& ftp) {
            if (dialog.wasCanceled()) {
                m_bStopped = true;
                ftp.m_bAbort = 1;
            }
            // One logon: the running file is the one after those done.
            const std::size_t running = static_cast<std::size_t>(totals.done + totals.failed);
            // Waits come far more often than a person can read: the dialog is
            // redrawn when the file changes, else every kProgressPeriodMs.
            if (running == shownFile && drawn.isValid() && drawn.elapsed() < kProgressPeriodMs) return;
            drawn.start();
            shownFile = running;
            const std::uint64_t moved = totals.bytes.load();
            dialog.setValue(plan.bytes ? static_cast<int>(moved * kProgressSteps / plan.bytes) : 0);
            dialog.setLabelText(tr("%1 of %2 files: %3\n%4 of %5")
                                    .arg(running + 1)
                                    .arg(all)
                                    .arg(running < plan.tasks.size() ? ToQString(plan.tasks[running].rel)
                                                                     : QString())
                                    .arg(ToQString(tool::HumanBytes(static_cast<double>(moved))))
                                    .arg(total));
        };
        mirror.m_onFile = [&](const tool::MirrorEngine::Task& task, bool whole, std::uint64_t moved, CFtp&) {
            if (!whole && !m_bStopped)
                failed << ToQString(task.rel) + ": " + FailureReason(moved, task.size - task.offset);
        };
        mirror.Run({&m_site}, plan, totals);
        m_site.m_bAbort = 0;
    }
    dialog.close();
    activateWindow();  // the keys go to the window again
    const QString moved = ToQString(tool::HumanBytes(static_cast<double>(totals.bytes.load())));
    if (m_bStopped)
        return tr("%1: stopped after %2 of %3 files (%4); the same transfer again goes on from there")
            .arg(shown)
            .arg(totals.done.load())
            .arg(plan.tasks.size())
            .arg(moved);
    return tr("%1: %2 files moved (%3), %4 unchanged").arg(shown).arg(totals.done.load()).arg(moved).arg(plan.skipped);
}

void BrowseWindow::UploadFiles() {
    if (!m_site.m_pFDFSDoc || (Busy() && !m_bRunning)) return;
    const QStringList paths = m_askFiles();
    if (paths.isEmpty()) return;
    std::vector<Job> jobs;
    for (const QString& path : paths) {
        Job& job = jobs.emplace_back();
        job.upwards = true;
        job.name = QFileInfo(path).fileName();
        job.local = QFile::encodeName(path).toStdString();
        job.position = m_strShown + "\\" + FromQString(job.name);
    }
    Enqueue(std::move(jobs));
}

void BrowseWindow::RunUpload(const Job& job) {
    QTreeWidgetItem* row = job.row;
    const QString& name = job.name;
    QStringList& failed = m_failedUp;
    m_bUploaded = true;
    if (job.folder) {
        const int before = static_cast<int>(failed.size());
        m_folderLine = MirrorFolder(true, m_site.ServerPath(job.position), job.local, failed);
        FinishRow(row, failed.size() > before ? tr("failed") : m_folderLine);
        if (m_bStopped) DropPending();
        return;
    }
    const std::string remoteName = FromQString(name);
    // A name the code page cannot hold would land under another name.
    if (!UsableName(remoteName) || ToQString(remoteName) != name) {
        failed << name + ": " + tr("cannot be named on the server in this code page");
        FinishRow(row, tr("cannot be named on the server in this code page"));
        return;
    }
    const CVFDLNode* existing = m_site.m_pFDFSDoc ? m_site.m_pFDFSDoc->GetNodeByFtpPos(job.position) : nullptr;
    const std::string& local = job.local;
    const std::uint64_t size = LocalFileSize(local).value_or(0);
    std::uint64_t offset = 0;
    if (existing) {
        // The same question as for a download, of the server's file.
        const std::uint64_t have = CFDListCtrl::NodeSize(existing);
        const Existing answer = m_askExisting(name, have, size);
        if (answer == Existing::kSkip) {
            FinishRow(row, tr("skipped"));
            return;
        }
        if (answer == Existing::kResume) {
            if (have >= size) {
                FinishRow(row, tr("complete already"));
                return;
            }
            offset = have;  // REST, then STOR of the rest
        }
    }
    std::uint64_t transferred = 0;
    const std::string remote = m_site.ServerPath(job.position);
    const std::uint32_t result = Transfer(name, size, row, offset, [&] {
        return m_site.Upload64(local, remote, transferred, 0, offset, size, true) != 0 ? 0u : 1u;
    });
    if (result != 0 || !m_site.LastTransferWhole(size)) {
        failed << name + ": " + FailureReason(offset + transferred, size);
        FinishRow(row, FailureReason(offset + transferred, size));
    } else {
        FinishRow(row, offset ? tr("done (resumed at %1)").arg(offset) : tr("done"));
    }
}

void BrowseWindow::UploadFolder() {
    if (!m_site.m_pFDFSDoc || (Busy() && !m_bRunning)) return;
    const QString path = m_askUploadFolder();
    if (path.isEmpty()) return;
    const QString name = QFileInfo(QDir::cleanPath(path)).fileName();
    const std::string remoteName = FromQString(name);
    if (!UsableName(remoteName) || ToQString(remoteName) != name) {
        XMessageBox(this, tr("Not uploaded:\n%1").arg(name + ": " + tr("cannot be named on the server in this code page")),
                    kTitle);
        return;
    }
    const std::string position = m_strShown + "\\" + remoteName;
    if (m_site.m_pFDFSDoc->GetNodeByFtpPos(position) &&
        XMessageBox(this, tr("Merge %1 into the folder of that name on the server? Unchanged files are skipped.")
                              .arg(name),
                    kTitle, MB_YESNO) != IDYES)
        return;
    std::vector<Job> jobs(1);
    jobs[0].upwards = true;
    jobs[0].folder = true;
    jobs[0].name = name;
    jobs[0].local = QFile::encodeName(path).toStdString();
    jobs[0].position = position;
    Enqueue(std::move(jobs));
}


void BrowseWindow::BrowseFolderDialog() {
    if (m_strHost.empty()) return;
    std::string folder;
    const std::string name = m_strHost.find(':') != std::string::npos ? "[" + m_strHost + "]" : m_strHost;
    const std::string host = m_nPort == 21 ? name : name + ":" + std::to_string(m_nPort);
    // The dialog logs on as the window did: with its TLS, never in clear.
    if (CFtpSite::OpenBrowseFolderDlg(folder, host, m_strPassword, m_strUser, m_site.m_nTls, m_site.m_tls))
        m_status->setText(tr("Chosen folder: %1").arg(ToQString(folder)));
}

void BrowseWindow::ProxyDialog() { m_proxy.OpenProxySetupDlg(this); }

}  // namespace velkor::browse
