#include "platform/LastError.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <thread>

namespace velkor {
namespace {

struct ErrnoCase {
    int err;
    int wsa;
};

class ErrnoMapping : public ::testing::TestWithParam<ErrnoCase> {};

TEST_P(ErrnoMapping, MapsToWindowsSocketsNumber) {
    EXPECT_EQ(WsaErrorFromErrno(GetParam().err), GetParam().wsa);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, ErrnoMapping,
    ::testing::Values(ErrnoCase{EINTR, 10004}, ErrnoCase{EINVAL, 10022},
                      ErrnoCase{EAGAIN, 10035}, ErrnoCase{EINPROGRESS, 10035},
                      ErrnoCase{ECONNABORTED, 10053}, ErrnoCase{ECONNRESET, 10054},
                      ErrnoCase{EPIPE, 10054}, ErrnoCase{ENOTCONN, 10057},
                      ErrnoCase{ETIMEDOUT, 10060}, ErrnoCase{ECONNREFUSED, 10061},
                      ErrnoCase{EHOSTUNREACH, 10065},
                      // No counterpart: kept apart from every real number.
                      ErrnoCase{ENOENT, 10000 + ENOENT}));

TEST(LastSocketError, IsPerThread) {
    SetLastSocketError(WSAECONNRESET);
    int seenInOtherThread = -1;
    std::thread other([&] {
        seenInOtherThread = GetLastSocketError();
        SetLastSocketError(WSAEINTR);
    });
    other.join();
    EXPECT_EQ(seenInOtherThread, 0);
    EXPECT_EQ(GetLastSocketError(), WSAECONNRESET);
}

}  // namespace
}  // namespace velkor
