#include "widgets/CVFDLModel.h"

#include <map>

#include "widgets/QtText.h"

namespace velkor {

namespace {

constexpr quintptr kUpRowBit = 1;

// The model of each live document; the GUI thread's only.
std::map<const CFDFSDoc*, std::weak_ptr<CVFDLModel>>& Models() {
    static std::map<const CFDFSDoc*, std::weak_ptr<CVFDLModel>> models;
    return models;
}

}  // namespace

std::shared_ptr<CVFDLModel> CVFDLModel::Of(CFDFSDoc* doc) {
    if (!doc) return nullptr;
    std::weak_ptr<CVFDLModel>& slot = Models()[doc];
    if (std::shared_ptr<CVFDLModel> model = slot.lock()) return model;
    std::shared_ptr<CVFDLModel> model(new CVFDLModel(doc));
    slot = model;
    return model;
}

CVFDLModel::CVFDLModel(CFDFSDoc* doc) : m_pDoc(doc) { doc->AddObserver(this); }

CVFDLModel::~CVFDLModel() {
    if (!m_pDoc) return;
    m_pDoc->RemoveObserver(this);
    if (auto it = Models().find(m_pDoc); it != Models().end() && it->second.expired())
        Models().erase(it);
}

CVFDLNode* CVFDLModel::Node(const QModelIndex& index) const {
    if (!index.isValid() || index.model() != this || !m_pDoc || (index.internalId() & kUpRowBit))
        return nullptr;
    return static_cast<CVFDLNode*>(index.internalPointer());
}

CVFDLNode* CVFDLModel::UpRowFolder(const QModelIndex& index) const {
    if (!index.isValid() || index.model() != this || !m_pDoc || !(index.internalId() & kUpRowBit))
        return nullptr;
    return reinterpret_cast<CVFDLNode*>(index.internalId() & ~kUpRowBit);
}

QModelIndex CVFDLModel::UpRowIndex(const CVFDLNode* folder, int column) const {
    return createIndex(0, column, reinterpret_cast<quintptr>(folder) | kUpRowBit);
}

QModelIndex CVFDLModel::IndexOf(const CVFDLNode* node, int column) const {
    if (!node || !m_pDoc) return {};
    const int row = node->m_pParent ? static_cast<int>(node->m_nRow) + 1 : 0;
    return createIndex(row, column, const_cast<CVFDLNode*>(node));
}

bool CVFDLModel::CanLoad(const CVFDLNode* node) const {
    return m_loadFolder && node && node->m_nType == CVFDLNode::kFolder &&
           node->m_folder.m_fileData.m_nExpandStatus == 0;
}

bool CVFDLModel::LoadFolder(CVFDLNode* node) {
    return CanLoad(node) && m_loadFolder(node);
}

QModelIndex CVFDLModel::index(int row, int column, const QModelIndex& parent) const {
    if (!m_pDoc || row < 0 || column < 0 || column >= kColumns) return {};
    if (!parent.isValid()) {
        CVFDLNode* root = m_pDoc->GetRootNode();
        return row == 0 && root ? createIndex(0, column, root) : QModelIndex();
    }
    const CVFDLNode* folder = Node(parent);
    if (!folder || folder->m_nType != CVFDLNode::kFolder || parent.column() != 0) return {};
    if (row == 0) return UpRowIndex(folder, column);
    if (static_cast<std::size_t>(row) > folder->m_children.size()) return {};
    return createIndex(row, column, folder->m_children[static_cast<std::size_t>(row) - 1].get());
}

QModelIndex CVFDLModel::parent(const QModelIndex& child) const {
    if (const CVFDLNode* folder = UpRowFolder(child)) return IndexOf(folder);
    const CVFDLNode* node = Node(child);
    return node ? IndexOf(node->m_pParent) : QModelIndex();
}

int CVFDLModel::rowCount(const QModelIndex& parent) const {
    if (!m_pDoc) return 0;
    if (!parent.isValid()) return m_pDoc->GetRootNode() ? 1 : 0;
    if (parent.column() > 0) return 0;
    const CVFDLNode* node = Node(parent);
    return node && node->m_nType == CVFDLNode::kFolder ? static_cast<int>(node->m_children.size()) + 1
                                                       : 0;
}

int CVFDLModel::columnCount(const QModelIndex&) const { return kColumns; }

bool CVFDLModel::hasChildren(const QModelIndex& parent) const {
    if (!parent.isValid()) return rowCount(parent) > 0;
    const CVFDLNode* node = Node(parent);
    return node && parent.column() == 0 && node->m_nType == CVFDLNode::kFolder;
}

QVariant CVFDLModel::data(const QModelIndex& index, int role) const {
    if (UpRowFolder(index) && index.column() == 0 && role == Qt::DisplayRole)
        return QStringLiteral("..");
    const CVFDLNode* node = Node(index);
    if (!node || index.column() != 0) return {};
    if (role == Qt::DisplayRole || role == Qt::EditRole) return ToQString(node->Name());
    return {};
}

Qt::ItemFlags CVFDLModel::flags(const QModelIndex& index) const {
    if (!Node(index) && !UpRowFolder(index)) return Qt::NoItemFlags;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled;
}

bool CVFDLModel::canFetchMore(const QModelIndex& parent) const { return CanLoad(Node(parent)); }

void CVFDLModel::fetchMore(const QModelIndex& parent) { LoadFolder(Node(parent)); }

void CVFDLModel::OnBeginAdd(CVFDLNode* parent, std::size_t first, std::size_t count) {
    beginInsertRows(IndexOf(parent), static_cast<int>(first) + 1, static_cast<int>(first + count));
}

void CVFDLModel::OnEndAdd() { endInsertRows(); }

void CVFDLModel::OnBeginRemove(CVFDLNode* parent, std::size_t first, std::size_t count) {
    beginRemoveRows(IndexOf(parent), static_cast<int>(first) + 1, static_cast<int>(first + count));
}

void CVFDLModel::OnEndRemove() { endRemoveRows(); }

void CVFDLModel::OnChanged(CVFDLNode* node) {
    const QModelIndex first = IndexOf(node), last = IndexOf(node, kColumns - 1);
    emit dataChanged(first, last);
}

void CVFDLModel::OnBeginReset(bool gone) {
    beginResetModel();
    if (!gone) return;
    // The document ends: the model lets go of it, shows nothing from now on
    // and hears no more of it (its end of reset included).
    m_pDoc->RemoveObserver(this);
    if (auto it = Models().find(m_pDoc); it != Models().end()) Models().erase(it);
    m_pDoc = nullptr;
    m_loadFolder = nullptr;  // it reads the document's holder
    endResetModel();
}

void CVFDLModel::OnEndReset() { endResetModel(); }

}  // namespace velkor
