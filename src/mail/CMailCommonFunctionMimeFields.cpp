// CMailCommonFunction: the scanners of MIME header fields and bodies.
#include "mail/CMailCommonFunction.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "platform/CodePage.h"
#include "platform/Text.h"

namespace velkor {

namespace {

std::string MbcsLowered(std::string s) {
    MbcsMakeLower(s);
    return s;
}

// Removes every leading and trailing double quote.
std::string StripQuotes(const std::string& s) {
    const std::size_t first = s.find_first_not_of('"');
    if (first == std::string::npos) return {};
    const std::size_t last = s.find_last_not_of('"');
    return s.substr(first, last - first + 1);
}

// Splits "main; params" at the first ';'.
void SplitAtSemicolon(const std::string& value, std::string& main, std::string& params) {
    const std::size_t semi = value.find(';');
    if (semi == std::string::npos) {
        main = value;
        params.clear();
    } else {
        main = value.substr(0, semi);
        params = text::TrimLeft(value.substr(semi + 1), " ");
    }
}

// Finds `word` in `lower` outside double-quoted values: a hit preceded by an
// odd number of quotes (counted from the second character) is skipped. The
// quotes are counted once, as the search moves on.
std::size_t FindOutsideQuotes(const std::string& lower, const char* word) {
    std::size_t from = 0, counted = 1, quotes = 0;
    for (;;) {
        const std::size_t hit = lower.find(word, from);
        if (hit == std::string::npos) return hit;
        if (hit > counted) {
            quotes += static_cast<std::size_t>(
                std::count(lower.begin() + static_cast<std::ptrdiff_t>(counted),
                           lower.begin() + static_cast<std::ptrdiff_t>(hit), '"'));
            counted = hit;
        }
        if (quotes % 2 == 0) return hit;
        from = hit + 1;
    }
}

// "name=value": true with the parts when there is an '='.
bool SplitParameter(const std::string& param, std::string& name, std::string& value) {
    const std::size_t eq = param.find('=');
    if (eq == std::string::npos) return false;
    name = param.substr(0, eq);
    value = param.substr(eq + 1);
    return true;
}

int HexDigit(char c) {
    return c >= '0' && c <= '9' ? c - '0'
           : c >= 'a' && c <= 'f' ? c - 'a' + 10
           : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                  : -1;
}

std::string PercentDecoded(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 &&
            HexDigit(text[i + 2]) >= 0) {
            out += static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// An RFC 2231 parameter `base*=charset'lang'%XX` or its continuations
// `base*0*=charset'lang'%XX; base*1*=%XX; base*2="plain"` (at most
// kMaxSections), as bytes with their charset.
std::string ExtendedParameter(const std::string& params, const std::string& base,
                              std::string& charset) {
    constexpr std::size_t kMaxSections = 100;
    std::vector<std::string> sections;
    charset.clear();
    std::size_t pos = 0;
    while (pos <= params.size()) {
        const std::size_t semi = std::min(params.find(';', pos), params.size());
        const std::string piece = text::Trim(params.substr(pos, semi - pos));
        pos = semi + 1;
        const std::size_t eq = piece.find('=');
        if (eq == std::string::npos) continue;
        std::string name = MbcsLowered(text::Trim(piece.substr(0, eq)));
        std::string value = text::Trim(piece.substr(eq + 1));
        if (name.compare(0, base.size() + 1, base + "*") != 0) continue;
        name.erase(0, base.size() + 1);
        const bool encoded = name.empty() || name.back() == '*';
        if (!name.empty() && name.back() == '*') name.pop_back();
        std::size_t index = 0;
        if (!name.empty()) {
            if (name.find_first_not_of("0123456789") != std::string::npos || name.size() > 3) continue;
            index = static_cast<std::size_t>(std::stoi(name));
        }
        if (index >= kMaxSections) continue;
        if (encoded && index == 0) {
            value = StripQuotes(value);
            const std::size_t first = value.find('\'');
            const std::size_t second =
                first == std::string::npos ? first : value.find('\'', first + 1);
            if (second != std::string::npos) {
                charset = value.substr(0, first);
                value.erase(0, second + 1);
            }
        }
        if (sections.size() <= index) sections.resize(index + 1);
        sections[index] = encoded ? PercentDecoded(value) : StripQuotes(value);
        if (name.empty()) break;  // `base*=`: the whole value
    }
    std::string out;
    for (const std::string& section : sections) out += section;
    return out;
}

bool IsExtendedName(const std::string& name, const char* base) {
    const std::string lower = MbcsLowered(name);
    const std::string star = std::string(base) + "*";
    return lower == star || (lower.rfind(star, 0) == 0 && lower.size() > star.size() &&
                             std::isdigit(static_cast<unsigned char>(lower[star.size()])));
}

}  // namespace

std::string CMailCommonFunction::ComposeFileNameParameter(const std::string& param,
                                                          const std::string& name,
                                                          const std::string& charset) {
    bool plain = true;
    for (char c : name) plain &= static_cast<unsigned char>(c) < 0x80 && c != '"' && c != '\\';
    if (plain) return param + "=\"" + name + "\"";
    static const char* const kHex = "0123456789ABCDEF";
    std::string out = param + "*=" + (charset.empty() ? "utf-8" : charset) + "''";
    for (char c : name) {
        const auto b = static_cast<unsigned char>(c);
        if (std::isalnum(b) || std::strchr("!#$&+-.^_`|~", c)) {
            out += c;
        } else {
            out += '%';
            out += kHex[b >> 4];
            out += kHex[b & 15];
        }
    }
    return out;
}

int CMailCommonFunction::ParseContentType(const std::string& value, std::string& type,
                                          std::string& subtype, std::string& params) {
    std::string main;
    SplitAtSemicolon(value, main, params);
    const std::size_t slash = main.find('/');
    if (slash != std::string::npos) {
        type = main.substr(0, slash);
        subtype = main.substr(slash + 1);
    }
    type = type.empty() ? "text" : MbcsLowered(type);
    subtype = subtype.empty() ? "plain" : MbcsLowered(subtype);
    return 1;
}

int CMailCommonFunction::ParseContentDisposition(const std::string& value,
                                                 std::string& disposition, std::string& fileName,
                                                 std::string& charset) {
    std::string params;
    SplitAtSemicolon(value, disposition, params);
    MbcsMakeLower(disposition);
    std::string name, raw;
    if (!SplitParameter(params, name, raw)) return 0;
    if (MbcsEqualNoCase(name, "filename")) {
        DecodeHeaderItem(StripQuotes(raw), fileName, charset);
        return 1;
    }
    if (IsExtendedName(name, "filename")) {
        fileName = ExtendedParameter(params, "filename", charset);
        return 1;
    }
    return 0;
}

std::string CMailCommonFunction::GetMultipartBoundary(const std::string& params) {
    const std::string lower = MbcsLowered(params);
    const std::size_t hit = FindOutsideQuotes(lower, "boundary");
    if (hit == std::string::npos) return {};
    // The value after the '=': quoted, or up to a blank or ';'. (A quote
    // further on belongs to another parameter, and a ';' ends the value:
    // taking either would lose every part of the mail.)
    const std::size_t eq = params.find('=', hit);
    if (eq == std::string::npos) return {};
    const std::size_t from = params.find_first_not_of(' ', eq + 1);
    if (from == std::string::npos) return {};
    if (params[from] == '"') {
        const std::size_t close = params.find('"', from + 1);
        return close == std::string::npos ? std::string()
                                          : params.substr(from + 1, close - from - 1);
    }
    const std::size_t stop = params.find_first_of(" ;", from);
    return params.substr(from, stop == std::string::npos ? std::string::npos : stop - from);
}

std::string CMailCommonFunction::GetFirstPartType(const std::string& params) {
    const std::string lower = MbcsLowered(params);
    const std::size_t hit = FindOutsideQuotes(lower, "type");
    if (hit == std::string::npos) return {};
    const std::size_t quote = lower.find('"', hit);
    if (quote == std::string::npos) return {};
    const std::size_t close = lower.find('"', quote + 1);
    if (close == std::string::npos) return {};
    return lower.substr(quote + 1, close - quote - 1);
}

std::string CMailCommonFunction::GetTextCharset(const std::string& param) {
    std::string name, value;
    if (!SplitParameter(param, name, value) || !MbcsEqualNoCase(name, "charset")) return {};
    if (value.empty()) value = "us-ascii";
    return StripQuotes(MbcsLowered(value));
}

std::string CMailCommonFunction::GetFilename(const std::string& param) {
    std::string name, value;
    if (!SplitParameter(param, name, value)) return {};
    if (IsExtendedName(name, "name")) {
        std::string charset;
        return ExtendedParameter(param, "name", charset);
    }
    if (!MbcsEqualNoCase(name, "name")) return {};
    value = MbcsLowered(value);
    value.erase(std::remove(value.begin(), value.end(), '"'), value.end());
    return value;
}

int CMailCommonFunction::GetRelatedInfo(const std::string& params, std::string& type,
                                        std::string& start, std::string& startInfo) {
    std::size_t pos = 0;
    for (;;) {
        const std::size_t semi = params.find(';', pos);
        const std::string piece =
            params.substr(pos, semi == std::string::npos ? std::string::npos : semi - pos);
        std::string name, value;
        if (SplitParameter(piece, name, value)) {
            if (MbcsEqualNoCase(name, "type")) type = value;
            else if (MbcsEqualNoCase(name, "start")) start = value;
            else if (MbcsEqualNoCase(name, "start-info")) startInfo = value;
        }
        if (semi == std::string::npos) break;
        pos = semi + 1;
    }
    return 1;
}

int CMailCommonFunction::SplitMultipart(const std::string& text, std::uint32_t start,
                                        std::uint32_t end, const std::string& boundary,
                                        std::vector<std::uint32_t>& starts,
                                        std::vector<std::uint32_t>& ends) {
    const std::string delimiter = "--" + boundary;
    const std::string closing = delimiter + "--";
    std::size_t hit = text.find(delimiter, start);
    if (hit == std::string::npos || hit >= end) return 0;
    std::size_t partStart = hit + delimiter.size();
    for (hit = text.find(delimiter, partStart); hit != std::string::npos;
         hit = text.find(delimiter, partStart)) {
        if (hit >= end) return 0;
        starts.push_back(static_cast<std::uint32_t>(partStart));
        ends.push_back(static_cast<std::uint32_t>(hit));
        if (text.compare(hit, closing.size(), closing) == 0) return 1;
        partStart = hit + delimiter.size();
    }
    starts.push_back(static_cast<std::uint32_t>(partStart));
    ends.push_back(end);
    return 1;
}

int CMailCommonFunction::SplitMultipart2(const std::string& text, std::uint32_t start,
                                         std::uint32_t end, std::vector<std::uint32_t>& starts,
                                         std::vector<std::uint32_t>& ends) {
    // The "end" of a block is looked for after its "begin", so that an
    // "end" line standing before it cannot make a range that ends before it
    // starts.
    std::size_t begin = text.find("\r\nbegin", start);
    while (begin != std::string::npos) {
        const std::size_t finish = text.find("\r\nend", begin + 2);
        if (begin > end || finish == std::string::npos || finish > end) break;
        starts.push_back(static_cast<std::uint32_t>(begin + 2));
        ends.push_back(static_cast<std::uint32_t>(finish + 5));
        begin = text.find("\r\nbegin", finish + 5);
    }
    return 1;
}

int CMailCommonFunction::SplitLine(const std::string& line, std::string& name,
                                   std::string& value) {
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos) return 0;
    name = line.substr(0, colon);
    name.erase(name.find_last_not_of(" \t") + 1);
    const std::size_t first = line.find_first_not_of(" \t", colon + 1);
    value = first == std::string::npos ? std::string() : line.substr(first);
    return 1;
}

int CMailCommonFunction::SplitString(const std::string& text, std::vector<std::string>& lines,
                                     int start, int end) {
    lines.clear();
    const std::size_t len = text.size();
    std::size_t pos = start < 0 ? 0 : static_cast<std::size_t>(start);
    // -1 is the length; an end past the text is kept as given (the last,
    // empty line after a final CR LF counts).
    const std::size_t stop = end < 0 ? len : static_cast<std::size_t>(end);
    if (pos >= stop) return 1;
    for (;;) {
        const std::size_t eol = pos >= len ? std::string::npos : text.find("\r\n", pos);
        if (eol == std::string::npos) {
            lines.push_back(pos >= len ? std::string() : text.substr(pos));
            return 1;
        }
        std::string line = text.substr(pos, eol - pos);
        if (!line.empty()) {
            std::replace(line.begin(), line.end(), '\t', ' ');
            if (line[0] == ' ') {
                line.erase(0, line.find_first_not_of(' '));
                if (!lines.empty()) {
                    lines.back() += line;
                    line.clear();
                    pos = eol + 2;
                    if (pos >= stop) return 1;
                    continue;
                }
            }
        }
        lines.push_back(std::move(line));
        pos = eol + 2;
        if (pos >= stop) return 1;
    }
}

}  // namespace velkor
