// The real servers a transcript of any family may start, and the lines that
// use them:
//   > server NAME KIND [MODE]      starts one: ftp-pyftpdlib, ftp-vsftpd, ...
//                                  (MODE explicit or implicit TLS, or ipv6);
//                                  smtp (MODE starttls, implicit or expired);
//                                  pop3 (MODE tls); nginx (MODE ipv6);
//                                  dante (its methods, or ipv6); tinyproxy;
//                                  ngircd.
//                                  It names {NAME.port}, {NAME.tlsport},
//                                  {NAME.root}, {NAME.ca}, {NAME.login}
//                                  (user:password), {NAME.user} and
//                                  {NAME.password}; the case is skipped where
//                                  the server is not installed.
//   > deliver NAME BOX-NAME FILE   puts a mail in a POP3 box
//   > save-stored NAME N FILE      writes the Nth mail an SMTP server took
//   > random-file PATH N SEED      writes N random bytes
//   > sparse-file PATH N AT...     a sparse file of N bytes marked at each AT
//   > file-tree DIR FOLDERS FILES BYTES SEED
//                                  FOLDERS folders of FILES random files each,
//                                  named with blanks and Chinese characters
//   > give NAME PATH               hands a file to an FTP server's user
//   ? stored NAME N TEXT           the Nth mail an SMTP server took
//   ? stored-has NAME N TEXT 0|1   ... holds a text; envelope-has: its envelope
//   ? same A B 0|1                 two files hold the same bytes
//   ? same-from A B AT 0|1         ... of one size, the same from AT on
//   ? same-tree A B 0|1            two folders hold the same entries and bytes
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>

#include "Transcript.h"

namespace velkor::test {

class PeerServer;

class TranscriptServers {
public:
    TranscriptServers();
    ~TranscriptServers();
    // The result of a call of its own (new expansions added to vars), or
    // nothing when the name is not one.
    std::optional<std::string> Call(const std::string& name, const Words& args, Vars& vars);
    std::optional<std::string> Observe(const std::string& name, const Words& args);

private:
    void Start(const std::string& name, const std::string& kind, const std::string& mode, Vars& vars);
    template <class Kind>
    Kind& Server(const std::string& name);

    std::map<std::string, std::unique_ptr<PeerServer>> m_servers;
};

}  // namespace velkor::test
