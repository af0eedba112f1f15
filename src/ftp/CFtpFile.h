// CFtpFile: one parsed directory-listing entry.
//
// A plain record filled by CFtp::Parse_ls. Its strings are heap copies
// (new[]) made by the parser; they belong to whoever called Parse_ls, who
// frees them with FreeStrings(). Copies share the strings, and the destructor
// frees nothing.
#pragma once

#include <cstdint>

namespace velkor {

class CFtpFile {
public:
    CFtpFile() = default;
    CFtpFile(const CFtpFile&) = default;
    CFtpFile& operator=(const CFtpFile&) = default;
    // Clears the flags; frees nothing.
    virtual ~CFtpFile();

    // Frees the four strings (delete[]) and sets them to null.
    void FreeStrings();

    char* m_pszName = nullptr;
    char* m_pszOwner = nullptr;       // or "unknown"
    char* m_pszGroup = nullptr;       // or "unknown"
    char* m_pszPermission = nullptr;  // mode string, NetWare rights, or a made-up mode
    std::int32_t m_tModified = 0;     // seconds since 1970, local-time conversion
    std::int64_t m_tModifiedUtc = -1; // an MLSD "modify" fact in seconds since 1970 UTC (-1: none)
    std::uint32_t m_nSize = 0;        // devices: (major << 16) | minor; 0 when over 32 bits
    std::uint64_t m_nSize64 = 0;      // the same, never cut to 32 bits
    std::uint8_t m_bDirectory = 0;
    std::uint8_t m_bExec = 0;
    std::uint8_t m_bLink = 0;
    std::uint8_t m_bBlockDevice = 0;
    std::uint8_t m_bCharDevice = 0;
    std::uint8_t m_bSocket = 0;
    std::uint8_t m_bPipe = 0;
};

}  // namespace velkor
