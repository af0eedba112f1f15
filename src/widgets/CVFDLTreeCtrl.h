// CVFDLTreeCtrl: the folders of a folder-tree document as a tree. It is a
// view over the document's one CVFDLModel (shared with the list), filtered
// to folders, so its items follow the document: a folder listed, made,
// renamed or removed shows so at once, and an index never outlives its node.
//
// Siblings are ordered by CompareItems and stay so as folders come or are
// renamed. A derived class decides which unlisted folders show an expand button
// (IsHasChild) and what happens the first time an item opens
// (OnItemExpanding). Labels are edited in place (F2 or a click on the
// selected item); the holder of the control accepts or refuses each edit
// through m_onEndLabelEdit, and the label then shows the node's name as the
// document has it.
#pragma once

#include <QSet>
#include <QTreeView>
#include <functional>
#include <memory>
#include <string>

#include "../platform/markup/CFDFSDoc.h"

namespace velkor {

class CVFDLModel;

namespace detail {
class TreeProxy;
}

class CVFDLTreeCtrl : public QTreeView {
    Q_OBJECT
public:
    explicit CVFDLTreeCtrl(QWidget* parent = nullptr);
    ~CVFDLTreeCtrl() override;

    // Binds the control to the document (its model) and shows the folders
    // below `start` (the root when null) at the top level. 0 without a
    // document (the tree is then empty).
    int InitVFDLTreeCtrl(CFDFSDoc* doc, CVFDLNode* start = nullptr);
    // Shows the start folder itself as the one top item, labelled `label`,
    // with its folders below it.
    void ShowStartItem(const QString& label);
    CFDFSDoc* GetDoc() const;
    CVFDLModel* GetModel() const { return m_model.get(); }

    // The node an index of the tree stands for; null when there is none.
    CVFDLNode* GetItemNode(const QModelIndex& index) const;
    // The tree's index of a folder node, invalid when it shows none.
    QModelIndex FindItem(const CVFDLNode* node) const;
    // The same, with every item above it opened so that it can be seen.
    QModelIndex RevealItem(const CVFDLNode* node);
    // The current item's node, or null.
    CVFDLNode* GetCurrentNode() const { return GetItemNode(currentIndex()); }

    // True once OnItemExpanding has marked the item loaded.
    bool HasBeenExpanded(const QModelIndex& index) const;

    // What the holder of the control is told; each may be left empty.
    // End of a label edit: true accepts the new text (none set: accepted).
    std::function<bool(const QModelIndex&, const QString&)> m_onEndLabelEdit;
    std::function<void(int key)> m_onKeyDown;
    std::function<void(const QModelIndex&)> m_onSelChanged;

    // Ends a label edit as the user's Enter would; used by the control's
    // editor, public so that holders can drive it.
    bool EndLabelEdit(const QModelIndex& index, const QString& text);

protected:
    virtual void CreateImageLists();
    virtual int GetImageIndex(CVFDLNode* node);
    // Whether a folder never listed shows an expand button.
    virtual bool IsHasChild(CVFDLNode* node);
    // The order of two sibling folders (<0: a first); the default keeps the
    // document's order.
    virtual int CompareItems(const CVFDLNode* a, const CVFDLNode* b);
    // The first opening of an item; the default marks it loaded.
    virtual void OnItemExpanding(const QModelIndex& index);
    void MarkExpanded(const QModelIndex& index);

    void keyPressEvent(QKeyEvent* event) override;

    bool m_bImages = false;  // set by CreateImageLists when icons are shown

private:
    friend class detail::TreeProxy;

    std::shared_ptr<CVFDLModel> m_model;
    detail::TreeProxy* m_proxy;
    std::string m_strStartId;
    QString m_startLabel;  // the start item's label, when it is shown
    QSet<QByteArray> m_expandedIds;
};

}  // namespace velkor
