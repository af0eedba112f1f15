#include "web/CURL.h"

#include <string_view>
#include <vector>

namespace velkor {

namespace {

// Removes every "/../" with the segment before it, the first one first, and
// stops at a "/../" at the very start (which stays). One pass over the
// segments gives what repeating "find the first /../ and cut" would give.
std::string CollapseDotDot(const std::string& path) {
    std::vector<std::string_view> segments;
    for (std::size_t start = 0;;) {
        const std::size_t slash = path.find('/', start);
        segments.push_back(std::string_view(path).substr(
            start, slash == std::string::npos ? std::string::npos : slash - start));
        if (slash == std::string::npos) break;
        start = slash + 1;
    }
    std::vector<std::string_view> out;
    std::size_t i = 0;
    for (; i < segments.size(); ++i) {
        const bool dotDot = segments[i] == ".." && i + 1 < segments.size() && !out.empty();
        if (!dotDot) {
            out.push_back(segments[i]);
            continue;
        }
        if (out.size() == 1 && out[0].empty()) break;  // "/../" at the start stays
        if (out.size() >= 2) {
            out.pop_back();
        } else {
            out[0] = std::string_view();  // no "/" before: the path becomes "/" + rest
        }
    }
    for (; i < segments.size(); ++i) out.push_back(segments[i]);
    std::string result;
    for (std::size_t k = 0; k < out.size(); ++k) {
        if (k) result += '/';
        result += out[k];
    }
    return result;
}

// Every "/./" replaced by "/" (repeatedly, as the replacements overlap),
// in one pass.
std::string RemoveDotSegments(const std::string& path) {
    std::string out;
    out.reserve(path.size());
    for (std::size_t i = 0; i < path.size();) {
        if (path.compare(i, 3, "/./") == 0) {
            i += 2;  // the second "/" may begin the next "/./"
            continue;
        }
        out += path[i++];
    }
    return out;
}

}  // namespace

int CURL::IsSchemeValid(const std::string& scheme) const {
    for (char c : scheme) {
        const char l = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
        const bool ok = (l >= 'a' && l <= 'z') || (l >= '0' && l <= '9') || l == '+' ||
                        l == '-' || l == '.';
        if (!ok) return 0;
    }
    return 1;
}

void CURL::Parse(const std::string& url, CURLComponent& parts) const {
    std::string s = url;
    std::size_t at = s.find('#');
    if (at != std::string::npos) {
        parts.m_strFragment = s.substr(at + 1);
        s.resize(at);
    }
    at = s.find(':');
    if (at != std::string::npos && at > 0 && IsSchemeValid(s.substr(0, at))) {
        parts.m_strScheme = s.substr(0, at);
        s.erase(0, at + 1);
    }
    if (s.compare(0, 2, "//") == 0) {
        s.erase(0, 2);
        at = s.find('/');
        if (at == std::string::npos) {
            parts.m_strNetLoc = s;
            return;
        }
        parts.m_strNetLoc = s.substr(0, at);
        s.erase(0, at);
    }
    at = s.find('?');
    if (at != std::string::npos) {
        parts.m_strQuery = s.substr(at + 1);
        s.resize(at);
    }
    at = s.find(';');
    if (at != std::string::npos) {
        parts.m_strParams = s.substr(at + 1);
        s.resize(at);
    }
    parts.m_strPath = s;
}

std::string CURL::Combine(const CURLComponent& p) const {
    std::string url;
    if (!p.m_strScheme.empty()) url += p.m_strScheme + ":";
    if (!p.m_strNetLoc.empty()) url += "//" + p.m_strNetLoc;
    url += p.m_strPath;
    if (!p.m_strParams.empty()) url += ";" + p.m_strParams;
    if (!p.m_strQuery.empty()) url += "?" + p.m_strQuery;
    if (!p.m_strFragment.empty()) url += "#" + p.m_strFragment;
    return url;
}

std::string CURL::GetAbsoluteURL(const std::string& base, const std::string& relative) const {
    if (base.empty()) return relative;
    if (relative.empty()) return base;
    CURLComponent b, r;
    Parse(base, b);
    Parse(relative, r);
    if (!r.m_strScheme.empty()) return relative;
    r.m_strScheme = b.m_strScheme;
    if (!r.m_strNetLoc.empty()) return Combine(r);
    r.m_strNetLoc = b.m_strNetLoc;
    if (!r.m_strPath.empty() && r.m_strPath[0] == '/') return Combine(r);
    if (!r.m_strPath.empty()) {
        std::string& path = r.m_strPath;
        const std::size_t slash = b.m_strPath.rfind('/');
        if (slash != std::string::npos) path.insert(0, b.m_strPath, 0, slash + 1);
        path = RemoveDotSegments(path);
        if (path.size() >= 2 && path.compare(path.size() - 2, 2, "/.") == 0) {
            while (!path.empty() && path.back() == '.') path.pop_back();
        }
        path = CollapseDotDot(path);
        if (path.size() != 3 && path.size() >= 3 && path.compare(path.size() - 3, 3, "/..") == 0) {
            path.resize(path.size() - 3);
            const std::size_t last = path.rfind('/');
            path.resize(last == std::string::npos ? 0 : last + 1);
        }
        return Combine(r);
    }
    r.m_strPath = b.m_strPath;
    if (!r.m_strParams.empty()) return Combine(r);
    r.m_strParams = b.m_strParams;
    if (!r.m_strQuery.empty()) return Combine(r);
    r.m_strQuery = b.m_strQuery;
    return Combine(r);
}

}  // namespace velkor
