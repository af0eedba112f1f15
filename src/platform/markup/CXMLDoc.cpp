#include "platform/markup/CXMLDoc.h"

#include <fstream>
#include <sstream>

#include "platform/LocalFile.h"

namespace velkor {

namespace {
CRTTIObject* CreateXMLDoc() { return new CXMLDoc; }

// The document a new CXMLDoc starts with.
constexpr const char* kNewDocument = "<?xml version=\"1.0\"?><doc></doc>";
}  // namespace

CRTTIInfo CXMLDoc::classCXMLDoc = {"CXMLDoc", sizeof(CXMLDoc), &CreateXMLDoc,
                                   &CRTTIObject::classCRTTIObject, nullptr};

namespace {
const bool g_registered = (RegisterRTTIClass(&CXMLDoc::classCXMLDoc), true);
}

CRTTIInfo* CXMLDoc::GetRTTIClass() const { return &classCXMLDoc; }

int CXMLDoc::NewXMLDoc(const std::string& path) {
    m_strPath = path;
    if (!SetXml(kNewDocument)) return 0;
    if (!m_strPath.empty()) SaveXMLDoc();
    return 1;
}

int CXMLDoc::LoadXMLDoc(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return 0;
    std::ostringstream text;
    text << in.rdbuf();
    m_strPath = path;
    return SetXml(Decrypt(text.str()));
}

bool CXMLDoc::WriteFile(const std::string& path, const std::string& bytes) const {
    return WriteFileAtomically(path, bytes, static_cast<mode_t>(FileMode()));
}

int CXMLDoc::SaveXMLDoc() {
    if (m_strPath.empty()) return 0;
    return WriteFile(m_strPath, Encrypt(GetXml())) ? 1 : 0;
}

int CXMLDoc::SaveXmlToFile(const std::string& path) {
    return WriteFile(path, Encrypt(GetXml())) ? 1 : 0;
}

}  // namespace velkor
