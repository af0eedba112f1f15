// CodedReply: the reply grammar FTP and SMTP share.
//
// A reply line starts with a three-digit code. A first line "ddd-text" opens
// a multi-line reply, which ends at the first later line whose first four
// characters are "ddd " (the same three characters and a blank; a shorter
// line counts as padded with blanks). Lines between may say anything,
// including other codes (RFC 959, section 4.2). Any other first line is a
// reply of its own.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "CLineReader.h"
#include "ProtocolTrace.h"

namespace velkor {

struct CodedReply {
    // The code of a line: its first three characters as digits, else -1.
    static int Code(std::string_view line);
    // Whether the line opens a multi-line reply ("ddd-").
    static bool Opens(std::string_view line);
    // Whether `line` ends the reply whose first line is `first`.
    static bool Ends(std::string_view first, std::string_view line);
    // The index of the last line of the reply that begins at lines[first],
    // or npos while it has not come whole.
    static std::size_t LastLine(const std::vector<std::string>& lines, std::size_t first);
    // Reads one whole reply, line by line, appending its lines to `lines`
    // (which must come empty) and passing each to the trace; lines after it
    // stay in the reader for the next reply. kOk when it ended, kTooLong when
    // it ran past maxLines lines, else the reader's failure.
    static CLineReader::Result Read(CLineReader& reader, std::vector<std::string>& lines,
                                    std::size_t maxLines, const ProtocolTrace& trace);
};

}  // namespace velkor
