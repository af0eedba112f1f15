// Pre-faulting keeps what a buffer holds, whatever its alignment and size.
#include "platform/Prefault.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace velkor {
namespace {

TEST(Prefault, KeepsTheContentsOfAnyRange) {
    std::vector<std::uint8_t> buffer((kPrefaultMinBytes * 2) + 12345);
    for (std::size_t i = 0; i < buffer.size(); ++i) buffer[i] = static_cast<std::uint8_t>(i * 31);
    const std::vector<std::uint8_t> before = buffer;
    // Unaligned ends, a range just under the threshold, an empty one.
    PrefaultForWrite(buffer.data() + 3, kPrefaultMinBytes + 5000);
    PrefaultForWrite(buffer.data() + 1, kPrefaultMinBytes - 1);
    PrefaultForWrite(buffer.data(), 0);
    PrefaultForWrite(nullptr, kPrefaultMinBytes);
    EXPECT_TRUE(buffer == before);
}

}  // namespace
}  // namespace velkor
