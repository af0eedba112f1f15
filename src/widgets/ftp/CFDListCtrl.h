// CFDListCtrl: the files and folders of one folder of an FTP site, in the
// four columns name, size, type and change state, and beyond the older list
// two more: the time the listing gives (MLSD's UTC fact, else the LIST date;
// shown in local time) and the permissions it gives. The size's tool tip
// shows it in KiB/MiB/GiB too.
//
// Folders are loaded from the server the first time they are shown. Rows
// are ordered by one column; folders come before files in ascending order
// and after them in descending order, whatever the column. A header click
// sorts by that column (a second click on it turns the order round) and
// marks its title with "+" (ascending) or "-" (descending).
//
// Icons and type names are the desktop's, looked up by name only.
// Departures from the older list, each for a reason:
// - names sort as people count ("f2" before "f10", digits by their value),
//   not byte by byte, which put f10 between f1 and f2;
// - sizes are shown as unsigned numbers, and a size above 4 GiB in full
//   (the older "%d" showed a 3 GiB file as a negative number);
// - a row whose node has gone from the tree is removed after it was asked
//   for, not while it is painted;
// - the "+"/"-" marks are set on the header's Qt text, not on a copy in the
//   active code page (the Chinese titles would become "?" in a Western one);
// - while another call runs on the site (the GUI stays alive during server
//   calls), showing an unloaded folder loads nothing and shows what the tree
//   holds.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "../CVFDLListCtrl.h"

namespace velkor {

class CFtpSite;

class CFDListCtrl : public CVFDLListCtrl {
    Q_OBJECT
public:
    explicit CFDListCtrl(QWidget* parent = nullptr);
    ~CFDListCtrl() override;

    // Remembers the site and binds the list to its tree; 0 when the site is
    // null or has no tree yet. A window given becomes the list's parent.
    int InitFileListCtrl(CFtpSite* site, QWidget* window);

    // Shows the folder at `path` (trailing "\" ignored), loading it first
    // when it was never listed.
    void BrowseFolder(const std::string& path, int flag) override;

    // The first selected row, or -1; with a list, every selected row in
    // order is appended to it.
    int GetSelectedItems(std::vector<unsigned>* rows) const;

    // The order of two names in the name column: digit runs by value ("f2"
    // before "f10"), letters without regard to ASCII case; <0, 0 or >0.
    static int CompareNames(std::string_view a, std::string_view b);
    // The sort order of two rows' nodes under the control's settings.
    static int CompareFunc(CVFDLNode* a, CVFDLNode* b, CFDListCtrl* control);
    void SortByColumn(int column);
    void Resort();

    // The size a node shows and sorts by (0 for anything but a file record).
    static std::uint64_t NodeSize(const CVFDLNode* node);

    int m_nSortColumn = 2;
    int m_bSortAscending = 1;
    CFtpSite* m_pFtpSite = nullptr;

protected:
    void InsertColumns() override;
    void CreateImageLists() override;
    int GetImageIndex(CVFDLNode* node) override;
    void OnGetDispInfo(DispInfo& info) override;
    void OnColumnClick(int column) override;
    QString OnGetToolTip(CVFDLNode* node, int column) override;
};

}  // namespace velkor
