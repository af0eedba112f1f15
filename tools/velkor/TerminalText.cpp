#include "TerminalText.h"

namespace velkor::tool {

std::string Printable(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (b == 0xC2 && i + 1 < text.size() &&
            (static_cast<unsigned char>(text[i + 1]) & 0xE0) == 0x80) {
            out += '?';
            ++i;
        } else {
            out += (b < 0x20 || b == 0x7F) ? '?' : text[i];
        }
    }
    return out;
}

}  // namespace velkor::tool
