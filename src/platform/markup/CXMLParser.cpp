#include "platform/markup/CXMLParser.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "platform/CodePage.h"
#include "platform/Text.h"

namespace velkor {

using text::AsciiToLower;
using text::IsMarkupSpace;

namespace {

bool IsNameStart(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' ||
           static_cast<unsigned char>(c) >= 0x80;
}
bool IsNameChar(char c) {
    return IsNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.' || c == ':';
}

// HTML elements that never have a closing tag.
bool IsVoidElement(const std::string& name) {
    static const char* const kVoid[] = {"area", "base", "br",   "col",   "embed", "hr",
                                        "img",  "input", "link", "meta", "param", "source",
                                        "track", "wbr"};
    for (const char* v : kVoid)
        if (MbcsEqualNoCase(name, v)) return true;
    return false;
}

// Does markup start at text[i] ("<" and then a name, "/", "!" or "?")?
bool MarkupStarts(const std::string& text, std::size_t i) {
    if (text[i] != '<' || i + 1 >= text.size()) return false;
    const char c = text[i + 1];
    return IsNameStart(c) || c == '!' || c == '?' ||
           (c == '/' && i + 2 < text.size() && IsNameStart(text[i + 2]));
}

// The position of "</name" (any case) from `from` on, or npos.
std::size_t FindClosing(const std::string& text, std::size_t from, const std::string& name) {
    for (std::size_t p = text.find("</", from); p != std::string::npos; p = text.find("</", p + 2)) {
        std::size_t k = 0;
        while (k < name.size() && p + 2 + k < text.size() &&
               AsciiToLower(text[p + 2 + k]) == AsciiToLower(name[k]))
            ++k;
        if (k == name.size()) return p;
    }
    return std::string::npos;
}

}  // namespace

CXMLLine* CXMLParser::GetLineAt(int index) const {
    if (index < 0 || index >= GetLineCount()) return nullptr;
    return m_lines[static_cast<std::size_t>(index)].get();
}

int CXMLParser::SetXml(const std::string& text) {
    m_lines.clear();
    if (text.empty()) return 0;
    const std::size_t n = text.size();
    const auto add = [this](int type, std::string raw, std::string element = {}) {
        auto line = std::make_unique<CXMLLine>();
        line->m_nType = type;
        line->m_strLine = std::move(raw);
        line->m_strElement = std::move(element);
        line->m_bRaw = true;
        m_lines.push_back(std::move(line));
        return m_lines.back().get();
    };
    std::size_t i = 0;
    while (i < n) {
        if (!MarkupStarts(text, i)) {
            // Text up to the next markup; a stray "<" stays part of it.
            std::size_t p = i + 1;
            for (; p < n; ++p) {
                p = text.find('<', p);
                if (p == std::string::npos) {
                    p = n;
                    break;
                }
                if (MarkupStarts(text, p)) break;
            }
            const bool blank = std::all_of(text.begin() + static_cast<std::ptrdiff_t>(i),
                                           text.begin() + static_cast<std::ptrdiff_t>(p), IsMarkupSpace);
            if (!blank) add(CXMLLine::kText, text.substr(i, p - i));
            i = p;
            continue;
        }
        const char c = text[i + 1];
        if (c == '!' || c == '?') {
            // Comments, declarations, processing instructions: verbatim.
            const char* close = text.compare(i, 4, "<!--") == 0 ? "-->" : c == '?' ? "?>" : ">";
            std::size_t end = text.find(close, i + 2);
            end = end == std::string::npos ? n : end + std::strlen(close);
            add(CXMLLine::kVerbatim, text.substr(i, end - i));
            i = end;
            continue;
        }
        if (c == '/') {
            std::size_t k = i + 2;
            while (k < n && IsNameChar(text[k])) ++k;
            std::size_t end = text.find('>', k);
            end = end == std::string::npos ? n : end + 1;
            add(CXMLLine::kClose, text.substr(i, end - i), text.substr(i + 2, k - i - 2));
            i = end;
            continue;
        }
        // An opening or stand-alone tag with its attributes.
        std::size_t k = i + 1;
        while (k < n && IsNameChar(text[k])) ++k;
        std::string element = text.substr(i + 1, k - i - 1);
        std::vector<std::pair<std::string, std::string>> attributes;
        bool selfClosed = false, ended = false;
        while (k < n) {
            while (k < n && IsMarkupSpace(text[k])) ++k;
            if (k >= n) break;
            if (text[k] == '>') {
                ended = true;
                ++k;
                break;
            }
            if (text[k] == '/' && k + 1 < n && text[k + 1] == '>') {
                selfClosed = ended = true;
                k += 2;
                break;
            }
            const std::size_t nameStart = k;
            while (k < n && !IsMarkupSpace(text[k]) && text[k] != '=' && text[k] != '>' &&
                   !(text[k] == '/' && k + 1 < n && text[k + 1] == '>'))
                ++k;
            std::string name = text.substr(nameStart, k - nameStart);
            if (name.empty()) {
                ++k;  // a stray character such as a lone "/"
                continue;
            }
            std::size_t look = k;
            while (look < n && IsMarkupSpace(text[look])) ++look;
            std::string value;
            if (look < n && text[look] == '=') {
                k = look + 1;
                while (k < n && IsMarkupSpace(text[k])) ++k;
                if (k < n && (text[k] == '"' || text[k] == '\'')) {
                    const char quote = text[k];
                    const std::size_t close = text.find(quote, k + 1);
                    const std::size_t stop = close == std::string::npos ? n : close;
                    value = Decode(text.substr(k + 1, stop - k - 1));
                    k = close == std::string::npos ? n : close + 1;
                } else {
                    const std::size_t start = k;
                    while (k < n && !IsMarkupSpace(text[k]) && text[k] != '>') ++k;
                    value = Decode(text.substr(start, k - start));
                }
            }
            attributes.emplace_back(std::move(name), std::move(value));
        }
        if (!ended) {
            // A tag cut off by the end of the text: keep it as text.
            add(CXMLLine::kText, text.substr(i));
            break;
        }
        const bool standalone = selfClosed || IsVoidElement(element);
        CXMLLine* line = add(standalone ? CXMLLine::kStandalone : CXMLLine::kOpen,
                             text.substr(i, k - i), element);
        line->m_attributes = std::move(attributes);
        i = k;
        if (!standalone && (MbcsEqualNoCase(element, "script") || MbcsEqualNoCase(element, "style"))) {
            std::size_t close = FindClosing(text, i, element);
            if (close == std::string::npos) close = n;
            const bool blank = std::all_of(text.begin() + static_cast<std::ptrdiff_t>(i),
                                           text.begin() + static_cast<std::ptrdiff_t>(close),
                                           IsMarkupSpace);
            if (!blank) add(CXMLLine::kVerbatim, text.substr(i, close - i));
            i = close;
        }
    }
    return 1;
}

std::string CXMLParser::GetXml() const {
    std::size_t size = 0;
    for (const auto& l : m_lines) size += l->m_strLine.size() + 2;
    std::string out;
    out.reserve(size);
    for (const auto& l : m_lines) {
        out += l->GetLine();
        out += "\r\n";
    }
    return out;
}

int CXMLParser::GetTagLine(int start, const std::string& element) const {
    for (int i = std::max(start, 0); i < GetLineCount(); ++i) {
        const CXMLLine& l = *m_lines[static_cast<std::size_t>(i)];
        if ((l.GetType() == CXMLLine::kOpen || l.GetType() == CXMLLine::kStandalone) &&
            MbcsEqualNoCase(l.GetElement(), element))
            return i;
    }
    return -1;
}

int CXMLParser::GetMatchTagLine(int index) const {
    const CXMLLine* open = GetLineAt(index);
    if (!open || open->GetType() != CXMLLine::kOpen) return -1;
    int depth = 0;
    for (int i = index + 1; i < GetLineCount(); ++i) {
        const CXMLLine& l = *m_lines[static_cast<std::size_t>(i)];
        if (!MbcsEqualNoCase(l.GetElement(), open->GetElement())) continue;
        if (l.GetType() == CXMLLine::kOpen) {
            ++depth;
        } else if (l.GetType() == CXMLLine::kClose) {
            if (depth == 0) return i;
            --depth;
        }
    }
    return -1;
}

void CXMLParser::AddLine(int index, std::vector<std::unique_ptr<CXMLLine>> lines) {
    const int at = std::clamp(index, 0, GetLineCount());
    m_lines.insert(m_lines.begin() + at, std::make_move_iterator(lines.begin()),
                   std::make_move_iterator(lines.end()));
}

void CXMLParser::DelLine(int index, int count) {
    if (index < 0 || index >= GetLineCount() || count <= 0) return;
    const int end = std::min(GetLineCount(), index + count);
    m_lines.erase(m_lines.begin() + index, m_lines.begin() + end);
}

std::string CXMLParser::Encode(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&apos;"; break;
            default: out += c;
        }
    }
    return out;
}

std::string CXMLParser::Decode(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    static const std::pair<const char*, char> kNamed[] = {
        {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '&') {
            out += text[i];
            continue;
        }
        bool done = false;
        for (const auto& [entity, c] : kNamed) {
            const std::size_t len = std::strlen(entity);
            if (text.compare(i, len, entity) == 0) {
                out += c;
                i += len - 1;
                done = true;
                break;
            }
        }
        if (!done && i + 2 < text.size() && text[i + 1] == '#') {
            const bool hex = text[i + 2] == 'x' || text[i + 2] == 'X';
            std::size_t k = i + (hex ? 3 : 2);
            unsigned value = 0;
            const std::size_t digitsStart = k;
            while (k < text.size() && k - digitsStart < 6 &&
                   (hex ? std::isxdigit(static_cast<unsigned char>(text[k]))
                        : std::isdigit(static_cast<unsigned char>(text[k])))) {
                const char d = text[k];
                value = value * (hex ? 16 : 10) +
                        static_cast<unsigned>(d <= '9' ? d - '0' : (d | 0x20) - 'a' + 10);
                ++k;
            }
            if (k > digitsStart && k < text.size() && text[k] == ';' && value > 0 && value < 128) {
                out += static_cast<char>(value);
                i = k;
                done = true;
            }
        }
        if (!done) out += '&';  // a stray or unknown "&" stays as written
    }
    return out;
}

}  // namespace velkor
