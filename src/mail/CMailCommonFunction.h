// CMailCommonFunction: the stateless codecs and scanners of mail text.
//
// Transfer encodings (base64, quoted-printable, UU), UTF-8/UTF-7 to UTF-16,
// ISO-2022-JP to Shift_JIS; encoded header words, address lists, mail dates,
// boundaries and content ids; and the lenient, position-based scanners that
// take a MIME header and body apart.
//
// Ranges in a source text are a start and an end byte offset; -1 stands for
// 0 and for the length. Base64 and quoted-printable ranges are half-open,
// UU ranges include the end byte.
//
// Output buffers belong to the caller, whose capacity is passed in `count`
// (unsigned 32-bit, by reference) and replaced by the number of bytes written
// on success. Every decoder first zeroes the whole capacity, and none writes
// past it: where the output would not fit, the decoder returns 0 and leaves
// `count` unchanged (the buffer then holds what fitted).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "CRecipient.h"

namespace velkor {

class CMailCommonFunction {
public:
    // Bounds of the fixed buffers of UU decoding.
    static constexpr std::size_t kUULineBufferSize = 80;   // a longer line is cut to 79
    static constexpr std::size_t kUUMaxLineBytes = 45;     // bytes a UU line may carry
    static constexpr std::size_t kUUMaxFileNameLength = 255;
    // Default line length of the encoders' callers.
    static constexpr int kDefaultLineLength = 76;

    CMailCommonFunction() = default;
    CMailCommonFunction(const CMailCommonFunction&) = default;
    virtual ~CMailCommonFunction() = default;

    // --- transfer encodings ---
    // By encoding name ("base64", "quoted-printable", "uucode", any case);
    // any other name copies the range raw (0 when it does not fit).
    static int Decode(const std::string& encoding, const std::string& src, unsigned char* out,
                      std::uint32_t& count, int start = -1, int end = -1);
    static int DecodeTextBase64(const std::string& src, unsigned char* out, std::uint32_t& count,
                                int start = -1, int end = -1);
    static int DecodeTextQuotedPrintable(const std::string& src, unsigned char* out,
                                         std::uint32_t& count, int start = -1, int end = -1);
    // Takes decoded bytes a block at a time; false stops the decoding.
    using ByteSink = std::function<bool(const unsigned char* data, std::size_t size)>;
    // Source bytes decoded per block by DecodeToSink.
    static constexpr std::size_t kDecodeBlock = 256 * 1024;
    // Decode into a buffer of `capacity` bytes without the buffer: the same
    // result and the same bytes, handed to `sink` block by block (base64 and
    // quoted-printable; UU and raw ranges go through one buffer). Where Decode
    // fails the sink gets what the buffer would hold: the bytes decoded so far,
    // then zeros up to `capacity`. `count` becomes the bytes handed over; -1
    // as soon as the sink refuses a block. `block` is the source bytes per
    // block (tests cut small blocks).
    static int DecodeToSink(const std::string& encoding, const std::string& src, int start,
                            int end, std::uint32_t capacity, const ByteSink& sink,
                            std::uint32_t& count, std::size_t block = kDecodeBlock);
    // "base64", "quoted-printable", or the data itself up to its first zero.
    // A line length of 0 inserts no line breaks.
    static std::string Encode(const std::string& encoding, const unsigned char* data,
                              const std::uint32_t& len, const int& lineLength);
    static std::string EncodeTextBase64(const unsigned char* data, const std::uint32_t& len,
                                        const int& lineLength);
    // The same base64 text appended to `out` (composing a large part
    // without an extra copy of its encoded form).
    static void AppendTextBase64(std::string& out, const unsigned char* data, std::uint32_t len,
                                 int lineLength);
    static std::string EncodeTextQuotedPrintable(const unsigned char* data,
                                                 const std::uint32_t& len, const int& lineLength);
    // A file as a UU block ("begin mode name\n" ... "end\n", LF line ends).
    static int EncodeUU(std::string path, std::string& out);
    // The first UU block of a mail text (CR LF line ends).
    static int DecodeUU(const std::string& src, unsigned char* out, std::uint32_t& count,
                        int start = -1, int end = -1);
    // The file name of the first "begin" line; `unused` is not touched.
    static int DecodeUUFileName(const std::string& src, std::string& name, std::string& unused,
                                int start = -1, int end = -1);
    // Bytes to UTF-16 units: at most `count` units, then a 0 unit (the buffer
    // holds count + 1). `count` becomes the units written (0 when the input
    // does not convert or does not fit). Always 1.
    static int UTF8ToUnicode(const unsigned char* src, const std::uint32_t& len, char16_t* out,
                             std::uint32_t& count);
    static int UTF7ToUnicode(const unsigned char* src, const std::uint32_t& len, char16_t* out,
                             std::uint32_t& count);
    // Convert nothing and touch nothing; always 1.
    static int UnicodeToUTF8(const char16_t* src, std::uint32_t& len, unsigned char* out,
                             std::uint32_t& count);
    static int UnicodeToUTF7(const char16_t* src, std::uint32_t& len, unsigned char* out,
                             std::uint32_t& count);
    // JIS text (double-byte runs between escape sequences) to Shift_JIS.
    static std::string ISO2022ToSJIS(const std::string& text);

    // --- header words, addresses, dates ---
    // Decodes the encoded words (B and Q) of a header text; charset: the last
    // decoded word's. Departing from the documented rule, which dropped
    // everything between two encoded words, text between words is kept and
    // only blanks between two adjacent words go (RFC 2047 section 6.2), and a
    // word with an unknown encoding letter stays as written. Always 1.
    static int DecodeHeaderItem(std::string text, std::string& decoded, std::string& charset);
    // Text holding any 8-bit byte becomes encoded words of at most 40 bytes
    // each, joined by "\r\n\t"; other text is kept. Beyond the older rule
    // (only the code page's lead bytes, cut at 39 or 40 bytes): Latin and
    // UTF-8 text is encoded too, and UTF-8 words hold whole characters.
    static int EncodeHeaderItem(std::string text, std::string& encoded, std::string letter,
                                std::string charset);
    // Decoded header bytes of a UTF-8, UTF-7 or ISO-2022-JP word in the
    // active code page (Shift_JIS for ISO-2022-JP); other charsets as they are.
    static std::string DecodedToActivePage(const std::string& decoded, const std::string& charset);
    static int AnalyseMailAddress(const std::string& text, CRecipient& recipient);
    static int AnalyseMailAddressString(const std::string& text, CRecipientArray& list);
    // "\"Name\" <address>"; a name that needs encoded words is written
    // without quotes (an encoded word inside quotes is not decoded by
    // readers).
    static std::string ComposeMailAddress(const CRecipient& recipient);
    static std::string ComposeMailAddress(const CRecipientArray& list);
    // "Fri, 4 Dec 2026 01:22:42 +0800" -> "2026-12-04 01:22:42".
    static std::string ChangeTimeFormat(const std::string& date);
    static std::string GetCurrentMailTime();
    // The same with a four-digit year, as readers require of a Date field.
    static std::string GetCurrentMailDate();
    static std::string NewBoundary();
    static std::string NewCID(const std::string& suffix);
    static std::string VerifyFileName(const std::string& name);

    // --- MIME fields ---
    static int ParseContentType(const std::string& value, std::string& type, std::string& subtype,
                                std::string& params);
    // Reads "filename=" (encoded words allowed) and, beyond the older
    // format, the RFC 2231 forms "filename*=charset'lang'%XX..." and
    // "filename*0*=...; filename*1*=..." (bytes and charset as written).
    static int ParseContentDisposition(const std::string& value, std::string& disposition,
                                       std::string& fileName, std::string& charset);
    // The boundary parameter's value: quoted, or unquoted up to a blank or
    // ';'. (Beyond the older rule, which took the next quoted text anywhere
    // after the name and kept a ';' in unquoted values: both lost every
    // part of such mail.)
    static std::string GetMultipartBoundary(const std::string& params);
    static std::string GetFirstPartType(const std::string& params);
    static std::string GetTextCharset(const std::string& param);
    // The "name" parameter in lower case without quotes; an RFC 2231
    // "name*=charset''%XX" value (or its continuations) is decoded and kept
    // as written.
    static std::string GetFilename(const std::string& param);
    // A file-name parameter for a composed header: `param="name"` for 7-bit
    // names, else the RFC 2231 form `param*=charset''%XX...` that readers
    // decode (an encoded word inside quotes is not valid).
    static std::string ComposeFileNameParameter(const std::string& param, const std::string& name,
                                                const std::string& charset);
    static int GetRelatedInfo(const std::string& params, std::string& type, std::string& start,
                              std::string& startInfo);
    static int SplitMultipart(const std::string& text, std::uint32_t start, std::uint32_t end,
                              const std::string& boundary, std::vector<std::uint32_t>& starts,
                              std::vector<std::uint32_t>& ends);
    static int SplitMultipart2(const std::string& text, std::uint32_t start, std::uint32_t end,
                               std::vector<std::uint32_t>& starts,
                               std::vector<std::uint32_t>& ends);
    static int SplitLine(const std::string& line, std::string& name, std::string& value);
    static int SplitString(const std::string& text, std::vector<std::string>& lines,
                           int start = -1, int end = -1);

    // The boundary counter, used and then incremented by NewBoundary.
    static std::int32_t m_nCount;

private:
    static std::int32_t s_nCidCount;
};

}  // namespace velkor
