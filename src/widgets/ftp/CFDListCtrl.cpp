#include "widgets/ftp/CFDListCtrl.h"

#include <QDateTime>
#include <QHeaderView>
#include <QLocale>
#include <algorithm>
#include <string_view>

#include "ftp/CFtpSite.h"
#include "resources/StringTable.h"
#include "widgets/CVFDLModel.h"
#include "widgets/GuiCall.h"
#include "widgets/QtText.h"
#include "widgets/ShellIcons.h"
#include "widgets/ftp/FolderLoader.h"

namespace velkor {

namespace {

// Column 0 shows at most this many bytes of a name.
constexpr std::size_t kMaxNameBytes = 512;

struct Column {
    int titleId;
    Qt::Alignment alignment;
    int width;
};
constexpr Column kColumns[] = {
    {IDS_COLUMN_NAME, Qt::AlignLeft, 150},
    {IDS_COLUMN_SIZE, Qt::AlignRight, 50},
    {IDS_COLUMN_TYPE, Qt::AlignLeft, 75},
    {IDS_COLUMN_STATE, Qt::AlignLeft, 75},
    {IDS_COLUMN_MODIFIED, Qt::AlignLeft, 120},
    {IDS_COLUMN_PERMISSIONS, Qt::AlignLeft, 80},
};

// A time from the listing as local date and minute; empty when unknown.
std::string ModifiedText(const CVFDLNode* node) {
    const std::int64_t t = const_cast<CVFDLNode*>(node)->FileData().m_tModified;
    if (t < 0) return {};
    return FromQString(QDateTime::fromSecsSinceEpoch(t).toString(QStringLiteral("yyyy-MM-dd HH:mm")));
}

bool IsFolder(const CVFDLNode* node) { return node->m_nType == CVFDLNode::kFolder; }

// The text after the last "." (empty without one).
std::string_view TypeText(const std::string& name) {
    const std::size_t dot = name.rfind('.');
    return dot == std::string::npos ? std::string_view() : std::string_view(name).substr(dot + 1);
}

// A byte with ASCII capitals folded, whatever the process's locale (an
// order that changed with LC_CTYPE would sort one folder two ways).
int FoldCase(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 'A' && byte <= 'Z' ? byte + ('a' - 'A') : byte;
}

// Byte texts compared without regard to ASCII case, as strcasecmp does in
// the C locale.
int CompareNoCase(std::string_view a, std::string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const int ca = FoldCase(a[i]);
        const int cb = FoldCase(b[i]);
        if (ca != cb) return ca - cb;
    }
    return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

// Names in the order people count: runs of digits by their value ("f2"
// before "f10"), the rest without regard to ASCII case; names equal so
// ("f01", "f1"; "A", "a") are ordered as bytes, so the order is total.
}  // namespace

int CFDListCtrl::CompareNames(std::string_view a, std::string_view b) {
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (digit(a[i]) && digit(b[j])) {
            std::size_t ei = i, ej = j;
            while (ei < a.size() && digit(a[ei])) ++ei;
            while (ej < b.size() && digit(b[ej])) ++ej;
            // Without leading zeros, a longer run is a larger number; of two
            // runs of one length the first differing digit decides.
            std::size_t si = i, sj = j;
            while (si + 1 < ei && a[si] == '0') ++si;
            while (sj + 1 < ej && b[sj] == '0') ++sj;
            if (ei - si != ej - sj) return ei - si < ej - sj ? -1 : 1;
            if (const int c = a.substr(si, ei - si).compare(b.substr(sj, ej - sj))) return c;
            i = ei;
            j = ej;
            continue;
        }
        const int ca = FoldCase(a[i]);
        const int cb = FoldCase(b[j]);
        if (ca != cb) return ca - cb;
        ++i;
        ++j;
    }
    if (i < a.size() || j < b.size()) return i < a.size() ? 1 : -1;
    if (const int c = CompareNoCase(a, b)) return c;
    return a.compare(b);
}

namespace {

// The title without a trailing "+" or "-". Titles are changed as Qt text:
// a round trip through the active code page would turn the Chinese titles
// into "?" in a Western one.
QString WithoutSortMark(QString title) {
    if (title.endsWith(QLatin1Char('+')) || title.endsWith(QLatin1Char('-'))) title.chop(1);
    return title;
}

}  // namespace

CFDListCtrl::CFDListCtrl(QWidget* parent) : CVFDLListCtrl(parent) { setObjectName("CFDListCtrl"); }

CFDListCtrl::~CFDListCtrl() = default;

int CFDListCtrl::InitFileListCtrl(CFtpSite* site, QWidget* window) {
    m_pFtpSite = site;
    if (!site || !site->m_pFDFSDoc) return 0;
    if (window && window != parentWidget()) setParent(window);
    CVFDLListCtrl::InitFileListCtrl(site->m_pFDFSDoc.get());
    SetFolderLoader(GetModel(), site);
    return 1;
}

void CFDListCtrl::BrowseFolder(const std::string& path, int flag) {
    std::string folder = path;
    // A root folder ("\\", the server's "/") keeps its one separator.
    while (folder.size() > 1 && folder.back() == '\\') folder.pop_back();
    CFDFSDoc* doc = GetDoc();
    CVFDLNode* node = doc ? doc->GetNodeByFtpPos(folder) : nullptr;
    int status = 0;
    if (!node || !doc->GetExpandStatus(node, status)) return;
    if (status == 0 && GetModel()) GetModel()->LoadFolder(node);
    // Shown sorted by CompareFunc: the showing sorts once, by it.
    SetComparison([this](CVFDLNode* a, CVFDLNode* b) { return CompareFunc(a, b, this); });
    CVFDLListCtrl::BrowseFolder(folder, flag);
}

int CFDListCtrl::GetSelectedItems(std::vector<unsigned>* rows) const {
    if (GetItemCount() == 0) return -1;
    std::vector<unsigned> selected;
    for (const QModelIndex& index : selectionModel()->selectedRows())
        if (index.parent() == rootIndex()) selected.push_back(static_cast<unsigned>(index.row()));
    std::sort(selected.begin(), selected.end());
    if (selected.empty()) return -1;
    if (rows) rows->insert(rows->end(), selected.begin(), selected.end());
    return static_cast<int>(selected.front());
}

std::uint64_t CFDListCtrl::NodeSize(const CVFDLNode* node) {
    if (!node || node->m_nType != CVFDLNode::kRecord) return 0;
    const CFDFSFileData& data = node->m_rec.m_fileData;
    return data.m_nSize64 ? data.m_nSize64 : data.m_nSize;
}

int CFDListCtrl::CompareFunc(CVFDLNode* a, CVFDLNode* b, CFDListCtrl* control) {
    if (!a || !b || !control) return 0;
    const bool ascending = control->m_bSortAscending != 0;
    if (IsFolder(a) && !IsFolder(b)) return ascending ? -1 : 1;
    if (IsFolder(b) && !IsFolder(a)) return ascending ? 1 : -1;
    int result = 0;
    switch (control->m_nSortColumn) {
        case 0: result = CompareNames(a->Name(), b->Name()); break;
        case 1: {
            const std::uint64_t sa = NodeSize(a), sb = NodeSize(b);
            result = sa < sb ? -1 : sa > sb ? 1 : 0;
            break;
        }
        case 2: result = CompareNoCase(TypeText(a->Name()), TypeText(b->Name())); break;
        case 4: {
            const std::int64_t ta = a->FileData().m_tModified, tb = b->FileData().m_tModified;
            result = ta < tb ? -1 : ta > tb ? 1 : 0;
            break;
        }
        case 5: result = a->FileData().m_strPermissions.compare(b->FileData().m_strPermissions); break;
        default: break;
    }
    return ascending ? result : -result;
}

void CFDListCtrl::SortByColumn(int column) {
    const int previous = m_nSortColumn;
    if (column == m_nSortColumn) m_bSortAscending = m_bSortAscending ? 0 : 1;
    else m_nSortColumn = column;
    SetColumnTitle(m_nSortColumn, WithoutSortMark(ColumnTitle(m_nSortColumn)) +
                                      QLatin1Char(m_bSortAscending ? '+' : '-'));
    if (previous != m_nSortColumn) SetColumnTitle(previous, WithoutSortMark(ColumnTitle(previous)));
    Resort();
}

void CFDListCtrl::Resort() {
    SortItems([this](CVFDLNode* a, CVFDLNode* b) { return CompareFunc(a, b, this); });
}

void CFDListCtrl::InsertColumns() {
    for (const Column& column : kColumns)
        AddColumn(LibraryQString(column.titleId), column.alignment, column.width);
}

void CFDListCtrl::CreateImageLists() { m_bImages = true; }

int CFDListCtrl::GetImageIndex(CVFDLNode* node) { return ShellIcons::NodeIconIndex(node); }

void CFDListCtrl::OnGetDispInfo(DispInfo& info) {
    CVFDLNode* node = GetItemNode(info.index);
    if (!info.wantText || !node) {
        DeleteRowLater(info.index);
        return;
    }
    switch (info.column) {
        case 0: info.text = node->Name().substr(0, kMaxNameBytes); break;
        case 1: info.text = std::to_string(NodeSize(node)); break;
        case 2:
            if (IsFolder(node) || node->m_nType == CVFDLNode::kRecord)
                info.text = FromQString(ShellIcons::TypeName(node->Name(), IsFolder(node)));
            break;
        case 4: info.text = ModifiedText(node); break;
        case 5: info.text = node->FileData().m_strPermissions; break;
        default: break;
    }
}

void CFDListCtrl::OnColumnClick(int column) { SortByColumn(column); }

QString CFDListCtrl::OnGetToolTip(CVFDLNode* node, int column) {
    if (column != 1 || node->m_nType != CVFDLNode::kRecord) return {};
    const std::uint64_t size = NodeSize(node);
    return QLocale().formattedDataSize(static_cast<qint64>(size)) + QStringLiteral(" (") +
           QLocale().toString(static_cast<qulonglong>(size)) + QStringLiteral(" bytes)");
}

}  // namespace velkor
