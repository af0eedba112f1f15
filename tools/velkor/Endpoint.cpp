#include "Endpoint.h"

#include <charconv>

namespace velkor::tool {

bool ParseEndpoint(const std::string& text, Endpoint& out) {
    const auto colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0) return false;
    unsigned int port = 0;
    const char* first = text.data() + colon + 1;
    const char* last = text.data() + text.size();
    const auto [end, ec] = std::from_chars(first, last, port);
    if (ec != std::errc() || end != last || port == 0 || port > 65535) return false;
    out.host = text.substr(0, colon);
    out.port = port;
    return true;
}

}  // namespace velkor::tool
