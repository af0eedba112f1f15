#include "widgets/CVFDLTreeCtrl.h"

#include <QKeyEvent>
#include <QSortFilterProxyModel>

#include "widgets/CVFDLModel.h"
#include "widgets/QtText.h"
#include "widgets/ShellIcons.h"

namespace velkor {

namespace {

QByteArray IdBytes(const std::string& id) {
    return QByteArray(id.data(), static_cast<qsizetype>(id.size()));
}

}  // namespace

namespace detail {

// The tree's window on the model: folders only, with the tree's labels and
// icons; an edit goes to the tree, which may refuse it.
class TreeProxy : public QSortFilterProxyModel {
public:
    explicit TreeProxy(CVFDLTreeCtrl* tree) : QSortFilterProxyModel(tree), m_tree(tree) {
        setDynamicSortFilter(true);
    }
    CVFDLModel* Source() const { return static_cast<CVFDLModel*>(sourceModel()); }

    bool filterAcceptsRow(int row, const QModelIndex& parent) const override {
        const CVFDLNode* node = Source()->Node(Source()->index(row, 0, parent));
        return node && node->m_nType == CVFDLNode::kFolder;
    }
    bool filterAcceptsColumn(int column, const QModelIndex&) const override { return column == 0; }
    bool lessThan(const QModelIndex& a, const QModelIndex& b) const override {
        const CVFDLNode* na = Source()->Node(a);
        const CVFDLNode* nb = Source()->Node(b);
        const int order = na && nb ? m_tree->CompareItems(na, nb) : 0;
        return order != 0 ? order < 0 : a.row() < b.row();
    }
    bool hasChildren(const QModelIndex& parent) const override {
        CVFDLNode* node = Source() ? Source()->Node(mapToSource(parent)) : nullptr;
        if (node && node->m_folder.m_fileData.m_nExpandStatus == 0) return m_tree->IsHasChild(node);
        return QSortFilterProxyModel::hasChildren(parent);
    }
    QVariant data(const QModelIndex& index, int role) const override {
        CVFDLNode* node = Source() ? Source()->Node(mapToSource(index)) : nullptr;
        if (!node) return {};
        switch (role) {
            case Qt::DisplayRole:
            case Qt::EditRole:
                if (!m_tree->m_startLabel.isEmpty() && node->m_strID == m_tree->m_strStartId)
                    return m_tree->m_startLabel;
                return ToQString(node->Name());
            case Qt::DecorationRole:
                return m_tree->m_bImages ? QVariant(ShellIcons::Icon(m_tree->GetImageIndex(node)))
                                         : QVariant();
            default: return QSortFilterProxyModel::data(index, role);
        }
    }
    Qt::ItemFlags flags(const QModelIndex& index) const override {
        return QSortFilterProxyModel::flags(index) | Qt::ItemIsEditable;
    }
    bool setData(const QModelIndex& index, const QVariant& value, int role) override {
        return role == Qt::EditRole && m_tree->EndLabelEdit(index, value.toString());
    }

private:
    CVFDLTreeCtrl* m_tree;
};

}  // namespace detail

CVFDLTreeCtrl::CVFDLTreeCtrl(QWidget* parent) : QTreeView(parent), m_proxy(new detail::TreeProxy(this)) {
    setHeaderHidden(true);
    setRootIsDecorated(true);
    setUniformRowHeights(true);
    setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    m_proxy->sort(0);
    setModel(m_proxy);
    connect(this, &QTreeView::expanded, this, [this](const QModelIndex& index) {
        if (!HasBeenExpanded(index)) OnItemExpanding(index);
    });
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& index) {
                if (index.isValid() && m_onSelChanged) m_onSelChanged(index);
            });
}

CVFDLTreeCtrl::~CVFDLTreeCtrl() {
    // The view lets go of the model before the model may go.
    setModel(nullptr);
    m_proxy->setSourceModel(nullptr);
}

int CVFDLTreeCtrl::InitVFDLTreeCtrl(CFDFSDoc* doc, CVFDLNode* start) {
    m_expandedIds.clear();
    m_startLabel.clear();
    m_strStartId.clear();
    std::shared_ptr<CVFDLModel> model = CVFDLModel::Of(doc);
    m_proxy->setSourceModel(model.get());
    m_model = std::move(model);
    setRootIndex({});
    if (!doc) return 0;
    CreateImageLists();
    CVFDLNode* node = start ? start : doc->GetRootNode();
    if (!node) return 1;
    m_strStartId = node->m_strID;
    const QModelIndex top = m_proxy->mapFromSource(m_model->IndexOf(node));
    setRootIndex(top);
    // The start folder's folders are shown: it counts as opened.
    MarkExpanded(top);
    return 1;
}

void CVFDLTreeCtrl::ShowStartItem(const QString& label) {
    CFDFSDoc* doc = GetDoc();
    CVFDLNode* start = doc ? doc->GetNodeById(m_strStartId) : nullptr;
    if (!start) return;
    m_startLabel = label;
    const QModelIndex top = m_proxy->mapFromSource(m_model->IndexOf(start));
    setRootIndex(top.parent());
    expand(top);
}

CFDFSDoc* CVFDLTreeCtrl::GetDoc() const { return m_model ? m_model->Doc() : nullptr; }

CVFDLNode* CVFDLTreeCtrl::GetItemNode(const QModelIndex& index) const {
    if (!m_model) return nullptr;
    if (index.model() == m_proxy) return m_model->Node(m_proxy->mapToSource(index));
    return m_model->Node(index);
}

QModelIndex CVFDLTreeCtrl::FindItem(const CVFDLNode* node) const {
    if (!m_model || !node || node->m_nType != CVFDLNode::kFolder) return {};
    const QModelIndex index = m_proxy->mapFromSource(m_model->IndexOf(node));
    // Only items below the tree's root index are the tree's.
    if (rootIndex().isValid()) {
        QModelIndex up = index.parent();
        while (up.isValid() && up != rootIndex()) up = up.parent();
        if (up != rootIndex()) return {};
    }
    return index;
}

QModelIndex CVFDLTreeCtrl::RevealItem(const CVFDLNode* node) {
    const QModelIndex index = FindItem(node);
    for (QModelIndex up = index.parent(); up.isValid() && up != rootIndex(); up = up.parent())
        expand(up);
    return index;
}

bool CVFDLTreeCtrl::HasBeenExpanded(const QModelIndex& index) const {
    const CVFDLNode* node = GetItemNode(index);
    return node && m_expandedIds.contains(IdBytes(node->m_strID));
}

void CVFDLTreeCtrl::MarkExpanded(const QModelIndex& index) {
    if (const CVFDLNode* node = GetItemNode(index)) m_expandedIds.insert(IdBytes(node->m_strID));
}

bool CVFDLTreeCtrl::EndLabelEdit(const QModelIndex& index, const QString& text) {
    return !m_onEndLabelEdit || m_onEndLabelEdit(index, text);
}

void CVFDLTreeCtrl::CreateImageLists() {}

int CVFDLTreeCtrl::GetImageIndex(CVFDLNode*) { return 0; }

int CVFDLTreeCtrl::CompareItems(const CVFDLNode*, const CVFDLNode*) { return 0; }

bool CVFDLTreeCtrl::IsHasChild(CVFDLNode* node) { return node && !node->m_children.empty(); }

void CVFDLTreeCtrl::OnItemExpanding(const QModelIndex& index) { MarkExpanded(index); }

void CVFDLTreeCtrl::keyPressEvent(QKeyEvent* event) {
    if (m_onKeyDown && state() != QAbstractItemView::EditingState) m_onKeyDown(event->key());
    QTreeView::keyPressEvent(event);
}

}  // namespace velkor
