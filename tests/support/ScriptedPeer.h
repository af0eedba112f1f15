// A loopback TCP peer for tests: listens on 127.0.0.1 and runs a script
// (a function) on each connection it accepts, in its own thread.
//
// The script talks to the client through PeerConnection, whose reads give up
// after a few seconds so that a broken test fails instead of hanging.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

namespace velkor::test {

class PeerConnection {
public:
    explicit PeerConnection(int fd) : m_fd(fd) {}

    // Reads exactly n bytes, or fewer if the client closes or stalls.
    std::string Read(std::size_t n);
    // Reads whatever arrives in one recv (up to max bytes).
    std::string ReadSome(std::size_t max = 65536);
    // Reads one line up to CR LF (returned without it); empty when the client
    // closes or stalls first.
    std::string ReadLine();
    // Reads until the client closes; the bytes read.
    std::string ReadToEnd();
    // False when the client has gone.
    bool Write(const std::string& bytes);
    // Closes with a reset (RST) instead of an orderly close.
    void Reset();
    void SetReceiveBufferSize(int bytes);
    int Fd() const { return m_fd; }

private:
    int m_fd;
    std::string m_buffered;  // bytes read past the last line
};

class ScriptedPeer {
public:
    using Script = std::function<void(PeerConnection&)>;

    // Listens on 127.0.0.1 (any free port) and serves up to `connections`
    // connections with the script, one after the other.
    explicit ScriptedPeer(Script script, int connections = 1);
    ~ScriptedPeer();

    unsigned int Port() const { return m_port; }
    // How many connections were accepted so far.
    int Accepted() const { return m_accepted.load(); }
    // Waits for the serving thread to finish its scripts.
    void Join();

private:
    int m_listenFd = -1;
    unsigned int m_port = 0;
    std::atomic<int> m_accepted{0};
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

// A free TCP port on 127.0.0.1 at the time of the call.
unsigned int FreeLoopbackPort();

// Bytes from a list of values, for exact wire messages.
std::string Bytes(std::initializer_list<int> values);

}  // namespace velkor::test
