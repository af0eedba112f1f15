#include "FtpTestSupport.h"

namespace velkor::test {

ScriptedPeer::Script FtpDialogue(std::string greeting, std::vector<std::string> replies,
                                 std::vector<std::string>* received) {
    return [greeting = std::move(greeting), replies = std::move(replies),
            received](PeerConnection& c) {
        c.Write(greeting);
        for (const std::string& reply : replies) {
            const std::string line = c.ReadLine();
            if (line.empty()) return;
            received->push_back(line);
            if (reply == "<close>") return;
            c.Write(reply);
        }
        // Answer what follows (QUIT) and wait for the client to go.
        for (std::string line; !(line = c.ReadLine()).empty();) {
            received->push_back(line);
            c.Write(line == "QUIT" ? "221 Bye\r\n" : "500 Unscripted\r\n");
        }
    };
}

}  // namespace velkor::test
