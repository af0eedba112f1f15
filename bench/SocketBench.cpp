// Send/Receive over loopback in 4 KiB chunks: CVLKSocket against raw POSIX
// send/recv on the same kind of connection, in the same run.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "socket/CVLKSocket.h"

namespace {

constexpr int kChunk = 4096;

// A connected loopback pair of CVLKSockets.
struct Pair {
    velkor::CVLKSocket listener, client;
    Pair() {
        listener.Create(0, SOCK_STREAM, velkor::FD_ALL_EVENTS, "127.0.0.1");
        listener.Listen();
        std::string addr;
        unsigned int port = 0;
        listener.GetSockName(addr, port);
        client.Create();
        // The connect completes in the kernel's backlog before Accept runs.
        client.Connect("127.0.0.1", port);
        listener.Accept();  // the listener becomes the server side
    }
};

void BM_CVLKSocket_SendReceive4K(benchmark::State& state) {
    Pair pair;
    std::vector<char> out(kChunk, 'x'), in(kChunk);
    for (auto _ : state) {
        pair.client.Send(out.data(), kChunk);
        int got = 0;
        while (got < kChunk) {
            const int n = pair.listener.Receive(in.data() + got, kChunk - got);
            if (n <= 0) {
                state.SkipWithError("receive failed");
                return;
            }
            got += n;
        }
        benchmark::DoNotOptimize(in.data());
    }
    state.SetBytesProcessed(state.iterations() * kChunk);
}
BENCHMARK(BM_CVLKSocket_SendReceive4K);

void BM_RawPosix_SendReceive4K(benchmark::State& state) {
    Pair pair;  // the same kind of connection, used through its handles
    const int tx = pair.client.m_hSocket, rx = pair.listener.m_hSocket;
    std::vector<char> out(kChunk, 'x'), in(kChunk);
    for (auto _ : state) {
        int sent = 0;
        while (sent < kChunk) {
            const ssize_t n = ::send(tx, out.data() + sent, kChunk - sent, MSG_NOSIGNAL);
            if (n > 0) sent += static_cast<int>(n);
        }
        int got = 0;
        while (got < kChunk) {
            const ssize_t n = ::recv(rx, in.data() + got, kChunk - got, 0);
            if (n > 0) got += static_cast<int>(n);
        }
        benchmark::DoNotOptimize(in.data());
    }
    state.SetBytesProcessed(state.iterations() * kChunk);
}
BENCHMARK(BM_RawPosix_SendReceive4K);

}  // namespace
