// The process-wide active code page: the byte encoding of the library's
// strings (936, GBK, by default), its lead-byte test, case changes that leave
// double-byte characters alone, and conversions between it, UTF-8, UTF-7 and
// UTF-16.
#pragma once

#include <cstdint>
#include <string>

namespace velkor {

inline constexpr unsigned int kCodePageGbk = 936;
inline constexpr unsigned int kCodePageShiftJis = 932;
inline constexpr unsigned int kCodePageKorean = 949;
inline constexpr unsigned int kCodePageBig5 = 950;
inline constexpr unsigned int kCodePageLatin1 = 1252;
inline constexpr unsigned int kCodePageUtf7 = 65000;
inline constexpr unsigned int kCodePageUtf8 = 65001;
inline constexpr unsigned int kDefaultCodePage = kCodePageGbk;

// The active code page, and setting it (any of the constants above).
unsigned int GetActiveCodePage();
void SetActiveCodePage(unsigned int codePage);

// True when the byte begins a double-byte character in the code page.
bool IsLeadByte(unsigned int codePage, unsigned char c);
inline bool IsLeadByte(unsigned char c) { return IsLeadByte(GetActiveCodePage(), c); }

// ASCII letters to lower or upper case, skipping the second byte of each
// double-byte character of the active code page.
void MbcsMakeLower(std::string& s);
void MbcsMakeUpper(std::string& s);
// Equality without regard to ASCII case, double-byte aware.
bool MbcsEqualNoCase(const std::string& a, const std::string& b);

// UTF-8 to UTF-16 (invalid sequences become U+FFFD). Writes at most
// `capacity` units; false (nothing counted) when they do not fit.
bool Utf8ToUtf16(const unsigned char* src, std::size_t len, char16_t* out, std::size_t capacity,
                 std::size_t& written);
// UTF-7 to UTF-16, the same way (invalid input: false).
bool Utf7ToUtf16(const unsigned char* src, std::size_t len, char16_t* out, std::size_t capacity,
                 std::size_t& written);
// UTF-16 to the active code page; characters it cannot show become '?'.
std::string Utf16ToActive(const char16_t* src, std::size_t len);
// The active code page to UTF-16; bytes that do not form a character become
// U+FFFD, one each.
std::u16string ActiveToUtf16(const std::string& text);
// UTF-8 to the active code page ('?' for characters it cannot show).
std::string Utf8ToActive(const std::string& text);
// The iconv name of a code page ("GBK", "UTF-8", ...).
const char* CodePageName(unsigned int codePage);

}  // namespace velkor
