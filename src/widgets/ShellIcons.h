// ShellIcons: the desktop's icons and type names for remote entries, looked
// up by name (and folder or not) only; no local file is ever touched.
//
// Icons form one process-wide image list shared by every view: index 0 is a
// plain file, 1 a folder, and each further MIME type met gets the next index.
#pragma once

#include <QIcon>
#include <QString>
#include <string>

namespace velkor {

class CVFDLNode;

class ShellIcons {
public:
    static constexpr int kFileIndex = 0;
    static constexpr int kFolderIndex = 1;

    // The image index for a name (in the active code page).
    static int IconIndex(const std::string& name, bool folder);
    // The icon at an index (an empty icon outside the list).
    static QIcon Icon(int index);
    // The index for a folder-tree node: a folder's, a file record's by its
    // name, 0 for anything else.
    static int NodeIconIndex(const CVFDLNode* node);
    static int Count();
    // The type name the desktop gives such an entry ("Folder", "plain text
    // document", ...).
    static QString TypeName(const std::string& name, bool folder);
};

}  // namespace velkor
