// CFDFSDoc: a folder tree of a remote site, with nodes for folders and file
// records, addressed by ID text or by remote path ("\" separated).
//
// The root is the start folder given to InitVFDLDoc; a child's path is its
// parent's path, "\" and its name. The tree holds at most kMaxDepth levels
// below the root, so that no operation (nor the destruction of the tree)
// goes deeper than that.
//
// Views of the tree register a CFDFSDocObserver and are told before and
// after every change, so that they never read a node that has gone.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "CXMLDoc.h"

namespace velkor {

struct CFDFSFileData {
    std::uint32_t m_nSize = 0;        // 0 when the size needs more than 32 bits
    std::uint64_t m_nSize64 = 0;      // the same, never cut
    int m_nExpandStatus = 0;  // 1 once the folder's children are loaded
    int m_bFolder = 0;        // folder mark
    std::int64_t m_tModified = -1;  // seconds since 1970 UTC as listed; -1 unknown
    std::string m_strPermissions;   // the listing's mode string ("rwxr-xr-x"), or empty
};

class CFDFSFolder {
public:
    std::string m_strName;
    std::string m_strSource;
    CFDFSFileData m_fileData;
};

class CFDFSRec {
public:
    std::string m_strName;
    std::string m_strSource;
    CFDFSFileData m_fileData;
};

class CVFDLNode {
public:
    static constexpr int kFolder = 1;
    static constexpr int kRecord = 3;

    std::string m_strID;
    int m_nType = kFolder;
    CFDFSFolder m_folder;  // when a folder
    CFDFSRec m_rec;        // when a file record
    CVFDLNode* m_pParent = nullptr;
    std::vector<std::unique_ptr<CVFDLNode>> m_children;
    std::size_t m_nRow = 0;  // its place among its parent's children

    const std::string& Name() const { return m_nType == kFolder ? m_folder.m_strName : m_rec.m_strName; }
    CFDFSFileData& FileData() { return m_nType == kFolder ? m_folder.m_fileData : m_rec.m_fileData; }
};

// The nodes of a tree, by ID.
class CVFTree {
public:
    std::unique_ptr<CVFDLNode> m_pRoot;
    std::map<std::string, CVFDLNode*> m_byId;
    std::string m_strPrefix;
    long m_nNextId = 0;
};

// What a view of a CFDFSDoc is told. Children are added at the end of a
// folder and removed as one run; "Begin" comes while the tree is still as it
// was, "End" once it has changed.
class CFDFSDocObserver {
public:
    virtual ~CFDFSDocObserver() = default;
    virtual void OnBeginAdd(CVFDLNode* parent, std::size_t first, std::size_t count) = 0;
    virtual void OnEndAdd() = 0;
    virtual void OnBeginRemove(CVFDLNode* parent, std::size_t first, std::size_t count) = 0;
    virtual void OnEndRemove() = 0;
    // A node's name or data changed.
    virtual void OnChanged(CVFDLNode* node) = 0;
    // The whole tree is replaced (a new root) or, with `gone`, the document
    // ends: it must not be read after OnBeginReset(true).
    virtual void OnBeginReset(bool gone) = 0;
    virtual void OnEndReset() = 0;
};

class CFDFSDoc : public CXMLDoc {
public:
    // How many levels below the root the tree may hold.
    static constexpr int kMaxDepth = 256;

    CFDFSDoc() = default;
    ~CFDFSDoc() override;

    // An empty path makes an empty in-memory tree.
    int NewXMLDoc(const std::string& path) override;
    // Sets up the tree with its root folder; IDs are `prefix` plus a number.
    // The text and the two numbers are kept for the caller's use. 1.
    int InitVFDLDoc(const std::string& rootFolder, const std::string& prefix,
                    const std::string& text, int number1, int number2);

    CVFDLNode* GetRootNode() const { return m_tree.m_pRoot.get(); }
    CVFDLNode* GetLastChild(CVFDLNode* node) const;
    CVFDLNode* GetNodeById(const std::string& id) const;
    // The node of a remote path ("\" or "/" separated), or null.
    CVFDLNode* GetNodeByFtpPos(const std::string& path) const;
    // The remote path of a node ("\" separated).
    std::string GetAbsolutePos(const CVFDLNode* node) const;

    // Add a child under the parent's ID; its new ID, or "" when the parent
    // is missing, not a folder, or the tree would grow too deep.
    std::string AddFolder(const std::string& parentId, const CFDFSFolder& folder);
    std::string AddRec(const std::string& parentId, const CFDFSRec& rec);
    // Adds folders and records (by m_nType, with m_folder or m_rec set) under
    // the parent in one change; how many were added (0 as AddFolder fails).
    std::size_t AddNodes(const std::string& parentId, std::vector<CVFDLNode> nodes);
    bool UpdateFolder(const std::string& id, const CFDFSFolder& folder);
    bool UpdateRec(const std::string& id, const CFDFSRec& rec);
    // Remove a node with its subtree (never the root).
    bool DelFolder(const std::string& id);
    bool DelRec(const std::string& id);
    // Removes every child of a folder in one change.
    bool DelChildren(const std::string& id);

    void SetExpandStatus(CVFDLNode* node, int flag);
    bool GetExpandStatus(CVFDLNode* node, int& flag) const;

    // Observers are not owned; one must be removed before it goes.
    void AddObserver(CFDFSDocObserver* observer);
    void RemoveObserver(CFDFSDocObserver* observer);

private:
    // A copy of the list is walked: an observer may remove itself.
    template <typename Event>
    void Tell(Event event) {
        if (m_observers.empty()) return;
        const std::vector<CFDFSDocObserver*> observers = m_observers;
        for (CFDFSDocObserver* observer : observers) event(*observer);
    }
    // Releases subtrees leaf first, so a deep tree needs no deep recursion.
    static void Release(std::vector<std::unique_ptr<CVFDLNode>> pending);

    std::string AddNode(const std::string& parentId, std::unique_ptr<CVFDLNode> node);
    CVFDLNode* AddableParent(const std::string& parentId) const;
    void Append(CVFDLNode* parent, std::unique_ptr<CVFDLNode> node);
    void ReplaceTree(CVFTree tree);
    bool DelNode(const std::string& id, int type);
    static void Unlink(CVFTree& tree, CVFDLNode* node);

    CVFTree m_tree;
    std::string m_strRootPath;
    std::string m_strText;
    int m_nNumber1 = -1, m_nNumber2 = -1;
    std::vector<CFDFSDocObserver*> m_observers;
};

}  // namespace velkor
