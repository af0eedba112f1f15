// Mail text of any shape through the decoders (into buffers of exactly the
// given capacity) and the header and MIME scanners.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "mail/CMailCommonFunction.h"

using velkor::CMailCommonFunction;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    // The first byte picks a capacity; the rest is the text.
    const std::size_t capacity = data[0] * 4u;
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    std::vector<unsigned char> out(capacity ? capacity : 1);
    for (auto decode : {&CMailCommonFunction::DecodeTextBase64,
                        &CMailCommonFunction::DecodeTextQuotedPrintable,
                        &CMailCommonFunction::DecodeUU}) {
        std::uint32_t count = static_cast<std::uint32_t>(capacity);
        decode(text, out.data(), count, -1, -1);
    }
    // Decoding in blocks hands over what the whole decode left in its buffer.
    for (const char* encoding : {"base64", "quoted-printable"}) {
        std::vector<unsigned char> whole(capacity ? capacity : 1);
        std::uint32_t count = static_cast<std::uint32_t>(capacity);
        const int r = CMailCommonFunction::Decode(encoding, text, whole.data(), count);
        std::string blocks;
        std::uint32_t given = 0;
        const int b = CMailCommonFunction::DecodeToSink(
            encoding, text, -1, -1, static_cast<std::uint32_t>(capacity),
            [&](const unsigned char* d, std::size_t n) {
                blocks.append(reinterpret_cast<const char*>(d), n);
                return true;
            },
            given, data[0] % 7 + 1);
        if (b != r || given != count || blocks != std::string(whole.begin(), whole.begin() + count))
            __builtin_trap();
    }
    std::string decoded, charset, name, unused;
    CMailCommonFunction::DecodeHeaderItem(text, decoded, charset);
    CMailCommonFunction::DecodeUUFileName(text, name, unused, -1, -1);
    velkor::CRecipientArray list;
    CMailCommonFunction::AnalyseMailAddressString(text, list);
    (void)CMailCommonFunction::ComposeMailAddress(list);
    (void)CMailCommonFunction::ChangeTimeFormat(text);
    (void)CMailCommonFunction::GetMultipartBoundary(text);
    (void)CMailCommonFunction::GetFirstPartType(text);
    (void)CMailCommonFunction::ISO2022ToSJIS(text);
    std::string type, subtype, params, disposition;
    CMailCommonFunction::ParseContentType(text, type, subtype, params);
    CMailCommonFunction::ParseContentDisposition(text, disposition, name, charset);
    std::string start, info;
    CMailCommonFunction::GetRelatedInfo(text, type, start, info);
    std::vector<std::uint32_t> starts, ends;
    CMailCommonFunction::SplitMultipart(text, 0, static_cast<std::uint32_t>(text.size()), "b",
                                        starts, ends);
    CMailCommonFunction::SplitMultipart2(text, 0, static_cast<std::uint32_t>(text.size()), starts,
                                         ends);
    std::vector<std::string> lines;
    CMailCommonFunction::SplitString(text, lines);
    std::string encoded;
    CMailCommonFunction::EncodeHeaderItem(text, encoded, "B", "GB2312");
    return 0;
}
