// CVFDLListCtrl: a report-style list of one folder of a folder-tree
// document. It is a view over the document's one CVFDLModel (shared with
// the tree), so its rows follow the document: a node that goes loses its
// row at once. A row's texts are asked of the control each time they are
// shown (OnGetDispInfo).
//
// Rows are ordered by a comparison function over their nodes (SortItems,
// stable over the document's order) and stay so as nodes come, go or
// change. The header's texts can be read and written; a header click calls
// OnColumnClick. With ShowUpRow the first row is "..", which stands for the
// folder above and for no node.
#pragma once

#include <QPersistentModelIndex>
#include <QTreeView>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "../platform/markup/CFDFSDoc.h"

namespace velkor {

class CVFDLModel;

namespace detail {
class ListProxy;
}

class CVFDLListCtrl : public QTreeView {
    Q_OBJECT
public:
    // BrowseFolder's flags.
    static constexpr int kAllEntries = 0;
    static constexpr int kFilesOnly = 1;

    // A request for a row's text in one column.
    struct DispInfo {
        QModelIndex index;  // the row's index in the list
        int column;
        bool wantText;
        std::string text;  // the answer, in the active code page
    };

    explicit CVFDLListCtrl(QWidget* parent = nullptr);
    ~CVFDLListCtrl() override;

    // Binds the list to a document (its model), makes its columns and image
    // lists. 0 without a document (the list is then empty).
    int InitFileListCtrl(CFDFSDoc* doc);
    // The document, or null when none is bound or it has ended.
    CFDFSDoc* GetDoc() const;
    CVFDLModel* GetModel() const { return m_model.get(); }

    // Shows the children of the folder at `path` (folders and file records,
    // or file records only with kFilesOnly), sorted by the last comparison
    // given to SortItems (else in the document's order).
    virtual void BrowseFolder(const std::string& path, int flag);
    // The node of the folder shown, or null.
    CVFDLNode* GetShownFolder() const;

    // Whether the first row is ".." (off at first).
    void ShowUpRow(bool show);

    int GetItemCount() const;
    // The list's index of a row (column 0), invalid when there is none.
    QModelIndex RowIndex(int row) const;
    // The node of a row or of a list index; null for the ".." row or none.
    CVFDLNode* GetRowNode(int row) const;
    CVFDLNode* GetItemNode(const QModelIndex& index) const;
    bool IsUpRow(const QModelIndex& index) const;
    // The row showing a node, or -1.
    int FindRow(const CVFDLNode* node) const;

    int GetColumnCount() const { return static_cast<int>(m_titles.size()); }
    std::string GetColumnText(int column) const;
    void SetColumnText(int column, const std::string& text);
    QString ColumnTitle(int column) const;
    void SetColumnTitle(int column, const QString& title);

    // Orders the rows: `compare` < 0 puts the first node first. Stable.
    void SortItems(const std::function<int(CVFDLNode*, CVFDLNode*)>& compare);

    // The text a row shows in a column (what OnGetDispInfo answers).
    QString RowText(const QModelIndex& index, int column);
    QIcon RowIcon(const QModelIndex& index);
    // A row's tool tip in a column (what OnGetToolTip answers).
    QString RowToolTip(const QModelIndex& index, int column);

protected:
    virtual void InsertColumns();
    // Adds a column at the end.
    void AddColumn(const QString& title, Qt::Alignment alignment, int width);
    virtual void CreateImageLists();
    virtual int GetImageIndex(CVFDLNode* node);
    // The default shows the node's name in column 0.
    virtual void OnGetDispInfo(DispInfo& info);
    virtual void OnColumnClick(int column);
    // The default has none.
    virtual QString OnGetToolTip(CVFDLNode* node, int column);
    // Sets the comparison the next showing sorts by, without sorting now.
    void SetComparison(const std::function<int(CVFDLNode*, CVFDLNode*)>& compare) { m_compare = compare; }
    // Takes the row out of the list after the current event (never while it
    // is painted); it comes back when the folder is shown again.
    void DeleteRowLater(const QModelIndex& index);

    bool m_bImages = false;  // set by CreateImageLists when icons are shown

private:
    friend class detail::ListProxy;

    std::shared_ptr<CVFDLModel> m_model;
    detail::ListProxy* m_proxy;
    // The shown folder's index in the model: the model makes it invalid when
    // the folder goes.
    QPersistentModelIndex m_shown;
    int m_nFlag = kAllEntries;
    bool m_bUpRow = false;
    std::function<int(CVFDLNode*, CVFDLNode*)> m_compare;
    std::vector<QString> m_titles;
    std::vector<Qt::Alignment> m_alignments;
    std::vector<int> m_widths;
    std::vector<std::string> m_hiddenIds;  // rows taken out by DeleteRowLater
    bool m_bSweepPending = false;
};

}  // namespace velkor
