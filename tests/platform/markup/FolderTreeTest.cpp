// The folder tree of a remote site.
#include <gtest/gtest.h>

#include "platform/markup/CFDFSDoc.h"

namespace velkor {
namespace {

CFDFSFolder Folder(const std::string& name) {
    CFDFSFolder f;
    f.m_strName = name;
    f.m_fileData.m_bFolder = 1;
    return f;
}

TEST(FolderTree, BuildFindUpdateDelete) {
    CFDFSDoc doc;
    ASSERT_EQ(doc.NewXMLDoc(""), 1);
    ASSERT_EQ(doc.InitVFDLDoc("/pub", "vlk:", "", -1, -1), 1);
    CVFDLNode* root = doc.GetRootNode();
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(doc.GetAbsolutePos(root), "\\pub");
    EXPECT_EQ(doc.GetLastChild(root), nullptr);

    const std::string docs = doc.AddFolder(root->m_strID, Folder("docs"));
    CFDFSRec rec;
    rec.m_strName = "readme.txt";
    rec.m_fileData.m_nSize = 42;
    const std::string readme = doc.AddRec(root->m_strID, rec);
    const std::string old = doc.AddFolder(docs, Folder("old"));
    EXPECT_EQ(doc.AddRec(readme, rec), "");  // a record has no children
    EXPECT_EQ(doc.AddFolder("vlk:999", Folder("x")), "");

    EXPECT_EQ(doc.GetLastChild(root)->m_strID, readme);
    CVFDLNode* oldNode = doc.GetNodeByFtpPos("/pub/docs/old/");
    ASSERT_NE(oldNode, nullptr);
    EXPECT_EQ(oldNode->m_strID, old);
    EXPECT_EQ(doc.GetAbsolutePos(oldNode), "\\pub\\docs\\old");
    EXPECT_EQ(doc.GetNodeByFtpPos("\\pub\\readme.txt")->m_rec.m_fileData.m_nSize, 42u);
    EXPECT_EQ(doc.GetNodeByFtpPos("\\pub\\nothere"), nullptr);
    EXPECT_EQ(doc.GetNodeByFtpPos("\\elsewhere"), nullptr);

    int flag = -1;
    ASSERT_TRUE(doc.GetExpandStatus(oldNode, flag));
    EXPECT_EQ(flag, 0);
    doc.SetExpandStatus(oldNode, 1);
    doc.GetExpandStatus(oldNode, flag);
    EXPECT_EQ(flag, 1);

    CFDFSFolder renamed = oldNode->m_folder;
    renamed.m_strName = "archive";
    ASSERT_TRUE(doc.UpdateFolder(old, renamed));
    EXPECT_NE(doc.GetNodeByFtpPos("\\pub\\docs\\archive"), nullptr);
    EXPECT_FALSE(doc.UpdateRec(old, rec));  // not a record

    ASSERT_TRUE(doc.DelFolder(docs));
    EXPECT_EQ(doc.GetNodeByFtpPos("\\pub\\docs\\archive"), nullptr);
    EXPECT_EQ(doc.GetNodeById(old), nullptr);  // the subtree went with it
    EXPECT_FALSE(doc.DelFolder(root->m_strID));
    EXPECT_TRUE(doc.DelRec(readme));
    EXPECT_EQ(doc.GetLastChild(root), nullptr);
}

TEST(FolderTree, DepthIsBounded) {
    CFDFSDoc doc;
    doc.InitVFDLDoc("\\", "n", "", -1, -1);
    std::string id = doc.GetRootNode()->m_strID;
    int depth = 0;
    for (;; ++depth) {
        const std::string next = doc.AddFolder(id, Folder("d"));
        if (next.empty()) break;
        id = next;
    }
    EXPECT_EQ(depth, CFDFSDoc::kMaxDepth);
}

}  // namespace
}  // namespace velkor
