#include "TerminalText.h"

#include <strings.h>

#include <cstdio>
#include <cstring>

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

void VerboseTrace::operator()(bool sent, std::string_view line) {
    std::string shown(line);
    if (sent) {
        const auto starts = [&](const char* verb) {
            const std::size_t n = std::strlen(verb);
            return line.size() > n && ::strncasecmp(line.data(), verb, n) == 0;
        };
        if (m_challenged) {
            shown = "****";
        } else if (starts("PASS ") || starts("ACCT ")) {
            shown = shown.substr(0, 5) + "****";
        } else if (starts("AUTH ") || starts("APOP ")) {
            // AUTH PLAIN <secret>, AUTH LOGIN <user>, APOP <user> <digest>.
            const std::size_t blank = line.find(' ', 5);
            if (blank != std::string_view::npos) shown = shown.substr(0, blank + 1) + "****";
        }
    } else {
        m_challenged = line.size() >= 4 && line.substr(0, 3) == "334" && line[3] == ' ';
    }
    std::fprintf(stderr, "%s %s\n", sent ? ">" : "<", Printable(shown).c_str());
}

}  // namespace velkor::tool
