// Text from a server or a mail made safe to print on a terminal.
#pragma once

#include <string>
#include <string_view>

namespace velkor::tool {

// Control bytes (a hostile peer or mail could carry terminal escape
// sequences in a name or a reply) become '?': C0, DEL, and the C1 controls
// U+0080-U+009F as UTF-8 (C2 80-C2 9F; U+009B starts a sequence as ESC [
// does). Everything else stays as it is.
std::string Printable(const std::string& text);

// A protocol line for -v on standard error: "> " for what was sent, "< "
// for what came, control bytes shown as '?', and the secrets of PASS, ACCT,
// APOP and AUTH (and the line that answers a 334 challenge) as "****".
class VerboseTrace {
public:
    void operator()(bool sent, std::string_view line);

private:
    bool m_challenged = false;  // the last reply was 334
};

}  // namespace velkor::tool
