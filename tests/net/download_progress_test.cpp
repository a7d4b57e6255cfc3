// The downloader's percent, speed and speed-limit arithmetic, where 32-bit products and
// divisions by zero would otherwise give wrong messages on large or fast downloads.

#include "net/download_progress.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace kivrel {
namespace {

TEST(DownloadPercent, CountsTheResumeOffsetAsPresent) {
    struct Case {
        std::uint64_t offset;
        std::uint64_t received;
        std::uint64_t length;
        std::uint32_t percent;
    };
    constexpr Case cases[] = {
        {0, 0, 1000, 0},
        {0, 999, 1000, 99},
        {0, 1000, 1000, 100},
        {1000, 0, 1000, 50},
        {1000, 500, 1000, 75},
        {0, 150ull << 20, 200ull << 20, 75},  // past 42 MB a 32-bit product would wrap
        {0, 2000, 1000, 100},                 // a server sending more than it announced
        {0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.offset) + "+" + std::to_string(c.received) + "/" +
                     std::to_string(c.length));
        EXPECT_EQ(DownloadPercent(c.offset, c.received, c.length), c.percent);
    }
}

TEST(SpeedCode, IsKilobytesPerSecondTimes100000) {
    EXPECT_EQ(SpeedCode(51200, 1000), 5000000u);  // 50 KB/s
    EXPECT_EQ(SpeedCode(51200, 2000), 2500000u);
    EXPECT_EQ(SpeedCode(1536, 1500), 100000u);  // 1 KB/s over a second and a half
    EXPECT_EQ(SpeedCode(0, 1000), 0u);
    EXPECT_EQ(SpeedCode(1000, 0), 0u);
    // 100 MB/s does not fit: the code saturates rather than wrapping to a crawl.
    EXPECT_EQ(SpeedCode(100ull << 20, 1000), std::numeric_limits<std::uint32_t>::max());
}

TEST(SpeedLimitDelayMs, PausesUntilTheBytesSoFarAreWithinTheLimit) {
    struct Case {
        std::uint64_t received;
        std::uint64_t elapsed;
        double limit;
        std::uint32_t delay;
    };
    const Case cases[] = {
        {10000, 50, 100.0, 50},  // 10000 bytes are due after 100 ms
        {10000, 100, 100.0, 0},  // exactly on time
        {10000, 150, 100.0, 0},  // behind: no pause
        {10000, 0, 100.0, 100},  // no time has passed yet
        {0, 0, 100.0, 0},        // nothing received yet
        {10000, 50, 0.0, 0},     // no limit
        {10000, 50, -5.0, 0},    // nonsense is no limit
        {10000, 50, std::nan(""), 0},
        {1000, 0, 0.3, 3333},  // truncated
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.received) + " bytes after " + std::to_string(c.elapsed));
        EXPECT_EQ(SpeedLimitDelayMs(c.received, c.elapsed, c.limit), c.delay);
    }
}

}  // namespace
}  // namespace kivrel
