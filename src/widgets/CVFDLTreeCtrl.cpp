#include "widgets/CVFDLTreeCtrl.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QSet>
#include <QStyledItemDelegate>
#include <QTreeWidgetItemIterator>

#include "widgets/QtText.h"
#include "widgets/ShellIcons.h"

namespace velkor {

namespace {

constexpr int kNodeIdRole = Qt::UserRole;  // the node's ID, as bytes
constexpr int kExpandedRole = Qt::UserRole + 1;

QByteArray IdBytes(const std::string& id) {
    return QByteArray(id.data(), static_cast<qsizetype>(id.size()));
}

// Hands the edited text to the control, which may refuse it.
class LabelEditDelegate : public QStyledItemDelegate {
public:
    explicit LabelEditDelegate(CVFDLTreeCtrl* tree) : QStyledItemDelegate(tree), m_tree(tree) {}
    void setModelData(QWidget* editor, QAbstractItemModel*, const QModelIndex& index) const override {
        auto* edit = qobject_cast<QLineEdit*>(editor);
        QTreeWidgetItem* item = m_tree->itemFromIndex(index);
        if (edit && item) m_tree->EndLabelEdit(item, edit->text());
    }

private:
    CVFDLTreeCtrl* m_tree;
};

}  // namespace

CVFDLTreeCtrl::CVFDLTreeCtrl(QWidget* parent) : QTreeWidget(parent) {
    setHeaderHidden(true);
    setColumnCount(1);
    setRootIsDecorated(true);
    setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    setItemDelegate(new LabelEditDelegate(this));
    connect(this, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* item) {
        if (!HasBeenExpanded(item)) OnItemExpanding(item);
    });
    connect(this, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        if (item && m_onSelChanged) m_onSelChanged(item);
    });
}

CVFDLTreeCtrl::~CVFDLTreeCtrl() = default;

int CVFDLTreeCtrl::InitVFDLTreeCtrl(CFDFSDoc* doc, CVFDLNode* start) {
    clear();
    m_pDoc = doc;
    if (!doc) return 0;
    CreateImageLists();
    CVFDLNode* node = start ? start : doc->GetRootNode();
    if (node) FillTreeView(nullptr, node);
    return 1;
}

CVFDLNode* CVFDLTreeCtrl::GetItemNode(const QTreeWidgetItem* item) const {
    if (!item || !m_pDoc) return nullptr;
    const QByteArray id = item->data(0, kNodeIdRole).toByteArray();
    return m_pDoc->GetNodeById(std::string(id.constData(), static_cast<std::size_t>(id.size())));
}

QTreeWidgetItem* CVFDLTreeCtrl::FindItem(const CVFDLNode* node) const {
    if (!node) return nullptr;
    const QByteArray id = IdBytes(node->m_strID);
    for (QTreeWidgetItemIterator it(const_cast<CVFDLTreeCtrl*>(this)); *it; ++it)
        if ((*it)->data(0, kNodeIdRole).toByteArray() == id) return *it;
    return nullptr;
}

void CVFDLTreeCtrl::FillTreeView(QTreeWidgetItem* parent, CVFDLNode* node) {
    if (!node) return;
    // The items already there, by node ID, looked up once each.
    QSet<QByteArray> present;
    const int count = parent ? parent->childCount() : topLevelItemCount();
    for (int i = 0; i < count; ++i)
        present.insert((parent ? parent->child(i) : topLevelItem(i))->data(0, kNodeIdRole).toByteArray());
    for (const auto& child : node->m_children)
        if (child->m_nType == CVFDLNode::kFolder && !present.contains(IdBytes(child->m_strID)))
            AddTreeItem(parent, child.get());
}

QTreeWidgetItem* CVFDLTreeCtrl::AddTreeItem(QTreeWidgetItem* parent, CVFDLNode* node) {
    if (!node) return nullptr;
    auto* item = new QTreeWidgetItem(QStringList{ToQString(node->Name())});
    item->setData(0, kNodeIdRole, IdBytes(node->m_strID));
    item->setFlags(item->flags() | Qt::ItemIsEditable);
    item->setChildIndicatorPolicy(IsHasChild(node) ? QTreeWidgetItem::ShowIndicator
                                                   : QTreeWidgetItem::DontShowIndicatorWhenChildless);
    if (m_bImages) item->setIcon(0, ShellIcons::Icon(GetImageIndex(node)));
    if (parent) parent->addChild(item);
    else addTopLevelItem(item);
    return item;
}

bool CVFDLTreeCtrl::DelTreeItem(QTreeWidgetItem* item) {
    if (!item) return false;
    delete item;
    return true;
}

bool CVFDLTreeCtrl::HasBeenExpanded(const QTreeWidgetItem* item) const {
    return item && item->data(0, kExpandedRole).toBool();
}

void CVFDLTreeCtrl::MarkExpanded(QTreeWidgetItem* item) {
    if (item) item->setData(0, kExpandedRole, true);
}

bool CVFDLTreeCtrl::EndLabelEdit(QTreeWidgetItem* item, const QString& text) {
    if (m_onEndLabelEdit && !m_onEndLabelEdit(item, text)) return false;
    item->setText(0, text);
    return true;
}

void CVFDLTreeCtrl::CreateImageLists() {}

int CVFDLTreeCtrl::GetImageIndex(CVFDLNode*) { return 0; }

bool CVFDLTreeCtrl::IsHasChild(CVFDLNode* node) { return node && !node->m_children.empty(); }

void CVFDLTreeCtrl::OnItemExpanding(QTreeWidgetItem* item) {
    MarkExpanded(item);
    FillTreeView(item, GetItemNode(item));
}

void CVFDLTreeCtrl::keyPressEvent(QKeyEvent* event) {
    if (m_onKeyDown && state() != QAbstractItemView::EditingState) m_onKeyDown(event->key());
    QTreeWidget::keyPressEvent(event);
}

}  // namespace velkor
