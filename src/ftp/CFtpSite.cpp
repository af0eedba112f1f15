// CFtpSite: the lazily loaded folder tree of a remote site.
#include "ftp/CFtpSite.h"

#include "platform/Text.h"

namespace velkor {

namespace {

std::string WithoutTrailingBackslashes(std::string path) {
    while (!path.empty() && path.back() == '\\') path.pop_back();
    return path;
}

std::string LastComponent(const std::string& path) {
    const std::size_t cut = path.find_last_of('\\');
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

// Names a listing may add: not ".", "..", hidden, nor holding a separator.
bool AddableName(const std::string& name) {
    return !name.empty() && name[0] != '.' && name.find_first_of("\\/") == std::string::npos;
}

}  // namespace

bool CFtpSite::InitFDController(const std::string& host, const std::string& startFolder, int port,
                                const std::string& user, const std::string& password,
                                const std::string& account, const std::string& fwHost,
                                const std::string& fwUser, const std::string& fwPassword,
                                int fwPort, int logonType) {
    m_pFDFSDoc.reset();
    bool logged = false;
    for (int attempt = 0; attempt < kLogonAttempts && !logged; ++attempt) {
        logged = Login(host, port, user, password, account, fwHost, fwUser, fwPassword, fwPort,
                       logonType);
        // A server that refused the user or password (530, 332) or TLS
        // would refuse them again: trying once more only delays the answer
        // and counts against the account.
        if (!logged && (m_nLastReply == 530 || m_nLastReply == 332 || !m_strTlsError.empty())) break;
    }
    if (m_nLoginState != kFtpLoggedOn) return false;
    if (!startFolder.empty() && !SetCurrentDir(startFolder)) return false;
    auto doc = std::make_unique<CFDFSDoc>();
    if (!doc->NewXMLDoc("")) {
        Logout();
        return false;
    }
    doc->InitVFDLDoc(startFolder, "vlk:", "", -1, -1);
    m_pFDFSDoc = std::move(doc);
    m_strStartFolder = startFolder;
    if (CVFDLNode* root = m_pFDFSDoc->GetRootNode()) ExpandDir(root);
    return true;
}

std::string CFtpSite::ServerPath(const std::string& position) const {
    if (!m_strStartFolder.empty()) return position;
    // A "/" path is the server's own; tree positions use "\".
    if (!position.empty() && position[0] == '/') return position;
    // Below an empty start folder positions are relative to the login
    // directory, whatever the current directory is now.
    const std::size_t first = position.find_first_not_of("\\/");
    if (first == std::string::npos) return m_strHomeDir;
    return text::JoinServerPath(m_strHomeDir, position.substr(first));
}

std::string CFtpSite::ServerPath(const CVFDLNode* node) const {
    return m_pFDFSDoc ? ServerPath(m_pFDFSDoc->GetAbsolutePos(node)) : std::string();
}

bool CFtpSite::IsNodeExpanded(CVFDLNode* node) const {
    if (!node || node->m_nType != CVFDLNode::kFolder) return true;
    return node->m_folder.m_fileData.m_nExpandStatus != 0;
}

namespace {

// An entry's time: MLSD's UTC fact, else the LIST date (read as local time);
// -1 when the listing gave none.
std::int64_t ListedTime(const CFtpFile& file) {
    if (file.m_tModifiedUtc >= 0) return file.m_tModifiedUtc;
    return file.m_tModified > 0 ? file.m_tModified : -1;
}

}  // namespace

bool CFtpSite::ExpandDir(CVFDLNode* node) {
    if (!m_pFDFSDoc || !node || IsNodeExpanded(node)) return true;
    if (!SetCurrentDir(ServerPath(node))) {
        m_pFDFSDoc->SetExpandStatus(node, 1);
        return true;
    }
    if (!List("")) {
        m_pFDFSDoc->SetExpandStatus(node, 1);
        return false;
    }
    const std::string parentPos = m_pFDFSDoc->GetAbsolutePos(node);
    // The entries go into the tree as one change, so views update once.
    std::vector<CVFDLNode> entries;
    entries.reserve(m_arrListing.size());
    for (const std::string& line : m_arrListing) {
        CFtpFile file;
        const bool parsed = ParseEntry(line.c_str(), &file);
        const std::string name = file.m_pszName ? file.m_pszName : "";
        const bool directory = file.m_bDirectory != 0;
        const std::uint32_t size = file.m_nSize;
        CFDFSFileData data;
        data.m_nSize = size;
        data.m_nSize64 = file.m_nSize64;
        data.m_tModified = ListedTime(file);
        if (file.m_pszPermission) data.m_strPermissions = file.m_pszPermission;
        file.FreeStrings();
        if (!parsed || !AddableName(name)) continue;
        CVFDLNode& entry = entries.emplace_back();
        if (directory) {
            data.m_bFolder = 1;
            entry.m_nType = CVFDLNode::kFolder;
            entry.m_folder = CFDFSFolder{name, parentPos + "\\" + name, data};
        } else {
            data.m_nExpandStatus = 1;
            entry.m_nType = CVFDLNode::kRecord;
            entry.m_rec = CFDFSRec{name, parentPos + "\\" + name, data};
        }
    }
    m_pFDFSDoc->AddNodes(node->m_strID, std::move(entries));
    m_pFDFSDoc->SetExpandStatus(node, 1);
    return true;
}

bool CFtpSite::RefreshDir(const std::string& path) {
    if (!m_pFDFSDoc) return false;
    CVFDLNode* node = m_pFDFSDoc->GetNodeByFtpPos(path);
    if (!node) return false;
    if (node->m_nType != CVFDLNode::kFolder) return true;
    m_pFDFSDoc->DelChildren(node->m_strID);
    m_pFDFSDoc->SetExpandStatus(node, 0);
    return ExpandDir(node);
}

bool CFtpSite::CreateDir(std::string path) {
    path = WithoutTrailingBackslashes(path);
    // A server path ("/srv/new") is made as it is; the tree shows it when
    // its folder is listed.
    if (!path.empty() && path[0] == '/') return CFtp::CreateDir(path);
    const std::size_t cut = path.find_last_of('\\');
    if (cut == std::string::npos) return false;
    const std::string parent = path.substr(0, cut), name = path.substr(cut + 1);
    if (!CFtp::CreateDir(ServerPath(path))) return false;
    if (!m_pFDFSDoc) return true;
    CVFDLNode* node = m_pFDFSDoc->GetNodeByFtpPos(parent);
    // An unexpanded folder shows the new one when it is listed.
    if (node && IsNodeExpanded(node) && AddableName(name)) {
        CFDFSFileData data;
        data.m_bFolder = 1;
        m_pFDFSDoc->AddFolder(node->m_strID, CFDFSFolder{name, path + "\\", data});
    }
    return true;
}

bool CFtpSite::RemoveDir(const std::string& path) {
    if (!CFtp::RemoveDir(ServerPath(path))) return false;
    if (m_pFDFSDoc)
        if (CVFDLNode* node = m_pFDFSDoc->GetNodeByFtpPos(path)) m_pFDFSDoc->DelFolder(node->m_strID);
    return true;
}

bool CFtpSite::Delete(const std::string& path) {
    CVFDLNode* node = m_pFDFSDoc ? m_pFDFSDoc->GetNodeByFtpPos(path) : nullptr;
    if (!node) return false;
    if (node->m_nType == CVFDLNode::kFolder) return RemoveDir(path);
    if (node->m_nType == CVFDLNode::kRecord) return DeleteFileA(path);
    return false;
}

bool CFtpSite::DeleteFileA(const std::string& path) { return CFtp::DeleteFileA(ServerPath(path)); }

bool CFtpSite::Rename(const std::string& from, const std::string& to) {
    if (!CFtp::Rename(ServerPath(from), ServerPath(to))) return false;
    const std::string target = WithoutTrailingBackslashes(to);
    if (target.find('\\') == std::string::npos || !m_pFDFSDoc) return false;
    CVFDLNode* node = m_pFDFSDoc->GetNodeByFtpPos(from);
    if (!node) return true;
    if (node->m_nType == CVFDLNode::kFolder) {
        CFDFSFolder folder = node->m_folder;
        folder.m_strName = LastComponent(target);
        folder.m_strSource = target + "\\";
        m_pFDFSDoc->UpdateFolder(node->m_strID, folder);
    } else if (node->m_nType == CVFDLNode::kRecord) {
        CFDFSRec rec = node->m_rec;
        rec.m_strName = LastComponent(target);
        rec.m_strSource = target + "\\";
        m_pFDFSDoc->UpdateRec(node->m_strID, rec);
    }
    return true;
}

std::uint32_t CFtpSite::Upload(std::string, std::string, std::uint32_t&, std::uint32_t,
                               std::uint32_t, std::uint32_t, bool) {
    return 0;
}

}  // namespace velkor
