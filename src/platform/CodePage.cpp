#include "platform/CodePage.h"

#include <iconv.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <vector>

#include "platform/Text.h"

namespace velkor {

namespace {

std::atomic<unsigned int> g_activeCodePage{kDefaultCodePage};

using text::AsciiToLower;
using text::AsciiToUpper;

template <typename Change>
void ChangeCase(std::string& s, Change change) {
    const unsigned int cp = GetActiveCodePage();
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (IsLeadByte(cp, static_cast<unsigned char>(s[i]))) {
            ++i;  // keep the trail byte
            continue;
        }
        s[i] = change(s[i]);
    }
}

// Runs iconv over the whole input; false on invalid input or overflow.
bool IconvToUtf16(const char* from, const unsigned char* src, std::size_t len, char16_t* out,
                  std::size_t capacity, std::size_t& written) {
    written = 0;
    iconv_t cd = iconv_open("UTF-16LE", from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    char* in = const_cast<char*>(reinterpret_cast<const char*>(src));
    std::size_t inLeft = len;
    char* dst = reinterpret_cast<char*>(out);
    std::size_t outLeft = capacity * sizeof(char16_t);
    const std::size_t rc = iconv(cd, &in, &inLeft, &dst, &outLeft);
    const bool ok = rc != static_cast<std::size_t>(-1) &&
                    iconv(cd, nullptr, nullptr, &dst, &outLeft) != static_cast<std::size_t>(-1);
    iconv_close(cd);
    if (!ok) return false;
    written = (capacity * sizeof(char16_t) - outLeft) / sizeof(char16_t);
    return true;
}

}  // namespace

unsigned int GetActiveCodePage() { return g_activeCodePage.load(std::memory_order_relaxed); }

void SetActiveCodePage(unsigned int codePage) {
    g_activeCodePage.store(codePage, std::memory_order_relaxed);
}

bool IsLeadByte(unsigned int codePage, unsigned char c) {
    switch (codePage) {
        case kCodePageGbk:
        case kCodePageKorean:
        case kCodePageBig5:
            return c >= 0x81 && c <= 0xFE;
        case kCodePageShiftJis:
            return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
        default:
            return false;
    }
}

void MbcsMakeLower(std::string& s) { ChangeCase(s, AsciiToLower); }
void MbcsMakeUpper(std::string& s) { ChangeCase(s, AsciiToUpper); }

bool MbcsEqualNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    const unsigned int cp = GetActiveCodePage();
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (IsLeadByte(cp, static_cast<unsigned char>(a[i]))) {
            if (i + 1 < a.size() && (a[i] != b[i] || a[i + 1] != b[i + 1])) return false;
            ++i;
            continue;
        }
        if (AsciiToLower(a[i]) != AsciiToLower(b[i])) return false;
    }
    return true;
}

bool Utf8ToUtf16(const unsigned char* src, std::size_t len, char16_t* out, std::size_t capacity,
                 std::size_t& written) {
    written = 0;
    std::size_t n = 0;
    const auto put = [&](char32_t cp) {
        if (cp >= 0x10000) {
            if (n + 2 > capacity) return false;
            cp -= 0x10000;
            out[n++] = static_cast<char16_t>(0xD800 + (cp >> 10));
            out[n++] = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            if (n + 1 > capacity) return false;
            out[n++] = static_cast<char16_t>(cp);
        }
        return true;
    };
    std::size_t i = 0;
    while (i < len) {
        const unsigned char c = src[i];
        char32_t cp;
        int extra;
        if (c < 0x80) {
            cp = c;
            extra = 0;
        } else if (c >= 0xC2 && c <= 0xDF) {
            cp = c & 0x1F;
            extra = 1;
        } else if (c >= 0xE0 && c <= 0xEF) {
            cp = c & 0x0F;
            extra = 2;
        } else if (c >= 0xF0 && c <= 0xF4) {
            cp = c & 0x07;
            extra = 3;
        } else {
            if (!put(0xFFFD)) return false;
            ++i;
            continue;
        }
        std::size_t j = 1;
        for (; j <= static_cast<std::size_t>(extra); ++j) {
            if (i + j >= len || (src[i + j] & 0xC0) != 0x80) break;
            cp = (cp << 6) | (src[i + j] & 0x3F);
        }
        const bool complete = j == static_cast<std::size_t>(extra) + 1;
        const bool overlong = (extra == 2 && cp < 0x800) || (extra == 3 && cp < 0x10000);
        const bool invalid = cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF);
        if (!complete || overlong || invalid) {
            if (!put(0xFFFD)) return false;
            i += complete ? j : std::max<std::size_t>(j, 1);
            continue;
        }
        if (!put(cp)) return false;
        i += j;
    }
    written = n;
    return true;
}

bool Utf7ToUtf16(const unsigned char* src, std::size_t len, char16_t* out, std::size_t capacity,
                 std::size_t& written) {
    return IconvToUtf16("UTF-7", src, len, out, capacity, written);
}

const char* CodePageName(unsigned int codePage) {
    switch (codePage) {
        case kCodePageGbk: return "GBK";
        case kCodePageShiftJis: return "SHIFT_JIS";
        case kCodePageKorean: return "CP949";
        case kCodePageBig5: return "BIG5";
        case kCodePageUtf7: return "UTF-7";
        case kCodePageUtf8: return "UTF-8";
        default: return "CP1252";
    }
}

std::string Utf16ToActive(const char16_t* src, std::size_t len) {
    std::string result;
    if (len == 0) return result;
    iconv_t cd = iconv_open(CodePageName(GetActiveCodePage()), "UTF-16LE");
    if (cd == reinterpret_cast<iconv_t>(-1)) return result;
    char* in = const_cast<char*>(reinterpret_cast<const char*>(src));
    std::size_t inLeft = len * sizeof(char16_t);
    std::vector<char> buf(len * 4 + 16);
    while (inLeft > 0) {
        char* dst = buf.data();
        std::size_t outLeft = buf.size();
        const std::size_t rc = iconv(cd, &in, &inLeft, &dst, &outLeft);
        result.append(buf.data(), buf.size() - outLeft);
        if (rc != static_cast<std::size_t>(-1)) break;
        if (errno == E2BIG) continue;
        // A character the code page cannot show, or a broken surrogate.
        result += '?';
        const std::size_t skip = std::min<std::size_t>(inLeft, sizeof(char16_t));
        in += skip;
        inLeft -= skip;
    }
    iconv_close(cd);
    return result;
}

std::u16string ActiveToUtf16(const std::string& text) {
    std::u16string result;
    if (text.empty()) return result;
    iconv_t cd = iconv_open("UTF-16LE", CodePageName(GetActiveCodePage()));
    if (cd == reinterpret_cast<iconv_t>(-1)) return result;
    char* in = const_cast<char*>(text.data());
    std::size_t inLeft = text.size();
    std::vector<char16_t> buf(text.size() + 16);
    while (inLeft > 0) {
        char* dst = reinterpret_cast<char*>(buf.data());
        std::size_t outLeft = buf.size() * sizeof(char16_t);
        const std::size_t rc = iconv(cd, &in, &inLeft, &dst, &outLeft);
        result.append(buf.data(), (buf.size() * sizeof(char16_t) - outLeft) / sizeof(char16_t));
        if (rc != static_cast<std::size_t>(-1)) break;
        if (errno == E2BIG) continue;
        // A byte that starts no character here, or a cut double-byte one.
        result += u'\uFFFD';
        ++in;
        --inLeft;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    iconv_close(cd);
    return result;
}

std::string Utf8ToActive(const std::string& text) {
    std::vector<char16_t> wide(text.size() + 1);
    std::size_t written = 0;
    if (!Utf8ToUtf16(reinterpret_cast<const unsigned char*>(text.data()), text.size(), wide.data(),
                     wide.size(), written))
        return {};
    return Utf16ToActive(wide.data(), written);
}

}  // namespace velkor
