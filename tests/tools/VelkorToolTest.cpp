// The velkor command-line tool's progress line (its commands are tool
// transcripts).
#include <gtest/gtest.h>

#include "Progress.h"

namespace velkor::tool {
namespace {

TEST(ProgressLine, ShowsBarPercentRateAndTimeLeft) {
    EXPECT_EQ(Progress::Format("get f", 512, 1024, 256, 10),
              "get f [#####     ]  50% 512 B  256 B/s  ETA 0:02");
    EXPECT_EQ(Progress::Format("put g", 3 << 20, 3 << 20, 1 << 20, 4),
              "put g [####] 100% 3.0 MiB  1.0 MiB/s");
    // Unknown total: no bar, no time left.
    EXPECT_EQ(Progress::Format("get h", 1536, 0, 0, 4), "get h 1.5 KiB");
}

}  // namespace
}  // namespace velkor::tool
