// The progress bar text during an archive download: the remaining time must read right and
// never come from a division by a zero speed or a zero total.

#include "net/download_progress_text.h"

#include <gtest/gtest.h>

namespace kivrel {
namespace {

TEST(RemainingTimeText, ShowsHoursAndMinutesOnlyWhenNotZero) {
    struct Case {
        std::uint32_t seconds;
        std::wstring_view text;
    };
    constexpr Case cases[] = {
        {3725, L"1Hour2Minute5Second"}, {59, L"59Second"}, {3600, L"1Hour0Second"}, {0, L"0Second"},
        {61, L"1Minute1Second"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.seconds);
        EXPECT_EQ(RemainingTimeText(c.seconds), c.text);
    }
}

TEST(DownloadProgressText, ShowsPercentSpeedAndRemainingTime) {
    // A quarter of 4 MiB at 50 KB/s: 3 MiB left take 61 seconds.
    EXPECT_EQ(DownloadProgressText(1048576, 4194304, 5000000),
              L"Updated percent25.00% Speed50.00Kb/s  Remaining time1Minute1Second");
}

TEST(DownloadProgressText, LeavesOutWhatCannotBeKnown) {
    struct Case {
        const char* name;
        std::uint32_t bytes;
        std::uint32_t total;
        std::uint32_t speedCode;
        std::wstring_view text;
    };
    const Case cases[] = {
        // The end of a download reports speed 0 with every byte received.
        {"speed 0", 4194304, 4194304, 0, L"Updated percent100.00% Speed0.00Kb/s  "},
        {"no total announced", 5000, 0, 5000000, L"Speed50.00Kb/s  "},
        {"more bytes than announced", 5000, 4000, 100000,
         L"Updated percent125.00% Speed1.00Kb/s  Remaining time0Second"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(DownloadProgressText(c.bytes, c.total, c.speedCode), c.text);
    }
}

TEST(RemainingSeconds, SaturatesAtACrawlInsteadOfOverflowing) {
    EXPECT_EQ(RemainingSeconds(0, 0xFFFFFFFFu, 1), 0xFFFFFFFFu);
    EXPECT_EQ(RemainingSeconds(0, 1024, 100000), 1u);
    EXPECT_FALSE(RemainingSeconds(0, 1024, 0));
}

}  // namespace
}  // namespace kivrel
