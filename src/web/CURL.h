// CURLComponent and CURL: a URL's six components, and splitting, joining
// and resolving URLs.
//
// The split follows the component rules of relative URLs (scheme, network
// location, path, parameters, query, fragment) with these binding
// differences: an address with "//" and no "/" after the host keeps its
// query inside the network location, the query is split off before the
// parameters, and a "/../" at the start of a merged path stays.
#pragma once

#include <string>

namespace velkor {

class CURLComponent {
public:
    CURLComponent() = default;
    CURLComponent(const CURLComponent&) = default;
    CURLComponent& operator=(const CURLComponent&) = default;
    virtual ~CURLComponent() = default;

    std::string m_strScheme;    // without ":"
    std::string m_strNetLoc;    // without "//"
    std::string m_strPath;      // with its leading "/" if any
    std::string m_strParams;    // without ";"
    std::string m_strQuery;     // without "?"
    std::string m_strFragment;  // without "#"
};

class CURL {
public:
    CURL() = default;
    CURL(const CURL&) = default;
    CURL& operator=(const CURL&) = default;
    virtual ~CURL() = default;

    // Fills only the components the URL has; the others keep their values.
    void Parse(const std::string& url, CURLComponent& parts) const;
    std::string Combine(const CURLComponent& parts) const;
    // Resolves `relative` against `base`.
    std::string GetAbsoluteURL(const std::string& base, const std::string& relative) const;
    // 1 when every byte, lower-cased, is one of a-z 0-9 + - . (also for "").
    int IsSchemeValid(const std::string& scheme) const;
};

}  // namespace velkor
