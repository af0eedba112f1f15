#include "platform/markup/CFDFSDoc.h"

#include <algorithm>

namespace velkor {

namespace {

std::string ToBackslashes(std::string path) {
    std::replace(path.begin(), path.end(), '/', '\\');
    while (path.size() > 1 && path.back() == '\\') path.pop_back();
    return path;
}

int Depth(const CVFDLNode* node) {
    int depth = 0;
    for (; node && node->m_pParent; node = node->m_pParent) ++depth;
    return depth;
}

}  // namespace

CFDFSDoc::~CFDFSDoc() {
    Tell([](CFDFSDocObserver& o) { o.OnBeginReset(true); });
    std::vector<std::unique_ptr<CVFDLNode>> all;
    all.push_back(std::move(m_tree.m_pRoot));
    Release(std::move(all));
    Tell([](CFDFSDocObserver& o) { o.OnEndReset(); });
}

void CFDFSDoc::Release(std::vector<std::unique_ptr<CVFDLNode>> pending) {
    while (!pending.empty()) {
        std::unique_ptr<CVFDLNode> node = std::move(pending.back());
        pending.pop_back();
        if (!node) continue;
        for (auto& child : node->m_children) pending.push_back(std::move(child));
    }
}

void CFDFSDoc::AddObserver(CFDFSDocObserver* observer) {
    if (observer && std::find(m_observers.begin(), m_observers.end(), observer) == m_observers.end())
        m_observers.push_back(observer);
}

void CFDFSDoc::RemoveObserver(CFDFSDocObserver* observer) {
    m_observers.erase(std::remove(m_observers.begin(), m_observers.end(), observer), m_observers.end());
}

int CFDFSDoc::NewXMLDoc(const std::string& path) {
    Tell([](CFDFSDocObserver& o) { o.OnBeginReset(false); });
    m_strPath = path;
    ReplaceTree(CVFTree());
    Tell([](CFDFSDocObserver& o) { o.OnEndReset(); });
    return SetXml("<?xml version=\"1.0\"?><vfdl></vfdl>");
}

int CFDFSDoc::InitVFDLDoc(const std::string& rootFolder, const std::string& prefix,
                          const std::string& text, int number1, int number2) {
    Tell([](CFDFSDocObserver& o) { o.OnBeginReset(false); });
    ReplaceTree(CVFTree());
    m_tree.m_strPrefix = prefix;
    m_strRootPath = ToBackslashes(rootFolder);
    m_strText = text;
    m_nNumber1 = number1;
    m_nNumber2 = number2;
    auto root = std::make_unique<CVFDLNode>();
    root->m_strID = prefix + std::to_string(m_tree.m_nNextId++);
    root->m_nType = CVFDLNode::kFolder;
    const std::size_t slash = m_strRootPath.rfind('\\');
    root->m_folder.m_strName =
        slash == std::string::npos ? m_strRootPath : m_strRootPath.substr(slash + 1);
    root->m_folder.m_strSource = m_strRootPath;
    root->m_folder.m_fileData.m_bFolder = 1;
    m_tree.m_byId[root->m_strID] = root.get();
    m_tree.m_pRoot = std::move(root);
    Tell([](CFDFSDocObserver& o) { o.OnEndReset(); });
    return 1;
}

void CFDFSDoc::ReplaceTree(CVFTree tree) {
    std::vector<std::unique_ptr<CVFDLNode>> old;
    old.push_back(std::move(m_tree.m_pRoot));
    m_tree = std::move(tree);
    Release(std::move(old));
}

CVFDLNode* CFDFSDoc::GetLastChild(CVFDLNode* node) const {
    if (!node || node->m_children.empty()) return nullptr;
    return node->m_children.back().get();
}

CVFDLNode* CFDFSDoc::GetNodeById(const std::string& id) const {
    const auto it = m_tree.m_byId.find(id);
    return it == m_tree.m_byId.end() ? nullptr : it->second;
}

std::string CFDFSDoc::GetAbsolutePos(const CVFDLNode* node) const {
    if (!node) return {};
    std::vector<const CVFDLNode*> chain;
    for (; node && node->m_pParent; node = node->m_pParent) chain.push_back(node);
    std::string path = m_strRootPath;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        if (path.empty() || path.back() != '\\') path += '\\';
        path += (*it)->Name();
    }
    return path;
}

CVFDLNode* CFDFSDoc::GetNodeByFtpPos(const std::string& path) const {
    CVFDLNode* node = m_tree.m_pRoot.get();
    if (!node) return nullptr;
    const std::string wanted = ToBackslashes(path);
    if (wanted.compare(0, m_strRootPath.size(), m_strRootPath) != 0) return nullptr;
    std::size_t pos = m_strRootPath.size();
    while (pos < wanted.size()) {
        if (wanted[pos] == '\\') {
            ++pos;
            continue;
        }
        const std::size_t end = std::min(wanted.find('\\', pos), wanted.size());
        const std::string name = wanted.substr(pos, end - pos);
        CVFDLNode* next = nullptr;
        for (const auto& child : node->m_children) {
            if (child->Name() == name) {
                next = child.get();
                break;
            }
        }
        if (!next) return nullptr;
        node = next;
        pos = end;
    }
    return node;
}

CVFDLNode* CFDFSDoc::AddableParent(const std::string& parentId) const {
    CVFDLNode* parent = GetNodeById(parentId);
    return parent && parent->m_nType == CVFDLNode::kFolder && Depth(parent) < kMaxDepth ? parent
                                                                                         : nullptr;
}

void CFDFSDoc::Append(CVFDLNode* parent, std::unique_ptr<CVFDLNode> node) {
    node->m_strID = m_tree.m_strPrefix + std::to_string(m_tree.m_nNextId++);
    node->m_pParent = parent;
    node->m_nRow = parent->m_children.size();
    m_tree.m_byId[node->m_strID] = node.get();
    parent->m_children.push_back(std::move(node));
}

std::string CFDFSDoc::AddNode(const std::string& parentId, std::unique_ptr<CVFDLNode> node) {
    CVFDLNode* parent = AddableParent(parentId);
    if (!parent) return {};
    Tell([&](CFDFSDocObserver& o) { o.OnBeginAdd(parent, parent->m_children.size(), 1); });
    Append(parent, std::move(node));
    Tell([](CFDFSDocObserver& o) { o.OnEndAdd(); });
    return parent->m_children.back()->m_strID;
}

std::size_t CFDFSDoc::AddNodes(const std::string& parentId, std::vector<CVFDLNode> nodes) {
    CVFDLNode* parent = AddableParent(parentId);
    if (!parent || nodes.empty()) return 0;
    Tell([&](CFDFSDocObserver& o) { o.OnBeginAdd(parent, parent->m_children.size(), nodes.size()); });
    parent->m_children.reserve(parent->m_children.size() + nodes.size());
    for (CVFDLNode& node : nodes) {
        node.m_children.clear();
        Append(parent, std::make_unique<CVFDLNode>(std::move(node)));
    }
    Tell([](CFDFSDocObserver& o) { o.OnEndAdd(); });
    return nodes.size();
}

std::string CFDFSDoc::AddFolder(const std::string& parentId, const CFDFSFolder& folder) {
    auto node = std::make_unique<CVFDLNode>();
    node->m_nType = CVFDLNode::kFolder;
    node->m_folder = folder;
    return AddNode(parentId, std::move(node));
}

std::string CFDFSDoc::AddRec(const std::string& parentId, const CFDFSRec& rec) {
    auto node = std::make_unique<CVFDLNode>();
    node->m_nType = CVFDLNode::kRecord;
    node->m_rec = rec;
    return AddNode(parentId, std::move(node));
}

bool CFDFSDoc::UpdateFolder(const std::string& id, const CFDFSFolder& folder) {
    CVFDLNode* node = GetNodeById(id);
    if (!node || node->m_nType != CVFDLNode::kFolder) return false;
    node->m_folder = folder;
    Tell([node](CFDFSDocObserver& o) { o.OnChanged(node); });
    return true;
}

bool CFDFSDoc::UpdateRec(const std::string& id, const CFDFSRec& rec) {
    CVFDLNode* node = GetNodeById(id);
    if (!node || node->m_nType != CVFDLNode::kRecord) return false;
    node->m_rec = rec;
    Tell([node](CFDFSDocObserver& o) { o.OnChanged(node); });
    return true;
}

void CFDFSDoc::Unlink(CVFTree& tree, CVFDLNode* node) {
    // Forget the IDs of the whole subtree, iteratively.
    std::vector<CVFDLNode*> pending{node};
    while (!pending.empty()) {
        CVFDLNode* n = pending.back();
        pending.pop_back();
        tree.m_byId.erase(n->m_strID);
        for (auto& child : n->m_children) pending.push_back(child.get());
    }
}

bool CFDFSDoc::DelNode(const std::string& id, int type) {
    CVFDLNode* node = GetNodeById(id);
    if (!node || node->m_nType != type || !node->m_pParent) return false;
    CVFDLNode* parent = node->m_pParent;
    const std::size_t row = node->m_nRow;
    Tell([&](CFDFSDocObserver& o) { o.OnBeginRemove(parent, row, 1); });
    Unlink(m_tree, node);
    auto& siblings = parent->m_children;
    std::vector<std::unique_ptr<CVFDLNode>> removed;
    removed.push_back(std::move(siblings[row]));
    siblings.erase(siblings.begin() + static_cast<std::ptrdiff_t>(row));
    for (std::size_t i = row; i < siblings.size(); ++i) siblings[i]->m_nRow = i;
    Release(std::move(removed));
    Tell([](CFDFSDocObserver& o) { o.OnEndRemove(); });
    return true;
}

bool CFDFSDoc::DelChildren(const std::string& id) {
    CVFDLNode* node = GetNodeById(id);
    if (!node || node->m_nType != CVFDLNode::kFolder) return false;
    if (node->m_children.empty()) return true;
    Tell([&](CFDFSDocObserver& o) { o.OnBeginRemove(node, 0, node->m_children.size()); });
    for (const auto& child : node->m_children) Unlink(m_tree, child.get());
    Release(std::move(node->m_children));
    node->m_children.clear();
    Tell([](CFDFSDocObserver& o) { o.OnEndRemove(); });
    return true;
}

bool CFDFSDoc::DelFolder(const std::string& id) { return DelNode(id, CVFDLNode::kFolder); }
bool CFDFSDoc::DelRec(const std::string& id) { return DelNode(id, CVFDLNode::kRecord); }

void CFDFSDoc::SetExpandStatus(CVFDLNode* node, int flag) {
    if (!node) return;
    node->FileData().m_nExpandStatus = flag;
    Tell([node](CFDFSDocObserver& o) { o.OnChanged(node); });
}

bool CFDFSDoc::GetExpandStatus(CVFDLNode* node, int& flag) const {
    if (!node) return false;
    flag = node->FileData().m_nExpandStatus;
    return true;
}

}  // namespace velkor
