#include "platform/markup/CXMLLine.h"

#include "platform/CodePage.h"
#include "platform/markup/CXMLParser.h"

namespace velkor {

void CXMLLine::SetElement(const std::string& element) {
    m_strElement = element;
    m_bRaw = false;
}

void CXMLLine::SetType(int type) {
    m_nType = type;
    if (type != kText && type != kVerbatim) m_bRaw = false;
}

void CXMLLine::AddAttribute(const std::string& name, const std::string& value) {
    m_attributes.emplace_back(name, value);
    m_bRaw = false;
}

std::string CXMLLine::GetAttrValue(const std::string& name) const {
    for (const auto& [n, v] : m_attributes)
        if (MbcsEqualNoCase(n, name)) return v;
    return {};
}

void CXMLLine::SetAttrValue(const std::string& name, const std::string& value) {
    m_bRaw = false;
    for (auto& [n, v] : m_attributes) {
        if (MbcsEqualNoCase(n, name)) {
            v = value;
            return;
        }
    }
    m_attributes.emplace_back(name, value);
}

bool CXMLLine::IsElementOK(const std::string& element) const {
    return (m_nType == kOpen || m_nType == kStandalone || m_nType == kClose) &&
           MbcsEqualNoCase(m_strElement, element);
}

std::string CXMLLine::GetLine() const {
    if (m_bRaw || m_nType == kText || m_nType == kVerbatim) return m_strLine;
    if (m_nType == kClose) return "</" + m_strElement + ">";
    std::string out = "<" + m_strElement;
    for (const auto& [n, v] : m_attributes) out += " " + n + "=\"" + CXMLParser::Encode(v) + "\"";
    out += m_nType == kStandalone ? "/>" : ">";
    return out;
}

void CXMLLine::SetLine(const std::string& text, int type) {
    m_strLine = text;
    m_nType = type;
    m_bRaw = true;
    if (type == kClose) {
        // "</name>": the element is the name.
        std::size_t start = text.find("</");
        start = start == std::string::npos ? 0 : start + 2;
        const std::size_t end = text.find_first_of("> \t\r\n", start);
        m_strElement = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    }
}

}  // namespace velkor
