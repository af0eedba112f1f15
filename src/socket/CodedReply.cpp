#include "CodedReply.h"

namespace velkor {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

char At(std::string_view line, std::size_t i) { return i < line.size() ? line[i] : ' '; }

}  // namespace

int CodedReply::Code(std::string_view line) {
    if (line.size() < 3 || !IsDigit(line[0]) || !IsDigit(line[1]) || !IsDigit(line[2])) return -1;
    return (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
}

bool CodedReply::Opens(std::string_view line) { return line.size() >= 4 && line[3] == '-'; }

bool CodedReply::Ends(std::string_view first, std::string_view line) {
    for (std::size_t i = 0; i < 3; ++i)
        if (At(line, i) != At(first, i)) return false;
    return At(line, 3) == ' ';
}

std::size_t CodedReply::LastLine(const std::vector<std::string>& lines, std::size_t first) {
    if (first >= lines.size()) return std::string::npos;
    if (!Opens(lines[first])) return first;
    for (std::size_t i = first + 1; i < lines.size(); ++i)
        if (Ends(lines[first], lines[i])) return i;
    return std::string::npos;
}

CLineReader::Result CodedReply::Read(CLineReader& reader, std::vector<std::string>& lines,
                                     std::size_t maxLines, const ProtocolTrace& trace) {
    for (;;) {
        if (lines.size() >= maxLines) return CLineReader::kTooLong;
        std::size_t received = 0;
        // One line at a time: lines after the reply stay for the next one.
        const CLineReader::Result result = reader.ReadLines(lines, received, 1);
        if (result != CLineReader::kOk) return result;
        TraceLine(trace, false, lines.back());
        if (lines.size() == 1 ? !Opens(lines[0]) : Ends(lines[0], lines.back()))
            return CLineReader::kOk;
    }
}

}  // namespace velkor
