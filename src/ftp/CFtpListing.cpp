// CFtp: directory-listing lines in EPLF, MS-DOS, NetWare and Unix styles,
// and machine-readable MLSD lines (RFC 3659).
//
// The parsers work on a NUL-terminated private copy of the line and move
// only while the current character is not the terminating NUL, so they never
// read past the end of the line.
#include "ftp/CFtp.h"

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <string_view>

#include "platform/Text.h"

namespace velkor {

namespace {

const char* const kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr const char* kUnknown = "unknown";

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

char* HeapCopy(std::string_view s) {
    char* copy = new char[s.size() + 1];
    std::memcpy(copy, s.data(), s.size());
    copy[s.size()] = '\0';
    return copy;
}

char* SkipBlanks(char* p) {
    while (text::IsSpaceOrTab(*p)) ++p;
    return p;
}

// A decimal number as the C library reads it (leading blanks, sign), kept
// within 32 bits; `end` receives the position after it.
long ReadLong(char* p, char** end) {
    const long long v = std::strtoll(p, end, 10);
    return static_cast<long>(v);
}

std::uint64_t ReadUnsigned(char* p, char** end = nullptr) {
    char* stop = nullptr;
    const unsigned long long v = std::strtoull(p, &stop, 10);
    if (end) *end = stop;
    return v;
}

// A time as a 32-bit time: -1 (the failure value) for one it cannot hold,
// never a wrapped value.
long Time32(std::time_t t) {
    return t < INT32_MIN || t > INT32_MAX ? -1 : static_cast<long>(t);
}

// Both sizes of an entry; a size over 32 bits is 0 ("unknown") in m_nSize,
// never a wrapped value.
void SetSize(CFtpFile* file, std::uint64_t size) {
    file->m_nSize64 = size;
    file->m_nSize = size <= UINT32_MAX ? static_cast<std::uint32_t>(size) : 0;
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

}  // namespace

std::int64_t CFtp::ParseFactTime(std::string_view s) {
    const std::size_t dot = s.find('.');
    const std::string_view whole = s.substr(0, dot);
    std::uint64_t f[6];
    static constexpr std::size_t kAt[6] = {0, 4, 6, 8, 10, 12}, kLen[6] = {4, 2, 2, 2, 2, 2};
    if (whole.size() != 14) return -1;
    for (int i = 0; i < 6; ++i)
        if (!ReadDecimal(whole.substr(kAt[i], kLen[i]), f[i])) return -1;
    static constexpr unsigned kDays[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (f[0] % 4 == 0 && f[0] % 100 != 0) || f[0] % 400 == 0;
    if (f[1] < 1 || f[1] > 12 || f[2] < 1 || f[2] > kDays[f[1] - 1] || (f[1] == 2 && f[2] == 29 && !leap) ||
        f[3] > 23 || f[4] > 59 || f[5] > 60)
        return -1;
    return DaysFromCivil(static_cast<std::int64_t>(f[0]), static_cast<unsigned>(f[1]),
                         static_cast<unsigned>(f[2])) * 86400 +
           static_cast<std::int64_t>(f[3] * 3600 + f[4] * 60 + f[5]);
}

namespace {

// "rwxr-x---" from an octal mode such as "0755"; empty when it is not one.
std::string ModeText(std::string_view mode) {
    // Octal digits, also with Python's "0o" in front (pyftpdlib).
    if (mode.size() > 2 && mode[0] == '0' && (mode[1] == 'o' || mode[1] == 'O')) mode.remove_prefix(2);
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

char* CFtp::copy_token(char** out, char* p) {
    char* end = p;
    while (*end && !text::IsSpaceOrTab(*end)) ++end;
    if (!*end) return nullptr;  // the last token of a line is never copied here
    *end = '\0';
    *out = HeapCopy(p);
    return SkipBlanks(end + 1);
}

char* CFtp::goto_next_token(char* p) {
    while (*p && !text::IsSpaceOrTab(*p)) ++p;
    return SkipBlanks(p);
}

long CFtp::parse_time(char** pp) {
    char* p = *pp;
    std::tm tm{};
    tm.tm_isdst = 0;
    if (IsDigit(p[0]) && p[1] && p[2] == '-') {
        // MS-DOS: mm-dd-yy hh:mm[AP]M
        char* q = nullptr;
        tm.tm_mon = static_cast<int>(ReadLong(p, &q)) - 1;
        if (*q != '-') return 0;
        tm.tm_mday = static_cast<int>(ReadLong(q + 1, &q));
        if (*q != '-') return 0;
        tm.tm_year = static_cast<int>(ReadLong(q + 1, &q));  // years since 1900 as written
        if (*q != ' ') return 0;
        q = SkipBlanks(q);
        tm.tm_hour = static_cast<int>(ReadLong(q, &q));
        if (*q != ':') return 0;
        char* minutes = q + 1;
        tm.tm_min = static_cast<int>(ReadLong(minutes, nullptr));
        const char* half = std::strpbrk(minutes, "AP");
        if (half && *half == 'P' && tm.tm_hour != 12) tm.tm_hour += 12;
        if (half && *half == 'A' && tm.tm_hour == 12) tm.tm_hour = 0;
        *pp = minutes;
        return Time32(std::mktime(&tm));
    }
    // Unix: Mon dd (yyyy | hh:mm)
    for (int m = 0; m < 12; ++m) {
        if (std::strncmp(p, kMonths[m], 3) == 0) {
            tm.tm_mon = m;
            break;
        }
    }
    char* q = p;
    while (*q && !text::IsSpaceOrTab(*q)) ++q;
    if (*q != ' ') return 0;
    q = SkipBlanks(q);
    tm.tm_mday = static_cast<int>(ReadLong(q, &q));
    if (*q != ' ') return 0;
    q = SkipBlanks(q);
    if (!std::strchr(q, ':')) {
        tm.tm_year = static_cast<int>(ReadLong(q, nullptr)) - 1900;
    } else {
        char* colon = nullptr;
        tm.tm_hour = static_cast<int>(ReadLong(q, &colon));
        if (*colon == ':') tm.tm_min = static_cast<int>(ReadLong(colon + 1, nullptr));
        const std::time_t now = std::time(nullptr);
        std::tm today{};
        localtime_r(&now, &today);
        tm.tm_year = today.tm_year;
        // A date ahead of today belongs to last year.
        if (tm.tm_mon > today.tm_mon || (tm.tm_mon == today.tm_mon && tm.tm_mday > today.tm_mday))
            --tm.tm_year;
    }
    *pp = q;
    return Time32(std::mktime(&tm));
}

bool CFtp::Parse_ls_eplf(char* line, CFtpFile* file) {
    file->m_pszPermission = HeapCopy("----------");
    // A fact follows the '+' and every later ','.
    for (char* p = line; *p; ++p) {
        if (p != line && *p != ',') continue;
        char* fact = p + 1;
        switch (*fact) {
            case '\\':
                file->m_pszPermission[0] = 'd';
                break;
            case 'm':
                file->m_tModified = static_cast<std::int32_t>(Time32(ReadLong(fact + 1, nullptr)));
                break;
            case 's':
                SetSize(file, ReadUnsigned(fact + 1));
                break;
            default:
                break;
        }
        if (!*fact) break;
    }
    const char* tab = std::strchr(line, '\t');
    if (!tab) return false;
    file->m_pszName = HeapCopy(tab + 1);
    file->m_pszOwner = HeapCopy(kUnknown);
    file->m_pszGroup = HeapCopy(kUnknown);
    return true;
}

bool CFtp::Parse_ls_nt(char* line, CFtpFile* file) {
    char* p = line;
    const long t = parse_time(&p);
    if (t == 0) return false;
    file->m_tModified = static_cast<std::int32_t>(t);
    file->m_pszOwner = HeapCopy(kUnknown);
    file->m_pszGroup = HeapCopy(kUnknown);
    p = goto_next_token(p);
    if (*p == '<') {
        file->m_pszPermission = HeapCopy("drwxrwxrwx");
    } else {
        file->m_pszPermission = HeapCopy("-rw-rw-rw-");
        SetSize(file, ReadUnsigned(p));
    }
    p = goto_next_token(p);
    if (!*p) return false;
    file->m_pszName = HeapCopy(p);
    return true;
}

bool CFtp::Parse_ls_novell(char* line, CFtpFile* file) {
    if (std::strlen(line) < 13 || line[12] != ' ') return false;
    line[12] = '\0';
    file->m_pszPermission = HeapCopy(line);
    char* p = SkipBlanks(line + 13);
    p = copy_token(&file->m_pszOwner, p);
    if (!p) return false;
    file->m_pszGroup = HeapCopy(kUnknown);
    SetSize(file, ReadUnsigned(p));
    p = goto_next_token(p);
    const long t = parse_time(&p);
    if (t == 0) return false;
    file->m_tModified = static_cast<std::int32_t>(t);
    p = goto_next_token(p);
    if (!*p) return false;
    file->m_pszName = HeapCopy(p);
    return true;
}

bool CFtp::Parse_ls_unix(char* line, int fieldCount, CFtpFile* file) {
    char* p = copy_token(&file->m_pszPermission, line);
    if (!p) return false;
    if (fieldCount < 9) {
        file->m_pszGroup = HeapCopy(kUnknown);
        if (fieldCount == 8) {
            p = copy_token(&file->m_pszOwner, p);
            if (!p) return false;
        } else {
            file->m_pszOwner = HeapCopy(kUnknown);
        }
        p = goto_next_token(p);
    } else {
        p = goto_next_token(p);  // link count
        p = copy_token(&file->m_pszOwner, p);
        if (!p) return false;
        p = copy_token(&file->m_pszGroup, p);
        if (!p) return false;
    }
    const char kind = file->m_pszPermission[0];
    if (kind == 'b' || kind == 'u' || kind == 'c') {
        char* comma = std::strchr(p, ',');
        if (!comma) return false;
        const auto major = static_cast<std::uint32_t>(ReadUnsigned(p));
        char* end = nullptr;
        const auto minor = static_cast<std::uint32_t>(ReadUnsigned(SkipBlanks(comma + 1), &end));
        if (*end != ' ') return false;
        SetSize(file, (major << 16) | minor);
        p = end;
    } else {
        char* end = p;
        while (*end && !text::IsSpaceOrTab(*end)) ++end;
        if (*end != ' ' && *end != '\t') return false;
        SetSize(file, ReadUnsigned(p));
        p = end;
    }
    p = SkipBlanks(p);
    const long t = parse_time(&p);
    if (t == 0) return false;
    file->m_tModified = static_cast<std::int32_t>(t);
    p = goto_next_token(p);
    if (kind == 'l') {
        char* arrow = std::strstr(p, "->");
        if (arrow && arrow > p) arrow[-1] = '\0';
    }
    p = SkipBlanks(p);
    if (!*p) return false;  // an entry without a name is of no use
    file->m_pszName = HeapCopy(p);
    return true;
}

bool CFtp::Parse_ls(const char* line, CFtpFile* file) {
    if (!line || !file) return false;
    std::string copy(line);
    *file = CFtpFile();
    if (!copy.empty() && copy.back() == '\n') copy.pop_back();
    if (!copy.empty() && copy.back() == '\r') copy.pop_back();
    char* s = copy.data();
    const std::size_t len = copy.size();

    bool ok;
    if (len > 0 && s[0] == '+') {
        ok = Parse_ls_eplf(s, file);
    } else if (len > 2 && IsDigit(s[0]) && s[2] == '-') {
        ok = Parse_ls_nt(s, file);
    } else if (len > 2 && s[1] == ' ' && s[2] == '[') {
        ok = Parse_ls_novell(s, file);
    } else {
        if (len > 10) s[10] = ' ';  // a marker right after the mode string
        // Count fields: a field ends at a blank, a tab or ':'. A field ending
        // at ':' (the hour) is followed by one more field (the name).
        int fields = 0;
        int count = -1;
        char* p = s;
        while (*p) {
            while (*p && !text::IsSpaceOrTab(*p) && *p != ':') ++p;
            ++fields;
            if (*p == ':') {
                count = fields + 1;
                break;
            }
            p = SkipBlanks(p);
        }
        if (count < 0) count = fields;
        ok = count >= 7 && Parse_ls_unix(s, count, file);
    }
    if (file->m_pszPermission) {
        const char kind = file->m_pszPermission[0];
        file->m_bDirectory = kind == 'd';
        file->m_bLink = kind == 'l';
        file->m_bBlockDevice = kind == 'b';
        file->m_bCharDevice = kind == 'c';
        file->m_bSocket = kind == 's';
        file->m_bPipe = kind == 'p';
        file->m_bExec = std::strchr(file->m_pszPermission, 'x') && !file->m_bDirectory &&
                        !file->m_bLink;
    }
    return ok;
}

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
        else if (key == "modify") modified = CFtp::ParseFactTime(value);
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
