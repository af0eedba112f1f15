// A server process started by a test (from tests/peers/), stopped by its PID.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace velkor::test {

class PeerProcess {
public:
    PeerProcess() = default;
    ~PeerProcess() { Stop(); }
    PeerProcess(const PeerProcess&) = delete;
    PeerProcess& operator=(const PeerProcess&) = delete;

    // Starts argv[0] with the arguments; false when it cannot be started.
    bool Start(const std::vector<std::string>& argv);
    // Waits up to timeoutMs for 127.0.0.1:port to accept connections; false
    // when it does not, or when the process has already exited.
    bool WaitForPort(unsigned int port, int timeoutMs);
    // Ends the process (SIGTERM, then SIGKILL) and reaps it.
    void Stop();
    bool Running() const { return m_pid > 0; }

private:
    pid_t m_pid = -1;
};

// Runs a command to completion; its exit status, or -1.
int RunCommand(const std::vector<std::string>& argv);

// The directory of the test peer scripts (tests/peers).
std::string PeersDir();

}  // namespace velkor::test
