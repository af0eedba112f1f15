// Internal: the small byte-text helpers the subsystems share. Bytes are
// classified by their ASCII value only; lead and trail bytes of the active
// code page (all >= 0x80) are never blanks and never change case here.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>

namespace velkor::text {

// Blanks that separate fields on one line: ' ' and '\t'.
constexpr bool IsSpaceOrTab(char c) { return c == ' ' || c == '\t'; }
// Blanks and line ends: ' ', '\t', '\r', '\n'.
inline constexpr std::string_view kLineBlanks = " \t\r\n";
constexpr bool IsLineBlank(char c) { return kLineBlanks.find(c) != std::string_view::npos; }
// Markup white space: the line blanks and '\f'.
constexpr bool IsMarkupSpace(char c) { return IsLineBlank(c) || c == '\f'; }
// True when s holds nothing but line blanks (also when it is empty).
inline bool IsBlankLine(std::string_view s) { return std::all_of(s.begin(), s.end(), IsLineBlank); }

constexpr char AsciiToLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }
constexpr char AsciiToUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }
inline std::string AsciiLowered(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), AsciiToLower);
    return s;
}
inline std::string AsciiUppered(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), AsciiToUpper);
    return s;
}

// s without the leading / trailing bytes that are in chars.
inline std::string TrimLeft(const std::string& s, std::string_view chars = kLineBlanks) {
    const std::size_t first = s.find_first_not_of(chars);
    return first == std::string::npos ? std::string() : s.substr(first);
}
inline std::string TrimRight(const std::string& s, std::string_view chars = kLineBlanks) {
    const std::size_t last = s.find_last_not_of(chars);
    return last == std::string::npos ? std::string() : s.substr(0, last + 1);
}
inline std::string Trim(const std::string& s, std::string_view chars = kLineBlanks) {
    return TrimLeft(TrimRight(s, chars), chars);
}

// A server path joined with one name below it, with exactly one '/' between.
inline std::string JoinServerPath(const std::string& dir, const std::string& name) {
    if (dir.empty()) return name;
    return dir.back() == '/' ? dir + name : dir + "/" + name;
}

// Where "host:port" splits: the host and the text after the port's colon
// ("" when there is none). An IPv6 address goes in brackets ("[::1]:21",
// given back without them); one without brackets ("::1") has no port.
struct HostPort {
    std::string host, port;
};
inline HostPort SplitHostPort(std::string_view text) {
    if (!text.empty() && text.front() == '[') {
        const std::size_t close = text.find(']');
        if (close != std::string_view::npos && (close + 1 == text.size() || text[close + 1] == ':'))
            return {std::string(text.substr(1, close - 1)),
                    close + 1 == text.size() ? std::string() : std::string(text.substr(close + 2))};
    }
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos || text.find(':', colon + 1) != std::string_view::npos)
        return {std::string(text), std::string()};
    return {std::string(text.substr(0, colon)), std::string(text.substr(colon + 1))};
}

// True when the text holds CR, LF or NUL: in a protocol command or request
// line the rest would reach the peer as a line of its own.
inline bool BreaksLine(std::string_view s) { return s.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos; }

}  // namespace velkor::text
