#include "platform/LastError.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <thread>

namespace velkor {
namespace {

TEST(LastSocketError, ErrnoWithoutCounterpartStaysApartFromRealNumbers) {
    EXPECT_EQ(WsaErrorFromErrno(ENOENT), 10000 + ENOENT);
    EXPECT_NE(SocketErrorText(10000 + ENOENT).find("No such file"), std::string::npos);
}

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
