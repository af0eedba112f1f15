// "host:port" texts on the command line.
#pragma once

#include <string>

namespace velkor::tool {

struct Endpoint {
    std::string host;
    unsigned int port = 0;
};

// Parses "host:port" (an IPv6 address in brackets, "[::1]:1080", given back
// without them); false when the port is missing or not 1-65535.
bool ParseEndpoint(const std::string& text, Endpoint& out);

}  // namespace velkor::tool
