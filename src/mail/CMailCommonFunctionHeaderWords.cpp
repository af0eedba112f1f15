// CMailCommonFunction: encoded header words, addresses, dates, boundaries.
#include "mail/CMailCommonFunction.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <memory>

#include "platform/CodePage.h"
#include "platform/Text.h"
#include "platform/TimeZone.h"

namespace velkor {

using text::Trim;
using text::TrimLeft;
using text::TrimRight;

std::int32_t CMailCommonFunction::m_nCount = 0;
std::int32_t CMailCommonFunction::s_nCidCount = 45;

namespace {

std::string LocalTimeText(const char* format) {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    char text[64];
    std::strftime(text, sizeof text, format, &tm);
    return text;
}

}  // namespace

int CMailCommonFunction::DecodeHeaderItem(std::string text, std::string& decoded,
                                          std::string& charset) {
    decoded.clear();
    std::size_t open = text.find("=?");
    if (open == std::string::npos) {
        decoded = text;
        charset.clear();
        return 1;
    }
    decoded = text.substr(0, open);
    std::string_view rest = std::string_view(text).substr(open);
    std::vector<unsigned char> buffer;
    std::string lastCharset;
    while (!rest.empty()) {
        const std::size_t npos = std::string_view::npos;
        const std::size_t q1 = rest.find('?');
        const std::size_t q2 = q1 == npos ? npos : rest.find('?', q1 + 1);
        const std::size_t q3 = q2 == npos ? npos : rest.find('?', q2 + 1);
        const std::size_t q4 = q3 == npos ? npos : rest.find('?', q3 + 1);
        const auto piece = [&rest](std::size_t from, std::size_t to) {
            if (from == std::string_view::npos || from >= rest.size()) return std::string();
            to = std::min(to, rest.size());
            return to > from ? std::string(rest.substr(from, to - from)) : std::string();
        };
        charset = q1 == npos ? std::string() : piece(q1 + 1, q2);
        std::string letter = q2 == npos ? std::string() : piece(q2 + 1, q3);
        MbcsMakeUpper(letter);
        const std::string word = q3 == npos ? std::string() : piece(q3 + 1, q4);

        const bool known = letter == "B" || letter == "Q";
        if (q3 == npos || !known) {
            // Not an encoded word we can read: it stays as written, up to the
            // next one.
            const std::size_t next = rest.find("=?", 2);
            decoded += rest.substr(0, next);
            if (next == npos) break;
            rest = rest.substr(next);
            continue;
        }
        std::uint32_t n = static_cast<std::uint32_t>(word.size());
        buffer.assign(word.size() + 1, 0);
        // A word that fails part-way keeps what was decoded before the bad
        // digit (the buffer past it is still zero).
        if (letter == "B") DecodeTextBase64(word, buffer.data(), n);
        else DecodeTextQuotedPrintable(word, buffer.data(), n);
        buffer[n] = 0;
        decoded += reinterpret_cast<const char*>(buffer.data());  // up to a zero byte
        lastCharset = charset;

        if (q4 == npos) break;
        const std::size_t next = rest.find("=?", q4);
        const std::string_view gap = rest.substr(std::min(q4 + 2, rest.size()),
                                                 next == npos ? npos : next - std::min(next, q4 + 2));
        // Text between words stays; blanks between two words go (RFC 2047 6.2).
        if (next == npos || !text::IsBlankLine(gap)) decoded += gap;
        if (next == npos) break;
        rest = rest.substr(next);
    }
    charset = lastCharset;
    return 1;
}

namespace {

// Bytes of the code-page character at `at`: a lead byte takes its trail byte,
// and in GB18030 a lead byte followed by a digit starts a four-byte form.
std::size_t CharLength(const std::string& text, std::size_t at, bool gb18030) {
    if (!IsLeadByte(static_cast<unsigned char>(text[at])) || at + 1 >= text.size()) return 1;
    const auto next = static_cast<unsigned char>(text[at + 1]);
    return gb18030 && next >= '0' && next <= '9' && at + 3 < text.size() ? 4 : 2;
}

}  // namespace

int CMailCommonFunction::EncodeHeaderItem(std::string text, std::string& encoded,
                                          std::string letter, std::string charset) {
    // Any 8-bit byte needs an encoded word: raw 8-bit header text is refused
    // by readers, whatever the code page.
    bool eightBit = false;
    for (char c : text) eightBit |= static_cast<unsigned char>(c) >= 0x80;
    if (!eightBit) {
        encoded = text;
        return 1;
    }
    encoded.clear();
    if (letter != "B" && letter != "b" && letter != "Q" && letter != "q") letter = "B";
    const bool base64 = letter == "B" || letter == "b";
    const int noBreaks = 0;
    const bool utf8 = MbcsEqualNoCase(charset, "utf-8");
    const bool gb18030 = MbcsEqualNoCase(charset, "gb18030");
    std::size_t pos = 0;
    bool first = true;
    while (pos < text.size()) {
        const std::size_t left = text.size() - pos;
        std::size_t take;
        if (left <= 40) take = left;
        else if (utf8) {
            // A word holds whole characters: never cut before a continuation byte.
            take = 40;
            while (take > 1 && (static_cast<unsigned char>(text[pos + take]) & 0xC0) == 0x80) --take;
        } else {
            // Whole characters of the code page, walked from the word's start:
            // testing one byte by value misreads a trail byte as a lead byte
            // (GBK trail bytes share the lead range) and splits a character.
            take = 0;
            while (take < 40) {
                const std::size_t n = CharLength(text, pos + take, gb18030);
                if (take + n > 40) break;
                take += n;
            }
        }
        const auto* chunk = reinterpret_cast<const unsigned char*>(text.data() + pos);
        const std::uint32_t n = static_cast<std::uint32_t>(take);
        const std::string body = base64 ? EncodeTextBase64(chunk, n, noBreaks)
                                        : EncodeTextQuotedPrintable(chunk, n, noBreaks);
        if (!first) encoded += "\r\n\t";
        encoded += "=?" + charset + "?" + letter + "?" + body + "?=";
        first = false;
        pos += take;
    }
    return 1;
}

std::string CMailCommonFunction::DecodedToActivePage(const std::string& decoded,
                                                     const std::string& charset) {
    const bool utf8 = MbcsEqualNoCase(charset, "utf-8");
    if (utf8 || MbcsEqualNoCase(charset, "utf-7")) {
        std::vector<char16_t> wide(decoded.size() + 1);
        std::uint32_t units = static_cast<std::uint32_t>(decoded.size());
        const auto* bytes = reinterpret_cast<const unsigned char*>(decoded.data());
        const std::uint32_t len = static_cast<std::uint32_t>(decoded.size());
        if (utf8) UTF8ToUnicode(bytes, len, wide.data(), units);
        else UTF7ToUnicode(bytes, len, wide.data(), units);
        return Utf16ToActive(wide.data(), units);
    }
    if (MbcsEqualNoCase(charset, "iso-2022-jp")) return ISO2022ToSJIS(decoded);
    return decoded;
}

int CMailCommonFunction::AnalyseMailAddress(const std::string& text, CRecipient& recipient) {
    std::string decoded, charset;
    DecodeHeaderItem(Trim(text), decoded, charset);
    decoded = DecodedToActivePage(decoded, charset);

    const std::size_t lt = decoded.find('<');
    if (lt == std::string::npos) {
        recipient.m_strAddress = decoded;
        recipient.m_strName.clear();
        recipient.m_strCharset.clear();
        return 1;
    }
    const std::size_t gt = decoded.find('>');
    if (gt == std::string::npos) return 0;
    std::string name = TrimRight(decoded.substr(0, lt), " \t");
    name = TrimLeft(TrimRight(name, "\""), "\"");
    recipient.m_strName = name;
    recipient.m_strAddress = gt > lt ? Trim(decoded.substr(lt + 1, gt - lt - 1)) : std::string();
    recipient.m_strCharset = charset;
    return 1;
}

int CMailCommonFunction::AnalyseMailAddressString(const std::string& text,
                                                  CRecipientArray& list) {
    list.clear();
    if (text.empty()) return 1;
    std::string rest = text;
    std::replace(rest.begin(), rest.end(), ',', ';');
    if (rest.back() != ';') rest += ';';
    std::size_t pos = 0;
    for (std::size_t semi; (semi = rest.find(';', pos)) != std::string::npos; pos = semi + 1) {
        CRecipient recipient;
        AnalyseMailAddress(rest.substr(pos, semi - pos), recipient);
        list.push_back(std::move(recipient));
    }
    return 1;
}

std::string CMailCommonFunction::ComposeMailAddress(const CRecipient& recipient) {
    std::string text;
    if (!recipient.m_strName.empty()) {
        std::string name;
        EncodeHeaderItem(recipient.m_strName, name, "B", recipient.m_strCharset);
        text = name == recipient.m_strName ? "\"" + name + "\"" : name;
    }
    if (!recipient.m_strAddress.empty()) text += " <" + recipient.m_strAddress + ">";
    return text;
}

std::string CMailCommonFunction::ComposeMailAddress(const CRecipientArray& list) {
    std::string text;
    for (const CRecipient& r : list) {
        const std::string one = ComposeMailAddress(r);
        if (!one.empty()) text += one + ",\r\n\t";
    }
    return TrimRight(text, ",\r\n\t");
}

std::string CMailCommonFunction::ChangeTimeFormat(const std::string& date) {
    if (date.empty()) return {};
    std::string rest = TrimLeft(date, " ");
    const std::size_t comma = rest.find(',');
    if (comma != std::string::npos) rest = TrimLeft(rest.substr(comma + 1), " ");
    // The next blank-delimited word, removed from the front.
    const auto take = [&rest](bool needBlank) {
        const std::size_t blank = rest.find(' ');
        std::string word;
        if (blank == std::string::npos) {
            word = needBlank ? std::string() : rest;
            rest.clear();
        } else {
            word = rest.substr(0, blank);
            rest = TrimLeft(rest.substr(blank), " ");
        }
        return word;
    };
    std::string day = take(false);
    if (day.size() == 1) day = "0" + day;
    const std::string monthName = take(false);
    std::string year = take(false);
    if (year.size() == 2) year = "20" + year;
    const std::string time = take(true);
    static const char* const kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::string month = "01";
    for (int m = 0; m < 12; ++m) {
        if (MbcsEqualNoCase(monthName, kMonths[m])) {
            char text[4];
            std::snprintf(text, sizeof text, "%02d", m + 1);
            month = text;
            break;
        }
    }
    return year + "-" + month + "-" + day + " " + time;
}

namespace {

// "Sun, 06 Dec 26 08:42:51 +0800" (two-digit year) or "... 2026 ...", with
// English names whatever the process locale.
std::string CurrentMailTimeText(bool fourDigitYear) {
    static const char* const kDays[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    char text[64];
    std::snprintf(text, sizeof text, "%s, %02d %s %02d %02d:%02d:%02d", kDays[tm.tm_wday],
                  tm.tm_mday, kMonths[tm.tm_mon],
                  fourDigitYear ? tm.tm_year + 1900 : tm.tm_year % 100, tm.tm_hour, tm.tm_min,
                  tm.tm_sec);
    const int bias = GetTimeZoneBiasMinutes();
    const char sign = bias <= 0 ? '+' : '-';
    const int value = bias <= 0 ? -bias : bias;
    char zone[16];
    std::snprintf(zone, sizeof zone, " %c%02d%02d", sign, value / 60, value % 60);
    return std::string(text) + zone;
}

}  // namespace

std::string CMailCommonFunction::GetCurrentMailTime() { return CurrentMailTimeText(false); }

std::string CMailCommonFunction::GetCurrentMailDate() { return CurrentMailTimeText(true); }

std::string CMailCommonFunction::NewBoundary() {
    char text[64];
    std::snprintf(text, sizeof text, "VLK_MAIL_%04d_PaRt_BoUnDaRy_05151998", m_nCount);
    ++m_nCount;
    return text;
}

std::string CMailCommonFunction::NewCID(const std::string& suffix) {
    ++s_nCidCount;
    return LocalTimeText("%Y-%m-%d %H:%M:%S") + "$" + std::to_string(s_nCidCount) + "@" + suffix;
}

std::string CMailCommonFunction::VerifyFileName(const std::string& name) {
    std::string out = name;
    for (std::size_t i = 0; i < out.size(); ++i) {
        char& c = out[i];
        if (IsLeadByte(static_cast<unsigned char>(c))) {
            ++i;  // a double-byte character stays whole
            continue;
        }
        switch (c) {
            case '\\': case '/': case ':': case '*': case '?':
            case '"': case '<': case '>': case '|':
                c = '_';
                break;
            default:
                break;
        }
    }
    return out;
}

}  // namespace velkor
