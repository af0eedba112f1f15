// CFDFSDoc: a folder tree of a remote site, with nodes for folders and file
// records, addressed by ID text or by remote path ("\" separated).
//
// The root is the start folder given to InitVFDLDoc; a child's path is its
// parent's path, "\" and its name. The tree holds at most kMaxDepth levels
// below the root, so that no operation (nor the destruction of the tree)
// goes deeper than that.
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
    bool UpdateFolder(const std::string& id, const CFDFSFolder& folder);
    bool UpdateRec(const std::string& id, const CFDFSRec& rec);
    // Remove a node with its subtree (never the root).
    bool DelFolder(const std::string& id);
    bool DelRec(const std::string& id);

    void SetExpandStatus(CVFDLNode* node, int flag);
    bool GetExpandStatus(CVFDLNode* node, int& flag) const;

private:
    std::string AddNode(const std::string& parentId, std::unique_ptr<CVFDLNode> node);
    bool DelNode(const std::string& id, int type);
    static void Unlink(CVFTree& tree, CVFDLNode* node);

    CVFTree m_tree;
    std::string m_strRootPath;
    std::string m_strText;
    int m_nNumber1 = -1, m_nNumber2 = -1;
};

}  // namespace velkor
