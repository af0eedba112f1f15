// Text from a server or a mail made safe to print on a terminal.
#pragma once

#include <string>

namespace velkor::tool {

// Control bytes (a hostile peer or mail could carry terminal escape
// sequences in a name or a reply) become '?': C0, DEL, and the C1 controls
// U+0080-U+009F as UTF-8 (C2 80-C2 9F; U+009B starts a sequence as ESC [
// does). Everything else stays as it is.
std::string Printable(const std::string& text);

}  // namespace velkor::tool
