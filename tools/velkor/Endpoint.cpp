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
    std::string host = text.substr(0, colon);
    // An IPv6 address goes in brackets: "[::1]:1080".
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    else if (host.find_first_of("[]:") != std::string::npos) return false;
    out.host = host;
    out.port = port;
    return true;
}

}  // namespace velkor::tool
