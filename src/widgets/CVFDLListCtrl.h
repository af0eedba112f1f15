// CVFDLListCtrl: a report-style list whose rows stand for nodes of a
// folder-tree document. A row keeps only its node's ID; its texts are asked
// of the control each time they are shown (OnGetDispInfo), so they always
// follow the document.
//
// Rows are ordered by a comparison function over their nodes (SortItems,
// stable). The header's texts can be read and written; a header click calls
// OnColumnClick.
#pragma once

#include <QTreeWidget>
#include <functional>
#include <string>
#include <vector>

#include "../platform/markup/CFDFSDoc.h"

namespace velkor {

class CVFDLListCtrl : public QTreeWidget {
    Q_OBJECT
public:
    // BrowseFolder's flags.
    static constexpr int kAllEntries = 0;
    static constexpr int kFilesOnly = 1;

    // A request for a row's text in one column.
    struct DispInfo {
        QTreeWidgetItem* item;
        int column;
        bool wantText;
        std::string text;  // the answer, in the active code page
    };

    explicit CVFDLListCtrl(QWidget* parent = nullptr);
    ~CVFDLListCtrl() override;

    // Binds the list to a document, makes its columns and image lists. 0
    // without a document.
    int InitFileListCtrl(CFDFSDoc* doc);
    CFDFSDoc* GetDoc() const { return m_pDoc; }

    // Shows the children of the folder at `path` (folders and file records,
    // or file records only with kFilesOnly), in the document's order.
    virtual void BrowseFolder(const std::string& path, int flag);
    // The node of the folder shown, or null.
    CVFDLNode* GetShownFolder() const;

    int GetItemCount() const { return topLevelItemCount(); }
    // The node of a row; null when the row or its node is gone.
    CVFDLNode* GetRowNode(int row) const;
    CVFDLNode* GetItemNode(const QTreeWidgetItem* item) const;

    std::string GetColumnText(int column) const;
    void SetColumnText(int column, const std::string& text);

    // Orders the rows: `compare` < 0 puts the first node first. Stable.
    void SortItems(const std::function<int(CVFDLNode*, CVFDLNode*)>& compare);

    // The text a row shows in a column (what OnGetDispInfo answers).
    QString RowText(QTreeWidgetItem* item, int column);
    QIcon RowIcon(QTreeWidgetItem* item);
    // A row's tool tip in a column (what OnGetToolTip answers).
    QString RowToolTip(QTreeWidgetItem* item, int column);

protected:
    virtual void InsertColumns();
    virtual void CreateImageLists();
    virtual int GetImageIndex(CVFDLNode* node);
    // The default shows the node's name in column 0.
    virtual void OnGetDispInfo(DispInfo& info);
    virtual void OnColumnClick(int column);
    // The default has none.
    virtual QString OnGetToolTip(CVFDLNode* node, int column);
    // Removes the row after the current event (never while it is painted),
    // with every other row whose node has gone.
    void DeleteRowLater(QTreeWidgetItem* item);

    bool m_bImages = false;  // set by CreateImageLists when icons are shown

private:
    CFDFSDoc* m_pDoc = nullptr;
    std::string m_strShownId;
    bool m_bSweepPending = false;
};

}  // namespace velkor
