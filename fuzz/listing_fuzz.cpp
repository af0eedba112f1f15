// Directory-listing lines of any shape.
#include <cstddef>
#include <cstdint>
#include <string>

#include "ftp/CFtp.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string line(reinterpret_cast<const char*>(data), size);
    velkor::CFtpFile file;
    velkor::CFtp::Parse_ls(line.c_str(), &file);
    file.FreeStrings();
    return 0;
}
