// The library's side of the mail transfer benchmark: sends mail files over
// one SMTP connection, or fetches every message of a POP3 mailbox over one
// connection (and discards them), as curl does in one process.
//   mail_transfer send HOST PORT FILE...
//   mail_transfer fetch HOST PORT USER PASSWORD
// With VELKOR_BENCH_CA=FILE in the environment, send uses STARTTLS and
// trusts that CA.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "mail/CPop3.h"
#include "mail/CSmtp.h"
#include "platform/LocalFile.h"

using namespace velkor;

int main(int argc, char** argv) {
    if (argc < 4) return 2;
    const unsigned int port = static_cast<unsigned int>(std::atoi(argv[3]));
    if (std::strcmp(argv[1], "send") == 0) {
        CSmtp smtp;
        smtp.SetServerProperties(argv[2], port, 0, "", "");
        if (const char* ca = std::getenv("VELKOR_BENCH_CA")) {
            smtp.m_nTls = kTlsExplicit;
            smtp.m_tls.caFile = ca;
        }
        if (!smtp.Connect()) return 3;
        std::string text;  // one buffer for all messages, as an application may keep
        for (int i = 4; i < argc; ++i) {
            std::uint32_t sent = 0;
            if (!ReadRegularFile(argv[i], text, 1u << 30) || !smtp.SendMessageA(text, sent)) return 5;
        }
        smtp.Disconnect();
        return 0;
    }
    if (argc != 6) return 2;
    CPop3 pop(argv[2], port);
    if (!pop.Connect() || !pop.Login(argv[4], argv[5])) return 3;
    std::uint64_t total = 0;
    std::string text;  // one buffer for all messages, as an application may keep
    for (int i = 0; i < pop.GetMsgCount(); ++i) {
        std::uint32_t size = 0;
        if (!pop.GetMsg(i, text, size, 0)) return 5;
        total += text.size();
    }
    pop.Logoff();
    std::fprintf(stderr, "%d messages, %llu bytes\n", pop.GetMsgCount(),
                 static_cast<unsigned long long>(total));
    return 0;
}
