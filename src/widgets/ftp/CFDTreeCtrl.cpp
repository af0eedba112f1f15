#include "widgets/ftp/CFDTreeCtrl.h"

#include "ftp/CFtpSite.h"
#include "widgets/GuiCall.h"
#include "widgets/ShellIcons.h"

namespace velkor {

CFDTreeCtrl::CFDTreeCtrl(QWidget* parent) : CVFDLTreeCtrl(parent) {}

CFDTreeCtrl::~CFDTreeCtrl() = default;

int CFDTreeCtrl::InitFDTreeCtrl(CFtpSite* site, QWidget* window) {
    m_pFtpSite = site;
    if (!site) return 0;
    if (window && window != parentWidget()) setParent(window);
    InitVFDLTreeCtrl(site->m_pFDFSDoc.get(), nullptr);
    return 1;
}

void CFDTreeCtrl::CreateImageLists() { m_bImages = true; }

int CFDTreeCtrl::GetImageIndex(CVFDLNode* node) { return ShellIcons::NodeIconIndex(node); }

bool CFDTreeCtrl::IsHasChild(CVFDLNode* node) {
    return node && node->m_nType == CVFDLNode::kFolder;
}

void CFDTreeCtrl::OnItemExpanding(QTreeWidgetItem* item) {
    CVFDLNode* node = GetItemNode(item);
    CFDFSDoc* doc = GetDoc();
    int status = 0;
    if (!node || !doc || !doc->GetExpandStatus(node, status)) return;
    if (status == 0) {
        if (!m_pFtpSite) return;
        GuiCall call(m_pFtpSite);
        if (!call.Entered()) return;
        m_pFtpSite->ExpandDir(node);
        // The item (or the whole tree) may have gone while the call waited.
        if (call.Cancelled() || !FindItem(node)) return;
    }
    MarkExpanded(item);
    FillTreeView(item, node);
}

}  // namespace velkor
