#include "widgets/CVFDLListCtrl.h"

#include <QHeaderView>
#include <QPointer>
#include <QTimer>
#include <algorithm>

#include "widgets/QtText.h"
#include "widgets/ShellIcons.h"

namespace velkor {

namespace {

// A row: its node's ID, and texts and an icon asked of the control on
// every request.
class ListRow : public QTreeWidgetItem {
public:
    explicit ListRow(const std::string& nodeId) : m_nodeId(nodeId) {
        setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    }
    const std::string m_nodeId;
    QVariant data(int column, int role) const override {
        auto* list = qobject_cast<CVFDLListCtrl*>(treeWidget());
        auto* self = const_cast<ListRow*>(this);
        if (list && role == Qt::DisplayRole) return list->RowText(self, column);
        if (list && role == Qt::DecorationRole && column == 0) return list->RowIcon(self);
        if (list && role == Qt::ToolTipRole) return list->RowToolTip(self, column);
        if (list && role == Qt::TextAlignmentRole) {
            if (QTreeWidgetItem* header = list->headerItem())
                return header->data(column, Qt::TextAlignmentRole);
        }
        return QTreeWidgetItem::data(column, role);
    }
};

}  // namespace

CVFDLListCtrl::CVFDLListCtrl(QWidget* parent) : QTreeWidget(parent) {
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSortingEnabled(false);
    header()->setSectionsClickable(true);
    header()->setSortIndicatorShown(false);
    connect(header(), &QHeaderView::sectionClicked, this, [this](int column) { OnColumnClick(column); });
}

CVFDLListCtrl::~CVFDLListCtrl() = default;

int CVFDLListCtrl::InitFileListCtrl(CFDFSDoc* doc) {
    clear();
    m_pDoc = doc;
    m_strShownId.clear();
    if (!doc) return 0;
    InsertColumns();
    CreateImageLists();
    return 1;
}

void CVFDLListCtrl::BrowseFolder(const std::string& path, int flag) {
    clear();
    m_strShownId.clear();
    CVFDLNode* folder = m_pDoc ? m_pDoc->GetNodeByFtpPos(path) : nullptr;
    if (!folder || folder->m_nType != CVFDLNode::kFolder) return;
    m_strShownId = folder->m_strID;
    QList<QTreeWidgetItem*> rows;
    rows.reserve(static_cast<qsizetype>(folder->m_children.size()));
    for (const auto& child : folder->m_children) {
        if (flag == kFilesOnly && child->m_nType == CVFDLNode::kFolder) continue;
        rows.append(new ListRow(child->m_strID));
    }
    addTopLevelItems(rows);
}

CVFDLNode* CVFDLListCtrl::GetShownFolder() const {
    return m_pDoc && !m_strShownId.empty() ? m_pDoc->GetNodeById(m_strShownId) : nullptr;
}

CVFDLNode* CVFDLListCtrl::GetItemNode(const QTreeWidgetItem* item) const {
    const auto* row = dynamic_cast<const ListRow*>(item);
    return row && m_pDoc ? m_pDoc->GetNodeById(row->m_nodeId) : nullptr;
}

CVFDLNode* CVFDLListCtrl::GetRowNode(int row) const { return GetItemNode(topLevelItem(row)); }

std::string CVFDLListCtrl::GetColumnText(int column) const {
    const QTreeWidgetItem* header = headerItem();
    return header && column >= 0 && column < columnCount() ? FromQString(header->text(column))
                                                          : std::string();
}

void CVFDLListCtrl::SetColumnText(int column, const std::string& text) {
    if (QTreeWidgetItem* header = headerItem(); header && column >= 0 && column < columnCount())
        header->setText(column, ToQString(text));
}

void CVFDLListCtrl::SortItems(const std::function<int(CVFDLNode*, CVFDLNode*)>& compare) {
    struct Row {
        QTreeWidgetItem* item;
        CVFDLNode* node;
    };
    std::vector<Row> rows;
    rows.reserve(static_cast<std::size_t>(topLevelItemCount()));
    const QList<QTreeWidgetItem*> selected = selectedItems();
    QTreeWidgetItem* current = currentItem();
    while (topLevelItemCount() > 0) {
        QTreeWidgetItem* item = takeTopLevelItem(0);
        rows.push_back({item, GetItemNode(item)});
    }
    std::stable_sort(rows.begin(), rows.end(),
                     [&](const Row& a, const Row& b) { return compare(a.node, b.node) < 0; });
    QList<QTreeWidgetItem*> items;
    items.reserve(static_cast<qsizetype>(rows.size()));
    for (const Row& row : rows) items.append(row.item);
    addTopLevelItems(items);
    for (QTreeWidgetItem* item : selected) item->setSelected(true);
    if (current) setCurrentItem(current, 0, QItemSelectionModel::NoUpdate);
}

QString CVFDLListCtrl::RowText(QTreeWidgetItem* item, int column) {
    DispInfo info{item, column, true, {}};
    OnGetDispInfo(info);
    return ToQString(info.text);
}

QString CVFDLListCtrl::RowToolTip(QTreeWidgetItem* item, int column) {
    CVFDLNode* node = GetItemNode(item);
    return node ? OnGetToolTip(node, column) : QString();
}

QString CVFDLListCtrl::OnGetToolTip(CVFDLNode*, int) { return {}; }

QIcon CVFDLListCtrl::RowIcon(QTreeWidgetItem* item) {
    CVFDLNode* node = m_bImages ? GetItemNode(item) : nullptr;
    return node ? ShellIcons::Icon(GetImageIndex(node)) : QIcon();
}

void CVFDLListCtrl::InsertColumns() {}

void CVFDLListCtrl::CreateImageLists() {}

int CVFDLListCtrl::GetImageIndex(CVFDLNode*) { return 0; }

void CVFDLListCtrl::OnGetDispInfo(DispInfo& info) {
    CVFDLNode* node = GetItemNode(info.item);
    if (node && info.column == 0) info.text = node->Name();
}

void CVFDLListCtrl::OnColumnClick(int) {}

void CVFDLListCtrl::DeleteRowLater(QTreeWidgetItem*) {
    // One sweep after the current event removes every row whose node has
    // gone, however many rows asked for it while being painted.
    if (m_bSweepPending) return;
    m_bSweepPending = true;
    QPointer<CVFDLListCtrl> self(this);
    QTimer::singleShot(0, this, [self] {
        if (!self) return;
        self->m_bSweepPending = false;
        for (int row = self->topLevelItemCount() - 1; row >= 0; --row)
            if (!self->GetRowNode(row)) delete self->takeTopLevelItem(row);
    });
}

}  // namespace velkor
