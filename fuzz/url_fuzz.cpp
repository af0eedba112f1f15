// URLs of any shape: the text splits at its first newline into base and
// relative address.
#include <cstddef>
#include <cstdint>
#include <string>

#include "web/CURL.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::size_t nl = text.find('\n');
    const std::string base = text.substr(0, nl);
    const std::string relative = nl == std::string::npos ? std::string() : text.substr(nl + 1);
    const velkor::CURL url;
    velkor::CURLComponent parts;
    url.Parse(relative, parts);
    (void)url.Combine(parts);
    (void)url.GetAbsoluteURL(base, relative);
    return 0;
}
