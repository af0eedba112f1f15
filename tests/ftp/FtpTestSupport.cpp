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

std::vector<std::string> LoggedOn(std::vector<std::string> more) {
    std::vector<std::string> replies = {"230 ok\r\n", "257 \"/\"\r\n"};
    replies.insert(replies.end(), more.begin(), more.end());
    return replies;
}

void ServeLogon(PeerConnection& c, std::vector<std::string>* received) {
    c.Write("220 hi\r\n");
    for (const char* reply : {"230 ok\r\n", "257 \"/\"\r\n"}) {
        const std::string line = c.ReadLine();
        if (received) received->push_back(line);
        c.Write(reply);
    }
}

bool LoginTo(CFtpLink& ftp, const ScriptedPeer& server) {
    return ftp.Login("127.0.0.1", static_cast<int>(server.Port()), "u", "p", "", "", "", "", 0,
                     0);
}

}  // namespace velkor::test
