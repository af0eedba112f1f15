// CXMLLine: one line of a markup document: an element name, its attributes
// in order, a type and the line's text.
//
// Types: 0 a stand-alone element, 1 an opening tag, 4 text, -1 a raw closing
// line, 5 anything else kept verbatim (comments, declarations, script and
// style contents). A line read from a page keeps its text as written until an
// attribute changes; then GetLine renders it from element and attributes.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace velkor {

class CXMLLine {
public:
    static constexpr int kStandalone = 0;
    static constexpr int kOpen = 1;
    static constexpr int kText = 4;
    static constexpr int kClose = -1;
    static constexpr int kVerbatim = 5;

    void SetElement(const std::string& element);
    const std::string& GetElement() const { return m_strElement; }
    void SetType(int type);
    int GetType() const { return m_nType; }
    // Appends an attribute (values are plain text; markup is escaped when
    // the line is rendered).
    void AddAttribute(const std::string& name, const std::string& value);
    // The value of the first attribute of that name (any case); "" when absent.
    std::string GetAttrValue(const std::string& name) const;
    // Sets the first attribute of that name, or appends it.
    void SetAttrValue(const std::string& name, const std::string& value);
    const std::vector<std::pair<std::string, std::string>>& Attributes() const {
        return m_attributes;
    }
    // True when the line is of that element (any case).
    bool IsElementOK(const std::string& element) const;
    // The text: as read, or rendered after a change.
    std::string GetLine() const;
    // Stores a text as it is; with type -1 a raw closing line ("</x>"),
    // whose element is taken from the text.
    void SetLine(const std::string& text, int type);

private:
    friend class CXMLParser;
    std::string m_strElement;
    std::vector<std::pair<std::string, std::string>> m_attributes;
    int m_nType = kText;
    std::string m_strLine;
    bool m_bRaw = false;  // m_strLine is the text as read or as set
};

}  // namespace velkor
