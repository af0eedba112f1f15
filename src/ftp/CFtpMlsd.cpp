// CFtp: machine-readable listing lines (MLSD, RFC 3659).
#include <cstring>
#include <string>
#include <string_view>

#include "ftp/CFtp.h"
#include "platform/Text.h"

namespace velkor {

namespace {

char* HeapCopy(std::string_view s) {
    char* copy = new char[s.size() + 1];
    std::memcpy(copy, s.data(), s.size());
    copy[s.size()] = '\0';
    return copy;
}

// Digits only, within 64 bits.
bool ReadDecimal(std::string_view s, std::uint64_t& out) {
    if (s.empty() || s.size() > 20) return false;
    std::uint64_t v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        const std::uint64_t digit = static_cast<std::uint64_t>(c - '0');
        if (v > (UINT64_MAX - digit) / 10) return false;
        v = v * 10 + digit;
    }
    out = v;
    return true;
}

std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

// "YYYYMMDDHHMMSS[.sss]" in UTC: seconds since 1970, or -1.
std::int64_t ReadTime(std::string_view s) {
    const std::size_t dot = s.find('.');
    const std::string_view whole = s.substr(0, dot);
    std::uint64_t f[6];
    static constexpr std::size_t kAt[6] = {0, 4, 6, 8, 10, 12}, kLen[6] = {4, 2, 2, 2, 2, 2};
    if (whole.size() != 14) return -1;
    for (int i = 0; i < 6; ++i)
        if (!ReadDecimal(whole.substr(kAt[i], kLen[i]), f[i])) return -1;
    static constexpr unsigned kDays[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (f[1] < 1 || f[1] > 12 || f[2] < 1 || f[2] > kDays[f[1] - 1] || f[3] > 23 || f[4] > 59 || f[5] > 60)
        return -1;
    return DaysFromCivil(static_cast<std::int64_t>(f[0]), static_cast<unsigned>(f[1]),
                         static_cast<unsigned>(f[2])) * 86400 +
           static_cast<std::int64_t>(f[3] * 3600 + f[4] * 60 + f[5]);
}

// "rwxr-x---" from an octal mode such as "0755"; empty when it is not one.
std::string ModeText(std::string_view mode) {
    if (mode.empty() || mode.size() > 6) return {};
    unsigned v = 0;
    for (char c : mode) {
        if (c < '0' || c > '7') return {};
        v = v * 8 + static_cast<unsigned>(c - '0');
    }
    std::string out(9, '-');
    for (int i = 0; i < 9; ++i)
        if (v & (0400u >> i)) out[static_cast<std::size_t>(i)] = "rwx"[i % 3];
    return out;
}

}  // namespace

bool CFtp::Parse_mlsd(const char* line, CFtpFile* file) {
    if (!line || !file) return false;
    const std::string_view all(line);
    const std::size_t blank = all.find(' ');
    if (blank == std::string_view::npos || blank == 0 || blank + 1 >= all.size()) return false;
    const std::string_view facts = all.substr(0, blank), name = all.substr(blank + 1);
    std::string_view type, mode, owner, group;
    std::uint64_t size = 0;
    std::int64_t modified = -1;
    int count = 0, understood = 0;
    for (std::size_t start = 0; start < facts.size() && count < kMaxMlsdFacts; ++count) {
        std::size_t end = facts.find(';', start);
        if (end == std::string_view::npos) end = facts.size();
        const std::string_view fact = facts.substr(start, end - start);
        start = end + 1;
        const std::size_t eq = fact.find('=');
        if (eq == std::string_view::npos) continue;
        const std::string key = text::AsciiLowered(std::string(fact.substr(0, eq)));
        const std::string_view value = fact.substr(eq + 1);
        ++understood;
        std::uint64_t number = 0;
        if (key == "type") type = value;
        else if ((key == "size" || key == "sizd") && ReadDecimal(value, number)) size = number;
        else if (key == "modify") modified = ReadTime(value);
        else if (key == "unix.mode") mode = value;
        // Names before numbers (ProFTPD sends both).
        else if (key == "unix.ownername" || (key == "unix.owner" && owner.empty())) owner = value;
        else if (key == "unix.groupname" || (key == "unix.group" && group.empty())) group = value;
    }
    if (understood == 0) return false;  // not an MLSD line
    const std::string kind = text::AsciiLowered(std::string(type));
    if (kind == "cdir" || kind == "pdir") return false;
    const bool directory = kind == "dir";
    const bool link = kind.rfind("os.unix=slink", 0) == 0 || kind == "os.unix=symlink";
    std::string permission = ModeText(mode);
    if (permission.empty()) permission.assign(9, '-');
    permission.insert(permission.begin(), directory ? 'd' : link ? 'l' : '-');

    file->m_pszName = HeapCopy(name);
    file->m_pszOwner = HeapCopy(owner.empty() ? std::string_view("unknown") : owner);
    file->m_pszGroup = HeapCopy(group.empty() ? std::string_view("unknown") : group);
    file->m_pszPermission = HeapCopy(permission);
    file->m_tModifiedUtc = modified;
    file->m_tModified = modified >= INT32_MIN && modified <= INT32_MAX ? static_cast<std::int32_t>(modified) : -1;
    file->m_nSize64 = directory ? 0 : size;
    file->m_nSize = Saturated32OrZero(file->m_nSize64);
    file->m_bDirectory = directory;
    file->m_bLink = link;
    file->m_bExec = permission.find('x') != std::string::npos;
    return true;
}

}  // namespace velkor
