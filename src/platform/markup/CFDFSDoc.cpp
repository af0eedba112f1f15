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
    // Children are released leaf first, iteratively, so a deep tree needs no
    // deep recursion.
    if (!m_tree.m_pRoot) return;
    std::vector<std::unique_ptr<CVFDLNode>> pending;
    pending.push_back(std::move(m_tree.m_pRoot));
    while (!pending.empty()) {
        std::unique_ptr<CVFDLNode> node = std::move(pending.back());
        pending.pop_back();
        for (auto& child : node->m_children) pending.push_back(std::move(child));
    }
}

int CFDFSDoc::NewXMLDoc(const std::string& path) {
    m_strPath = path;
    m_tree = CVFTree();
    return SetXml("<?xml version=\"1.0\"?><vfdl></vfdl>");
}

int CFDFSDoc::InitVFDLDoc(const std::string& rootFolder, const std::string& prefix,
                          const std::string& text, int number1, int number2) {
    m_tree = CVFTree();
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
    return 1;
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

std::string CFDFSDoc::AddNode(const std::string& parentId, std::unique_ptr<CVFDLNode> node) {
    CVFDLNode* parent = GetNodeById(parentId);
    if (!parent || parent->m_nType != CVFDLNode::kFolder || Depth(parent) >= kMaxDepth) return {};
    node->m_strID = m_tree.m_strPrefix + std::to_string(m_tree.m_nNextId++);
    node->m_pParent = parent;
    m_tree.m_byId[node->m_strID] = node.get();
    parent->m_children.push_back(std::move(node));
    return parent->m_children.back()->m_strID;
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
    return true;
}

bool CFDFSDoc::UpdateRec(const std::string& id, const CFDFSRec& rec) {
    CVFDLNode* node = GetNodeById(id);
    if (!node || node->m_nType != CVFDLNode::kRecord) return false;
    node->m_rec = rec;
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
    Unlink(m_tree, node);
    auto& siblings = node->m_pParent->m_children;
    const auto it = std::find_if(siblings.begin(), siblings.end(),
                                 [node](const auto& c) { return c.get() == node; });
    std::unique_ptr<CVFDLNode> removed = std::move(*it);
    siblings.erase(it);
    // Release the subtree leaf first, as the destructor does.
    std::vector<std::unique_ptr<CVFDLNode>> pending;
    pending.push_back(std::move(removed));
    while (!pending.empty()) {
        std::unique_ptr<CVFDLNode> n = std::move(pending.back());
        pending.pop_back();
        for (auto& child : n->m_children) pending.push_back(std::move(child));
    }
    return true;
}

bool CFDFSDoc::DelFolder(const std::string& id) { return DelNode(id, CVFDLNode::kFolder); }
bool CFDFSDoc::DelRec(const std::string& id) { return DelNode(id, CVFDLNode::kRecord); }

void CFDFSDoc::SetExpandStatus(CVFDLNode* node, int flag) {
    if (node) node->FileData().m_nExpandStatus = flag;
}

bool CFDFSDoc::GetExpandStatus(CVFDLNode* node, int& flag) const {
    if (!node) return false;
    flag = node->FileData().m_nExpandStatus;
    return true;
}

}  // namespace velkor
