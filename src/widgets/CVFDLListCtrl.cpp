#include "widgets/CVFDLListCtrl.h"

#include <QHeaderView>
#include <QPointer>
#include <QSortFilterProxyModel>
#include <QStyle>
#include <QTimer>
#include <algorithm>

#include "widgets/CVFDLModel.h"
#include "widgets/QtText.h"
#include "widgets/ShellIcons.h"

namespace velkor {

namespace detail {

// The list's window on the model: the shown folder's rows (and the folders
// leading to it, which the view needs as its root's ancestors), in the
// list's order, with the texts the list supplies. It always sorts
// "ascending": the list's comparison holds the direction.
class ListProxy : public QSortFilterProxyModel {
public:
    explicit ListProxy(CVFDLListCtrl* list) : QSortFilterProxyModel(list), m_list(list) {
        setDynamicSortFilter(true);
    }
    CVFDLModel* Source() const { return static_cast<CVFDLModel*>(sourceModel()); }

    bool filterAcceptsRow(int row, const QModelIndex& parent) const override {
        CVFDLModel* model = Source();
        if (!model || !m_list->m_shown.isValid()) return false;
        const QModelIndex index = model->index(row, 0, parent);
        const bool inShown = parent == m_list->m_shown;
        if (model->UpRowFolder(index)) return inShown && m_list->m_bUpRow;
        const CVFDLNode* node = model->Node(index);
        if (!node) return false;
        const bool folder = node->m_nType == CVFDLNode::kFolder;
        if (!inShown) return folder;
        if (folder && m_list->m_nFlag == CVFDLListCtrl::kFilesOnly) return false;
        const auto& hidden = m_list->m_hiddenIds;
        return std::find(hidden.begin(), hidden.end(), node->m_strID) == hidden.end();
    }
    bool filterAcceptsColumn(int column, const QModelIndex&) const override {
        return column < m_list->GetColumnCount();
    }
    bool lessThan(const QModelIndex& a, const QModelIndex& b) const override {
        // Below a folder row 0 is its ".." row, which leads.
        if (a.row() == 0 || b.row() == 0) return a.row() == 0 && b.row() != 0;
        if (!m_list->m_compare) return a.row() < b.row();
        CVFDLModel* model = Source();
        return m_list->m_compare(model->Node(a), model->Node(b)) < 0;
    }
    // The list's rows open nothing below themselves.
    bool hasChildren(const QModelIndex& parent) const override {
        if (parent.isValid() && parent.parent() == m_list->rootIndex()) return false;
        return QSortFilterProxyModel::hasChildren(parent);
    }
    QVariant data(const QModelIndex& index, int role) const override {
        switch (role) {
            case Qt::DisplayRole: return m_list->RowText(index, index.column());
            case Qt::DecorationRole:
                return index.column() == 0 ? QVariant(m_list->RowIcon(index)) : QVariant();
            case Qt::ToolTipRole: return m_list->RowToolTip(index, index.column());
            case Qt::TextAlignmentRole: return Alignment(index.column());
            default: return QSortFilterProxyModel::data(index, role);
        }
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal || section < 0 || section >= m_list->GetColumnCount())
            return {};
        if (role == Qt::DisplayRole) return m_list->m_titles[static_cast<std::size_t>(section)];
        if (role == Qt::TextAlignmentRole) return Alignment(section);
        return {};
    }
    Qt::ItemFlags flags(const QModelIndex& index) const override {
        return index.isValid() ? Qt::ItemIsSelectable | Qt::ItemIsEnabled : Qt::NoItemFlags;
    }

private:
    QVariant Alignment(int column) const {
        if (column < 0 || column >= m_list->GetColumnCount()) return {};
        return static_cast<int>(m_list->m_alignments[static_cast<std::size_t>(column)] | Qt::AlignVCenter);
    }
    CVFDLListCtrl* m_list;
};

}  // namespace detail

CVFDLListCtrl::CVFDLListCtrl(QWidget* parent) : QTreeView(parent), m_proxy(new detail::ListProxy(this)) {
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSortingEnabled(false);
    m_proxy->sort(0);
    setModel(m_proxy);
    header()->setSectionsClickable(true);
    header()->setSortIndicatorShown(false);
    header()->setStretchLastSection(true);
    connect(header(), &QHeaderView::sectionClicked, this, [this](int column) { OnColumnClick(column); });
}

CVFDLListCtrl::~CVFDLListCtrl() {
    // The view lets go of the model before the model may go.
    setModel(nullptr);
    m_proxy->setSourceModel(nullptr);
}

int CVFDLListCtrl::InitFileListCtrl(CFDFSDoc* doc) {
    m_shown = QPersistentModelIndex();
    m_hiddenIds.clear();
    m_titles.clear();
    m_alignments.clear();
    m_widths.clear();
    std::shared_ptr<CVFDLModel> model = CVFDLModel::Of(doc);
    m_proxy->setSourceModel(model.get());
    m_model = std::move(model);
    setRootIndex({});
    if (!doc) return 0;
    InsertColumns();
    m_proxy->invalidate();
    for (std::size_t i = 0; i < m_widths.size(); ++i) setColumnWidth(static_cast<int>(i), m_widths[i]);
    CreateImageLists();
    return 1;
}

CFDFSDoc* CVFDLListCtrl::GetDoc() const { return m_model ? m_model->Doc() : nullptr; }

void CVFDLListCtrl::BrowseFolder(const std::string& path, int flag) {
    clearSelection();
    m_shown = QPersistentModelIndex();
    m_hiddenIds.clear();
    m_nFlag = flag;
    CFDFSDoc* doc = GetDoc();
    CVFDLNode* folder = doc ? doc->GetNodeByFtpPos(path) : nullptr;
    if (folder && folder->m_nType == CVFDLNode::kFolder) m_shown = m_model->IndexOf(folder);
    m_proxy->invalidate();
    setRootIndex(m_shown.isValid() ? m_proxy->mapFromSource(m_shown) : QModelIndex());
    scrollToTop();
}

CVFDLNode* CVFDLListCtrl::GetShownFolder() const {
    return m_model ? m_model->Node(m_shown) : nullptr;
}

void CVFDLListCtrl::ShowUpRow(bool show) {
    if (m_bUpRow == show) return;
    m_bUpRow = show;
    m_proxy->invalidate();
}

int CVFDLListCtrl::GetItemCount() const {
    return m_shown.isValid() ? m_proxy->rowCount(rootIndex()) : 0;
}

QModelIndex CVFDLListCtrl::RowIndex(int row) const {
    return m_shown.isValid() ? m_proxy->index(row, 0, rootIndex()) : QModelIndex();
}

CVFDLNode* CVFDLListCtrl::GetItemNode(const QModelIndex& index) const {
    if (!m_model) return nullptr;
    if (index.model() == m_proxy) return m_model->Node(m_proxy->mapToSource(index));
    return m_model->Node(index);
}

bool CVFDLListCtrl::IsUpRow(const QModelIndex& index) const {
    return m_model && index.model() == m_proxy && m_model->UpRowFolder(m_proxy->mapToSource(index));
}

CVFDLNode* CVFDLListCtrl::GetRowNode(int row) const { return GetItemNode(RowIndex(row)); }

int CVFDLListCtrl::FindRow(const CVFDLNode* node) const {
    if (!m_model || !node) return -1;
    const QModelIndex index = m_proxy->mapFromSource(m_model->IndexOf(node));
    return index.isValid() && index.parent() == rootIndex() ? index.row() : -1;
}

QString CVFDLListCtrl::ColumnTitle(int column) const {
    return column >= 0 && column < GetColumnCount() ? m_titles[static_cast<std::size_t>(column)]
                                                    : QString();
}

void CVFDLListCtrl::SetColumnTitle(int column, const QString& title) {
    if (column < 0 || column >= GetColumnCount()) return;
    m_titles[static_cast<std::size_t>(column)] = title;
    emit m_proxy->headerDataChanged(Qt::Horizontal, column, column);
}

std::string CVFDLListCtrl::GetColumnText(int column) const { return FromQString(ColumnTitle(column)); }

void CVFDLListCtrl::SetColumnText(int column, const std::string& text) {
    SetColumnTitle(column, ToQString(text));
}

void CVFDLListCtrl::AddColumn(const QString& title, Qt::Alignment alignment, int width) {
    m_titles.push_back(title);
    m_alignments.push_back(alignment);
    m_widths.push_back(width);
}

void CVFDLListCtrl::SortItems(const std::function<int(CVFDLNode*, CVFDLNode*)>& compare) {
    m_compare = compare;
    m_proxy->invalidate();
}

QString CVFDLListCtrl::RowText(const QModelIndex& index, int column) {
    if (IsUpRow(index)) return column == 0 ? QStringLiteral("..") : QString();
    DispInfo info{index, column, true, {}};
    OnGetDispInfo(info);
    return ToQString(info.text);
}

QString CVFDLListCtrl::RowToolTip(const QModelIndex& index, int column) {
    CVFDLNode* node = GetItemNode(index);
    return node ? OnGetToolTip(node, column) : QString();
}

QString CVFDLListCtrl::OnGetToolTip(CVFDLNode*, int) { return {}; }

QIcon CVFDLListCtrl::RowIcon(const QModelIndex& index) {
    if (!m_bImages) return {};
    if (IsUpRow(index)) return style()->standardIcon(QStyle::SP_FileDialogToParent);
    CVFDLNode* node = GetItemNode(index);
    return node ? ShellIcons::Icon(GetImageIndex(node)) : QIcon();
}

void CVFDLListCtrl::InsertColumns() {}

void CVFDLListCtrl::CreateImageLists() {}

int CVFDLListCtrl::GetImageIndex(CVFDLNode*) { return 0; }

void CVFDLListCtrl::OnGetDispInfo(DispInfo& info) {
    CVFDLNode* node = GetItemNode(info.index);
    if (node && info.column == 0) info.text = node->Name();
}

void CVFDLListCtrl::OnColumnClick(int) {}

void CVFDLListCtrl::DeleteRowLater(const QModelIndex& index) {
    if (CVFDLNode* node = GetItemNode(index)) m_hiddenIds.push_back(node->m_strID);
    // One refilter after the current event takes out every such row,
    // however many asked for it while being painted.
    if (m_bSweepPending) return;
    m_bSweepPending = true;
    QPointer<CVFDLListCtrl> self(this);
    QTimer::singleShot(0, this, [self] {
        if (!self) return;
        self->m_bSweepPending = false;
        self->m_proxy->invalidate();
    });
}

}  // namespace velkor
