#include "widgets/ShellIcons.h"

#include <QFileIconProvider>
#include <QMimeDatabase>
#include <map>
#include <vector>

#include "platform/markup/CFDFSDoc.h"
#include "widgets/QtText.h"

namespace velkor {

namespace {

struct ImageList {
    std::vector<QIcon> icons;
    std::map<QString, int> byMimeType;

    ImageList() {
        QFileIconProvider provider;
        icons.push_back(provider.icon(QAbstractFileIconProvider::File));
        icons.push_back(provider.icon(QAbstractFileIconProvider::Folder));
    }
};

ImageList& List() {
    static ImageList list;
    return list;
}

QMimeType MimeTypeOf(const std::string& name, bool folder) {
    static const QMimeDatabase db;
    if (folder) return db.mimeTypeForName(QStringLiteral("inode/directory"));
    return db.mimeTypeForFile(ToQString(name), QMimeDatabase::MatchExtension);
}

}  // namespace

int ShellIcons::IconIndex(const std::string& name, bool folder) {
    if (folder) return kFolderIndex;
    const QMimeType type = MimeTypeOf(name, false);
    if (!type.isValid() || type.isDefault()) return kFileIndex;
    ImageList& list = List();
    const auto found = list.byMimeType.find(type.name());
    if (found != list.byMimeType.end()) return found->second;
    QIcon icon = QIcon::fromTheme(type.iconName(), QIcon::fromTheme(type.genericIconName()));
    if (icon.isNull()) icon = list.icons[kFileIndex];
    const int index = static_cast<int>(list.icons.size());
    list.icons.push_back(icon);
    list.byMimeType.emplace(type.name(), index);
    return index;
}

int ShellIcons::NodeIconIndex(const CVFDLNode* node) {
    if (!node) return 0;
    if (node->m_nType == CVFDLNode::kFolder) return IconIndex(node->Name(), true);
    if (node->m_nType == CVFDLNode::kRecord) return IconIndex(node->Name(), false);
    return 0;
}

QIcon ShellIcons::Icon(int index) {
    const ImageList& list = List();
    if (index < 0 || index >= static_cast<int>(list.icons.size())) return {};
    return list.icons[static_cast<std::size_t>(index)];
}

int ShellIcons::Count() { return static_cast<int>(List().icons.size()); }

QString ShellIcons::TypeName(const std::string& name, bool folder) {
    return MimeTypeOf(name, folder).comment();
}

}  // namespace velkor
