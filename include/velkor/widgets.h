// Velkor widgets: the Qt 6 views and dialogs (library Velkor10Widgets,
// CMake target Velkor10::Widgets). Each is also reachable alone, e.g.
// <velkor/widgets/ftp/CFDListCtrl.h>.
#pragma once

#include "velkor.h"
#include "resources/DialogTemplates.h"
#include "widgets/QtText.h"
#include "widgets/Language.h"
#include "widgets/XMessageBox.h"
#include "widgets/GuiCall.h"
#include "widgets/ShellIcons.h"
#include "widgets/CXDialog.h"
#include "widgets/CVFDLModel.h"
#include "widgets/CVFDLTreeCtrl.h"
#include "widgets/CVFDLListCtrl.h"
#include "widgets/ftp/CFDListCtrl.h"
#include "widgets/ftp/CFDTreeCtrl.h"
#include "widgets/ftp/CBrowseFolderDlg.h"
#include "widgets/proxy/CProxySetupDlg.h"
