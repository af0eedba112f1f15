// FTP control replies of any shape: the bytes are what a server sends; the
// engine runs a few commands over a socket pair against them.
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "ftp/CFtpLink.h"

namespace {

class FuzzLink : public velkor::CFtpLink {
public:
    // Attaches one end of a socket pair as a logged-on control connection.
    bool Attach(int fd) {
        if (!m_control.m_socket.Attach(fd)) return false;
        m_control.m_socket.SetTimeoutLength(1);
        m_control.m_bConnected = true;
        m_nLoginState = 1;
        m_strHomeDir = "/";
        return true;
    }
    void Run() {
        std::string out;
        m_nCommand = 38;
        if (SendCommand("STAT\r\n")) CheckStatus();
        Pwd(out);
        Cwd("dir");
        Type("I");
        Size("f");
        Rnfr("a");
        Epsv();
        Retr("x");
        (void)GetLastError();
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) return 0;
    // The whole server side is written at once (small inputs fit the buffer).
    if (size > 0 && ::send(fds[1], data, size, MSG_NOSIGNAL) < 0) size = 0;
    ::shutdown(fds[1], SHUT_WR);
    FuzzLink link;
    if (link.Attach(fds[0])) link.Run();
    ::close(fds[1]);
    return 0;
}
