#include "widgets/ftp/CFDTreeCtrl.h"

#include "ftp/CFtpSite.h"
#include "widgets/CVFDLModel.h"
#include "widgets/GuiCall.h"
#include "widgets/ShellIcons.h"
#include "widgets/ftp/CFDListCtrl.h"
#include "widgets/ftp/FolderLoader.h"

namespace velkor {

void SetFolderLoader(CVFDLModel* model, CFtpSite* site) {
    if (!model || !site) return;
    model->m_loadFolder = [site](CVFDLNode* node) {
        GuiCall call(site);
        if (!call.Entered()) return false;
        site->ExpandDir(node);
        return !call.Cancelled();
    };
}

CFDTreeCtrl::CFDTreeCtrl(QWidget* parent) : CVFDLTreeCtrl(parent) {}

CFDTreeCtrl::~CFDTreeCtrl() = default;

int CFDTreeCtrl::InitFDTreeCtrl(CFtpSite* site, QWidget* window) {
    m_pFtpSite = site;
    if (!site) return 0;
    if (window && window != parentWidget()) setParent(window);
    InitVFDLTreeCtrl(site->m_pFDFSDoc.get(), nullptr);
    SetFolderLoader(GetModel(), site);
    return 1;
}

void CFDTreeCtrl::CreateImageLists() { m_bImages = true; }

int CFDTreeCtrl::GetImageIndex(CVFDLNode* node) { return ShellIcons::NodeIconIndex(node); }

bool CFDTreeCtrl::IsHasChild(CVFDLNode* node) {
    return node && node->m_nType == CVFDLNode::kFolder;
}

int CFDTreeCtrl::CompareItems(const CVFDLNode* a, const CVFDLNode* b) {
    return CFDListCtrl::CompareNames(a->Name(), b->Name());
}

void CFDTreeCtrl::OnItemExpanding(const QModelIndex& index) {
    CVFDLNode* node = GetItemNode(index);
    CFDFSDoc* doc = GetDoc();
    int status = 0;
    if (!node || !doc || !doc->GetExpandStatus(node, status)) return;
    // The view has usually listed it already (fetchMore); a folder it could
    // not list then (another call ran) is listed now, or next time.
    if (status == 0 && !(GetModel() && GetModel()->LoadFolder(node))) return;
    MarkExpanded(index);
}

}  // namespace velkor
