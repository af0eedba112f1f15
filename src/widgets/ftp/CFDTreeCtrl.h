// CFDTreeCtrl: the folders of an FTP site as a tree. Every folder shows an
// expand button before it is loaded; opening it the first time lists it on
// the server (once), and its folders come into the tree from the site's
// tree, which the list shows too.
//
// While another call runs on the site, opening a folder loads nothing and
// the folder is loaded the next time it is opened.
#pragma once

#include "../CVFDLTreeCtrl.h"

namespace velkor {

class CFtpSite;

class CFDTreeCtrl : public CVFDLTreeCtrl {
    Q_OBJECT
public:
    explicit CFDTreeCtrl(QWidget* parent = nullptr);
    ~CFDTreeCtrl() override;

    // Remembers the site and binds the tree to its folder tree, showing the
    // folders of its start folder; 0 when the site is null. A window given
    // becomes the tree's parent.
    int InitFDTreeCtrl(CFtpSite* site, QWidget* window);

    CFtpSite* m_pFtpSite = nullptr;

protected:
    void CreateImageLists() override;
    int GetImageIndex(CVFDLNode* node) override;
    bool IsHasChild(CVFDLNode* node) override;
    // Folders by name as the list sorts them (f2 before f10, any case).
    int CompareItems(const CVFDLNode* a, const CVFDLNode* b) override;
    void OnItemExpanding(const QModelIndex& index) override;
};

}  // namespace velkor
