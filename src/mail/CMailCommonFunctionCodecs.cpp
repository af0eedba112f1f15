// CMailCommonFunction: transfer encodings and character conversions.
#include "mail/CMailCommonFunction.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/CodePage.h"
#include "platform/LocalFile.h"
#include "platform/Prefault.h"

namespace velkor {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr char kHexDigits[] = "0123456789ABCDEF";

// Decoder table: 0-63 a digit, kSkip for CR and LF, kStop for '=', kBad for
// anything else. Other bytes are looked up by their low seven bits.
constexpr std::uint8_t kSkip = 64, kStop = 65, kBad = 0xFF;

constexpr std::array<std::uint8_t, 256> MakeDecodeTable() {
    std::array<std::uint8_t, 256> t{};
    for (int b = 0; b < 256; ++b) {
        const int low = b & 0x7F;
        t[b] = kBad;
        for (int v = 0; v < 64; ++v)
            if (kAlphabet[v] == low) t[b] = static_cast<std::uint8_t>(v);
    }
    t['\r'] = kSkip;
    t['\n'] = kSkip;
    t['='] = kStop;
    return t;
}
constexpr std::array<std::uint8_t, 256> kDecode = MakeDecodeTable();

// Encoder table: the two characters of every 12-bit value.
constexpr std::array<std::array<char, 2>, 4096> MakePairTable() {
    std::array<std::array<char, 2>, 4096> t{};
    for (int v = 0; v < 4096; ++v) t[v] = {kAlphabet[v >> 6], kAlphabet[v & 63]};
    return t;
}
constexpr std::array<std::array<char, 2>, 4096> kPairs = MakePairTable();

// Quoted-printable output of every byte: the byte itself, or "=XX".
struct QpCode {
    char chars[4];
    int length;
};

constexpr std::array<QpCode, 256> MakeQpCodes() {
    std::array<QpCode, 256> t{};
    for (int c = 0; c < 256; ++c) {
        if ((c >= 33 && c <= 60) || (c >= 62 && c <= 126)) {
            t[c] = {{static_cast<char>(c), 0, 0, 0}, 1};
        } else {
            t[c] = {{'=', kHexDigits[c >> 4], kHexDigits[c & 15], 0}, 3};
        }
    }
    return t;
}
constexpr std::array<QpCode, 256> kQpCodes = MakeQpCodes();

constexpr std::array<int, 256> MakeHexTable() {
    std::array<int, 256> t{};
    for (int c = 0; c < 256; ++c) t[c] = -1;
    for (int v = 0; v < 16; ++v) t[static_cast<unsigned char>(kHexDigits[v])] = v;
    return t;
}
constexpr std::array<int, 256> kHexValue = MakeHexTable();

// Half-open range [start, end) after the -1 rules, clamped to the text.
void NormaliseRange(const std::string& src, int& start, int& end) {
    const int len = static_cast<int>(src.size());
    if (start < 0) start = 0;
    if (end < 0 || end > len) end = len;
    if (start > end) start = end;
}

// A half-open decoder range over the source, with the output zeroed.
struct DecodeJob {
    const unsigned char* src;
    std::size_t start;
    std::size_t stop;
};

DecodeJob PrepareDecode(const std::string& src, unsigned char* out, std::uint32_t capacity,
                        int start, int end) {
    NormaliseRange(src, start, end);
    if (out) std::memset(out, 0, capacity);
    return {reinterpret_cast<const unsigned char*>(src.data()), static_cast<std::size_t>(start),
            static_cast<std::size_t>(end)};
}

// The inclusive range of the UU functions as a string view.
std::string_view InclusiveRange(const std::string& src, int start, int end) {
    const int len = static_cast<int>(src.size());
    if (start < 0) start = 0;
    if (end < 0 || end >= len) end = len - 1;
    if (start > end) return {};
    return std::string_view(src).substr(static_cast<std::size_t>(start),
                                        static_cast<std::size_t>(end - start + 1));
}

enum class BlockEnd { kDone, kStopped, kFailed };

// Base64 bits not yet making a whole byte, carried from block to block.
struct Base64Carry {
    std::uint32_t acc = 0;
    int bits = 0;
};

// Decodes s[i, stop) into out from o on (room up to `capacity`): kStopped at
// a '=', kFailed at a byte outside the alphabet or when the output does not
// fit. `i` and `o` move on.
BlockEnd DecodeBase64Block(const unsigned char* s, std::size_t& i, std::size_t stop,
                           unsigned char* out, std::uint32_t capacity, std::uint32_t& o,
                           Base64Carry& carry) {
    std::uint32_t acc = carry.acc;
    int bits = carry.bits;
    BlockEnd end = BlockEnd::kDone;
    while (i < stop) {
        // Whole groups of four digits while nothing is pending.
        if (bits == 0) {
            while (i + 4 <= stop && o + 3 <= capacity) {
                const std::uint8_t a = kDecode[s[i]], b = kDecode[s[i + 1]], c = kDecode[s[i + 2]],
                                   d = kDecode[s[i + 3]];
                if ((a | b | c | d) >= 64) break;
                const std::uint32_t v = (a << 18) | (b << 12) | (c << 6) | d;
                out[o] = static_cast<unsigned char>(v >> 16);
                out[o + 1] = static_cast<unsigned char>(v >> 8);
                out[o + 2] = static_cast<unsigned char>(v);
                o += 3;
                i += 4;
            }
            if (i >= stop) break;
        }
        const std::uint8_t v = kDecode[s[i++]];
        if (v == kStop) {
            end = BlockEnd::kStopped;
            break;
        }
        if (v == kSkip) continue;
        if (v == kBad) return BlockEnd::kFailed;
        acc = (acc << 6) | v;
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            if (o >= capacity) return BlockEnd::kFailed;
            out[o++] = static_cast<unsigned char>(acc >> bits);
        }
    }
    carry = {acc, bits};
    return end;
}

// Decodes the quoted-printable bytes from i while i < limit into out from o
// on; an escape or soft break at the limit reads on to `stop`, the end of
// the whole range, so a block ends where the whole decode would be. kFailed
// when the output does not fit `capacity`.
BlockEnd DecodeQpBlock(const unsigned char* s, std::size_t& i, std::size_t limit,
                       std::size_t stop, unsigned char* out, std::uint32_t capacity,
                       std::uint32_t& o) {
    // Every input byte gives at most one output byte: with room for all
    // that this call can read no write needs a check of its own.
    const bool roomy = capacity - o >= std::min(limit + 2, stop) - i;
    while (i < limit) {
        const unsigned char c = s[i];
        if (!roomy && o >= capacity && !(c == '=' && i + 2 < stop && s[i + 1] == '\r' &&
                                         s[i + 2] == '\n'))
            return BlockEnd::kFailed;
        if (c != '=') {
            out[o++] = c;
            ++i;
            continue;
        }
        if (i + 2 < stop && s[i + 1] == '\r' && s[i + 2] == '\n') {
            i += 3;  // soft line break
            continue;
        }
        const int hi = i + 1 < stop ? kHexValue[s[i + 1]] : -1;
        const int lo = i + 2 < stop ? kHexValue[s[i + 2]] : -1;
        if ((hi | lo) >= 0) {
            out[o++] = static_cast<unsigned char>(hi << 4 | lo);
            i += 3;
        } else {
            out[o++] = '=';
            ++i;
        }
    }
    return BlockEnd::kDone;
}

unsigned char UUEnc(unsigned v) { return static_cast<unsigned char>((v & 077) ? (v & 077) + 32 : 96); }
unsigned UUDec(unsigned char c) { return (static_cast<unsigned>(c) - 32) & 63; }

}  // namespace

int CMailCommonFunction::Decode(const std::string& encoding, const std::string& src,
                                unsigned char* out, std::uint32_t& count, int start, int end) {
    if (out) std::memset(out, 0, count);
    if (MbcsEqualNoCase(encoding, "base64")) return DecodeTextBase64(src, out, count, start, end);
    if (MbcsEqualNoCase(encoding, "quoted-printable"))
        return DecodeTextQuotedPrintable(src, out, count, start, end);
    if (MbcsEqualNoCase(encoding, "uucode")) return DecodeUU(src, out, count, start, end);
    const long long n = static_cast<long long>(end) - start;
    if (n < 0 || static_cast<long long>(count) < n) return 0;
    count = static_cast<std::uint32_t>(n);
    for (long long i = 0; i < n; ++i) {
        const long long at = start + i;
        if (at < 0 || at >= static_cast<long long>(src.size()) || src[static_cast<std::size_t>(at)] == '\0')
            break;
        out[i] = static_cast<unsigned char>(src[static_cast<std::size_t>(at)]);
    }
    return 1;
}

int CMailCommonFunction::DecodeTextBase64(const std::string& src, unsigned char* out,
                                          std::uint32_t& count, int start, int end) {
    auto [s, i, stop] = PrepareDecode(src, out, count, start, end);
    Base64Carry carry;
    std::uint32_t o = 0;
    if (DecodeBase64Block(s, i, stop, out, count, o, carry) == BlockEnd::kFailed) return 0;
    count = o;
    return 1;
}

int CMailCommonFunction::DecodeTextQuotedPrintable(const std::string& src, unsigned char* out,
                                                   std::uint32_t& count, int start, int end) {
    auto [s, i, stop] = PrepareDecode(src, out, count, start, end);
    std::uint32_t o = 0;
    if (DecodeQpBlock(s, i, stop, stop, out, count, o) == BlockEnd::kFailed) return 0;
    count = o;
    return 1;
}

int CMailCommonFunction::DecodeToSink(const std::string& encoding, const std::string& src,
                                      int start, int end, std::uint32_t capacity,
                                      const ByteSink& sink, std::uint32_t& count,
                                      std::size_t block) {
    const bool base64 = MbcsEqualNoCase(encoding, "base64");
    if (!base64 && !MbcsEqualNoCase(encoding, "quoted-printable")) {
        std::unique_ptr<unsigned char[]> buffer(new unsigned char[std::max<std::uint32_t>(capacity, 1)]);
        std::uint32_t n = capacity;
        const int result = Decode(encoding, src, buffer.get(), n, start, end);
        count = 0;
        if (n && !sink(buffer.get(), n)) return -1;
        count = n;
        return result;
    }
    auto [s, i, stop] = PrepareDecode(src, nullptr, 0, start, end);
    block = std::max<std::size_t>(block, 1);
    // A block of n source bytes gives at most n bytes (QP reads up to two
    // past its end) or 3 per 4 (base64, plus what the carry held).
    std::unique_ptr<unsigned char[]> buffer(new unsigned char[block + 3]);
    Base64Carry carry;
    std::uint32_t total = 0;
    count = 0;
    BlockEnd state = BlockEnd::kDone;
    while (i < stop && state == BlockEnd::kDone) {
        const std::size_t limit = std::min(stop, i + block);
        const std::uint32_t room = static_cast<std::uint32_t>(
            std::min<std::size_t>(block + 3, capacity - total));
        std::uint32_t o = 0;
        state = base64 ? DecodeBase64Block(s, i, limit, buffer.get(), room, o, carry)
                       : DecodeQpBlock(s, i, limit, stop, buffer.get(), room, o);
        if (o && !sink(buffer.get(), o)) return -1;
        total += o;
        count = total;
    }
    if (state != BlockEnd::kFailed) return 1;
    // The zeros a failed decode leaves in the rest of the buffer.
    std::memset(buffer.get(), 0, block + 3);
    while (total < capacity) {
        const std::uint32_t n = std::min<std::uint32_t>(capacity - total,
                                                        static_cast<std::uint32_t>(block + 3));
        if (!sink(buffer.get(), n)) return -1;
        total += n;
        count = total;
    }
    return 0;
}

std::string CMailCommonFunction::Encode(const std::string& encoding, const unsigned char* data,
                                        const std::uint32_t& len, const int& lineLength) {
    if (MbcsEqualNoCase(encoding, "base64")) return EncodeTextBase64(data, len, lineLength);
    if (MbcsEqualNoCase(encoding, "quoted-printable"))
        return EncodeTextQuotedPrintable(data, len, lineLength);
    if (!data) return {};
    const void* zero = std::memchr(data, 0, len);
    const std::size_t n = zero ? static_cast<const unsigned char*>(zero) - data : len;
    return std::string(reinterpret_cast<const char*>(data), n);
}

std::string CMailCommonFunction::EncodeTextBase64(const unsigned char* data,
                                                  const std::uint32_t& len, const int& lineLength) {
    std::string out;
    AppendTextBase64(out, data, len, lineLength);
    return out;
}

void CMailCommonFunction::AppendTextBase64(std::string& out, const unsigned char* data,
                                           std::uint32_t len, int lineLength) {
    if (!data || len == 0) return;
    const std::size_t L = static_cast<std::size_t>(lineLength < 0 ? -lineLength : lineLength);
    const std::size_t chars = (static_cast<std::size_t>(len) + 2) / 3 * 4;
    const std::size_t breaks = L ? chars / L : 0;
    const std::size_t had = out.size();
    if (out.capacity() < had + chars + 2 * breaks) out.reserve(had + chars + 2 * breaks);
    PrefaultForWrite(out.data() + had, chars + 2 * breaks);
    // Characters are made in a small local block and appended to the
    // reserved string: the big output is written once, never zero-filled.
    constexpr std::size_t kBlock = 16 * 1024;
    char block[kBlock + 64];
    std::size_t b = 0;
    std::size_t counter = 0;  // alphabet and pad characters so far
    const auto put = [&](char c) {
        block[b++] = c;
        if (L && ++counter % L == 0) {
            block[b++] = '\r';
            block[b++] = '\n';
        }
        if (b >= kBlock) {
            out.append(block, b);
            b = 0;
        }
    };
    const unsigned char* p = data;
    const unsigned char* const tail = data + len - len % 3;
    if (L % 4 == 0) {
        // Breaks fall between groups: lines of L / 4 groups (or one endless line).
        const std::size_t groupsPerLine = L ? L / 4 : kBlock / 4;
        while (p < tail) {
            const std::size_t groups =
                std::min<std::size_t>(groupsPerLine, static_cast<std::size_t>(tail - p) / 3);
            std::size_t g = 0;
            char* o = block + b;
            // Two groups (6 bytes, 8 characters) a step, then a single one.
            for (; g + 2 <= groups; g += 2, p += 6, o += 8) {
                const std::uint64_t v = (std::uint64_t{p[0]} << 40) | (std::uint64_t{p[1]} << 32) |
                                        (std::uint64_t{p[2]} << 24) | (std::uint64_t{p[3]} << 16) |
                                        (std::uint64_t{p[4]} << 8) | p[5];
                char eight[8];
                std::memcpy(eight, kPairs[(v >> 36) & 0xFFF].data(), 2);
                std::memcpy(eight + 2, kPairs[(v >> 24) & 0xFFF].data(), 2);
                std::memcpy(eight + 4, kPairs[(v >> 12) & 0xFFF].data(), 2);
                std::memcpy(eight + 6, kPairs[v & 0xFFF].data(), 2);
                std::memcpy(o, eight, 8);
            }
            for (; g < groups; ++g, p += 3, o += 4) {
                const std::uint32_t v = (p[0] << 16) | (p[1] << 8) | p[2];
                std::memcpy(o, kPairs[v >> 12].data(), 2);
                std::memcpy(o + 2, kPairs[v & 0xFFF].data(), 2);
            }
            b = static_cast<std::size_t>(o - block);
            counter += groups * 4;
            if (L && groups == groupsPerLine) {
                block[b++] = '\r';
                block[b++] = '\n';
            }
            if (b + L + 8 >= kBlock) {
                out.append(block, b);
                b = 0;
            }
        }
    } else {
        // Any other line length: one character at a time.
        for (; p < tail; p += 3) {
            const std::uint32_t v = (p[0] << 16) | (p[1] << 8) | p[2];
            put(kAlphabet[v >> 18]);
            put(kAlphabet[(v >> 12) & 63]);
            put(kAlphabet[(v >> 6) & 63]);
            put(kAlphabet[v & 63]);
        }
    }
    const std::size_t rest = len % 3;
    if (rest) {
        const std::uint32_t v = (p[0] << 16) | (rest == 2 ? p[1] << 8 : 0);
        put(kAlphabet[v >> 18]);
        put(kAlphabet[(v >> 12) & 63]);
        put(rest == 2 ? kAlphabet[(v >> 6) & 63] : '=');
        put('=');
    }
    out.append(block, b);
}

std::string CMailCommonFunction::EncodeTextQuotedPrintable(const unsigned char* data,
                                                           const std::uint32_t& len,
                                                           const int& lineLength) {
    std::string out;
    if (!data || len == 0) return out;
    out.reserve(static_cast<std::size_t>(len) * 2);
    // Not populated: the reserve is an upper guess, and pages never written stay unmapped.
    AdviseHugePages(out.data(), out.capacity());
    const bool wrap = lineLength > 2;
    const int limit = wrap ? lineLength - 1 : 0;
    // Built in a local block and appended, so the string grows in few steps.
    // Each byte stores its 1 or 3 characters as one 4-byte write.
    constexpr std::size_t kBlock = 16 * 1024;
    char block[kBlock + 16];
    std::size_t b = 0;
    int column = 0;
    for (std::uint32_t i = 0; i < len; ++i) {
        const QpCode& code = kQpCodes[data[i]];
        std::memcpy(block + b, code.chars, 4);
        b += code.length;
        column += code.length;
        if (wrap && column >= limit) {
            std::memcpy(block + b, "=\r\n", 4);
            b += 3;
            column = 0;
        }
        if (b >= kBlock) {
            out.append(block, b);
            b = 0;
        }
    }
    out.append(block, b);
    return out;
}

int CMailCommonFunction::EncodeUU(std::string path, std::string& out) {
    LocalFile file;
    if (!file.OpenForReading(path)) return 0;
    unsigned mode = 0666 & ~static_cast<unsigned>(CurrentUmask());
    if (const auto st = file.Mode(); st && S_ISCHR(*st)) mode = *st & 0777;
    // The name after the last separator ('\' as on the original systems, or '/').
    const std::size_t sep = path.find_last_of("\\/");
    const std::string name = sep == std::string::npos ? path : path.substr(sep + 1);
    char head[32];
    std::snprintf(head, sizeof head, "begin %o ", mode);
    out = head + name + "\n";
    unsigned char in[kUUMaxLineBytes + 2];
    std::size_t n;
    do {
        std::memset(in, 0, sizeof in);
        const long got = file.ReadFull(reinterpret_cast<char*>(in), kUUMaxLineBytes);
        n = got > 0 ? static_cast<std::size_t>(got) : 0;
        out += static_cast<char>(UUEnc(static_cast<unsigned>(n)));
        for (std::size_t i = 0; i < n; i += 3) {
            const unsigned b0 = in[i], b1 = in[i + 1], b2 = in[i + 2];
            out += static_cast<char>(UUEnc(b0 >> 2));
            out += static_cast<char>(UUEnc(((b0 << 4) & 060) | ((b1 >> 4) & 017)));
            out += static_cast<char>(UUEnc(((b1 << 2) & 074) | ((b2 >> 6) & 03)));
            out += static_cast<char>(UUEnc(b2 & 077));
        }
        out += '\n';
    } while (n > 0);
    out += "end\n";
    return 1;
}

int CMailCommonFunction::DecodeUU(const std::string& src, unsigned char* out,
                                  std::uint32_t& count, int start, int end) {
    const std::uint32_t capacity = count;
    if (out) std::memset(out, 0, capacity);
    const std::string_view text = InclusiveRange(src, start, end);
    const std::size_t begin = text.find("begin");
    if (begin == std::string_view::npos) return 0;
    std::size_t eol = text.find("\r\n", begin);
    if (eol == std::string_view::npos) return 0;
    std::size_t pos = eol + 2;
    std::uint32_t o = 0;
    char line[kUULineBufferSize];
    for (;;) {
        eol = text.find("\r\n", pos);
        if (eol == std::string_view::npos) break;
        const std::size_t lineLen = std::min(eol - pos, kUULineBufferSize - 1);
        std::memcpy(line, text.data() + pos, lineLen);
        line[lineLen] = '\0';
        pos = eol + 2;
        const int n = lineLen ? static_cast<int>(UUDec(static_cast<unsigned char>(line[0]))) : 0;
        if (n < 1) break;
        int owed = n;
        // Groups run while bytes are owed and the group starts inside the line;
        // characters missing at the end of a stripped line count as blanks.
        for (std::size_t g = 1; owed > 0 && g < lineLen; g += 4, owed -= 3) {
            const auto c = [&](std::size_t k) {
                return UUDec(static_cast<unsigned char>(g + k < lineLen ? line[g + k] : ' '));
            };
            const int bytes = owed >= 3 ? 3 : owed;
            if (o + static_cast<std::uint32_t>(bytes) > capacity) return 0;
            out[o++] = static_cast<unsigned char>(c(0) << 2 | c(1) >> 4);
            if (owed >= 2) out[o++] = static_cast<unsigned char>(c(1) << 4 | c(2) >> 2);
            if (owed >= 3) out[o++] = static_cast<unsigned char>(c(2) << 6 | c(3));
        }
    }
    count = o;
    return 1;
}

int CMailCommonFunction::DecodeUUFileName(const std::string& src, std::string& name,
                                          std::string& /*unused*/, int start, int end) {
    const std::string_view text = InclusiveRange(src, start, end);
    const std::size_t begin = text.find("begin");
    if (begin == std::string_view::npos) return 0;
    const std::size_t eol = text.find("\r\n", begin);
    if (eol == std::string_view::npos) return 0;
    const std::string line(text.substr(begin, eol - begin));
    unsigned mode = 0;
    char word[kUUMaxFileNameLength + 2] = {};
    // One byte more than the bound is read, so that a longer name is seen.
    if (std::sscanf(line.c_str(), "begin %o %256s", &mode, word) != 2) return 0;
    if (std::strlen(word) > kUUMaxFileNameLength) return 0;
    name = word;
    return 1;
}

namespace {

// Both Unicode decoders: at most `count` units and a 0 unit after them;
// `count` becomes the units written, 0 when the input does not convert.
using Utf16Converter = bool (*)(const unsigned char*, std::size_t, char16_t*, std::size_t,
                                std::size_t&);

int ToUtf16(Utf16Converter convert, const unsigned char* src, std::uint32_t len, char16_t* out,
            std::uint32_t& count) {
    std::size_t written = 0;
    if (!src || !out || !convert(src, len, out, count, written)) written = 0;
    count = static_cast<std::uint32_t>(written);
    if (out) out[written] = 0;
    return 1;
}

}  // namespace

int CMailCommonFunction::UTF8ToUnicode(const unsigned char* src, const std::uint32_t& len,
                                       char16_t* out, std::uint32_t& count) {
    return ToUtf16(Utf8ToUtf16, src, len, out, count);
}

int CMailCommonFunction::UTF7ToUnicode(const unsigned char* src, const std::uint32_t& len,
                                       char16_t* out, std::uint32_t& count) {
    return ToUtf16(Utf7ToUtf16, src, len, out, count);
}

int CMailCommonFunction::UnicodeToUTF8(const char16_t*, std::uint32_t&, unsigned char*,
                                       std::uint32_t&) {
    return 1;
}

int CMailCommonFunction::UnicodeToUTF7(const char16_t*, std::uint32_t&, unsigned char*,
                                       std::uint32_t&) {
    return 1;
}

std::string CMailCommonFunction::ISO2022ToSJIS(const std::string& text) {
    std::string result;
    std::string_view rest(text);
    while (!rest.empty()) {
        const std::size_t esc1 = rest.find('\x1b');
        std::string_view plain = rest, run;
        std::string_view next;
        if (esc1 != std::string_view::npos) {
            plain = rest.substr(0, esc1);
            const std::size_t esc2 = rest.find('\x1b', esc1 + 1);
            const std::size_t runStart = std::min(esc1 + 3, rest.size());
            // An opening escape without a closing one: the run lasts to the end.
            const std::size_t runEnd = esc2 == std::string_view::npos ? rest.size() : esc2;
            if (runEnd > runStart) run = rest.substr(runStart, runEnd - runStart);
            if (esc2 != std::string_view::npos)
                next = rest.substr(std::min(esc2 + 3, rest.size()));
        }
        result.append(plain);
        std::string converted(run);
        for (std::size_t i = 0; i + 1 < converted.size(); i += 2) {
            const int c1 = static_cast<unsigned char>(converted[i]);
            const int c2 = static_cast<unsigned char>(converted[i + 1]);
            int lead = c1;
            if (c1 >= 33 && c1 <= 96) lead = (c1 + 1) / 2 + 112;
            else if (c1 >= 97 && c1 <= 126) lead = (c1 + 1) / 2 + 176;
            const int trail = (c1 % 2 == 0) ? c2 + 126 : (c2 > 95 ? c2 + 32 : c2 + 31);
            converted[i] = static_cast<char>(lead);
            converted[i + 1] = static_cast<char>(trail);
        }
        result += converted;
        rest = next;
    }
    return result;
}

}  // namespace velkor
