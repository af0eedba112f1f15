// CVFDLModel: one Qt item model over a folder-tree document, shared by every
// view of that document (Of). Rows are a folder's children in the
// document's order; an index stands for a node, and column 0 shows its name.
// The views sort and filter it through proxies of their own and supply the
// other columns' texts.
//
// Every folder's first row is its ".." row, which stands for the way up and
// for no node (a list shows it, the tree leaves it out); the nodes follow
// from row 1. Its index holds the folder's address with the low bit set
// (nodes are aligned), so no object has to be made for it.
//
// The model follows the document through its observer: views update as
// nodes come and go, and when the document ends the model becomes empty, so
// no view reads a freed node. A folder not yet listed can be fetched
// (canFetchMore/fetchMore) through the loader its FTP views set.
#pragma once

#include <QAbstractItemModel>
#include <functional>
#include <memory>

#include "../platform/markup/CFDFSDoc.h"

namespace velkor {

class CVFDLModel : public QAbstractItemModel, private CFDFSDocObserver {
    Q_OBJECT
public:
    // The columns every view may show (a view shows as many as it has).
    static constexpr int kColumns = 8;

    // The document's model, made on first use and shared while a view holds
    // it; null for a null document.
    static std::shared_ptr<CVFDLModel> Of(CFDFSDoc* doc);
    ~CVFDLModel() override;

    // The document, or null once it has ended.
    CFDFSDoc* Doc() const { return m_pDoc; }
    // The node of an index of this model, or null (also for a ".." row).
    CVFDLNode* Node(const QModelIndex& index) const;
    // For a ".." row: the folder it is in, else null.
    CVFDLNode* UpRowFolder(const QModelIndex& index) const;
    // The index of a node (invalid for null).
    QModelIndex IndexOf(const CVFDLNode* node, int column = 0) const;

    // Lists a folder that was never listed: true when it was asked (its
    // children then come through the document), false when it cannot be
    // now (another call runs). Set by the FTP views; none: nothing loads.
    std::function<bool(CVFDLNode*)> m_loadFolder;
    bool CanLoad(const CVFDLNode* node) const;
    bool LoadFolder(CVFDLNode* node);

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    // Every folder has children: its ".." row at least.
    bool hasChildren(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    // Lists the folder (once; nothing while another call runs).
    void fetchMore(const QModelIndex& parent) override;

private:
    explicit CVFDLModel(CFDFSDoc* doc);
    QModelIndex UpRowIndex(const CVFDLNode* folder, int column) const;

    void OnBeginAdd(CVFDLNode* parent, std::size_t first, std::size_t count) override;
    void OnEndAdd() override;
    void OnBeginRemove(CVFDLNode* parent, std::size_t first, std::size_t count) override;
    void OnEndRemove() override;
    void OnChanged(CVFDLNode* node) override;
    void OnBeginReset(bool gone) override;
    void OnEndReset() override;

    CFDFSDoc* m_pDoc;
};

}  // namespace velkor
