// CVFDLTreeCtrl: a tree control bound to a folder-tree document. Each item
// stands for a folder node (found again by the node's ID, so an item whose
// node is gone is simply without a node) and shows the node's name.
//
// Items are filled from a node's children on demand (FillTreeView); a
// derived class decides which nodes show an expand button (IsHasChild) and
// what happens the first time an item opens (OnItemExpanding). Labels are
// edited in place (F2 or a click on the selected item); the holder of the
// control accepts or refuses each edit through m_onEndLabelEdit.
#pragma once

#include <QTreeWidget>
#include <functional>
#include <string>

#include "../platform/markup/CFDFSDoc.h"

namespace velkor {

class CVFDLTreeCtrl : public QTreeWidget {
    Q_OBJECT
public:
    explicit CVFDLTreeCtrl(QWidget* parent = nullptr);
    ~CVFDLTreeCtrl() override;

    // Binds the control to the document and shows the folders below `start`
    // (the root when null) at the top level. 0 without a document.
    int InitVFDLTreeCtrl(CFDFSDoc* doc, CVFDLNode* start = nullptr);
    CFDFSDoc* GetDoc() const { return m_pDoc; }

    // The node an item stands for; null when it is gone from the document.
    CVFDLNode* GetItemNode(const QTreeWidgetItem* item) const;
    // The item of a node, or null.
    QTreeWidgetItem* FindItem(const CVFDLNode* node) const;
    // Adds an item under `parent` (top level when null) for each folder
    // child of `node` that has none yet.
    void FillTreeView(QTreeWidgetItem* parent, CVFDLNode* node);
    // Adds one item for a node under `parent` (top level when null).
    QTreeWidgetItem* AddTreeItem(QTreeWidgetItem* parent, CVFDLNode* node);
    // Removes an item with its children.
    bool DelTreeItem(QTreeWidgetItem* item);

    // True once OnItemExpanding has marked the item loaded.
    bool HasBeenExpanded(const QTreeWidgetItem* item) const;

    // What the holder of the control is told; each may be left empty.
    // End of a label edit: true accepts the new text (none set: accepted).
    std::function<bool(QTreeWidgetItem*, const QString&)> m_onEndLabelEdit;
    std::function<void(int key)> m_onKeyDown;
    std::function<void(QTreeWidgetItem*)> m_onSelChanged;

    // Ends a label edit as the user's Enter would; used by the control's
    // editor, public so that holders can drive it.
    bool EndLabelEdit(QTreeWidgetItem* item, const QString& text);

protected:
    virtual void CreateImageLists();
    virtual int GetImageIndex(CVFDLNode* node);
    virtual bool IsHasChild(CVFDLNode* node);
    // The first opening of an item; the default fills it from its node.
    virtual void OnItemExpanding(QTreeWidgetItem* item);
    void MarkExpanded(QTreeWidgetItem* item);

    void keyPressEvent(QKeyEvent* event) override;

    bool m_bImages = false;  // set by CreateImageLists when icons are shown

private:
    CFDFSDoc* m_pDoc = nullptr;
};

}  // namespace velkor
