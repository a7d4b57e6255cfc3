// ByteSum is the checksum of frames, sections and blocks, and the oracle many other tests
// trust: it is checked here against sums worked out by hand.

#include "base/byte_sum.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace kivrel {
namespace {

TEST(ByteSum, AddsEveryByteUnsignedAndWrapsModulo2To32) {
    struct Case {
        const char* what;
        std::vector<std::uint8_t> bytes;
        std::uint32_t sum;
    };
    std::vector<std::uint8_t> thirteen;
    for (std::uint8_t b = 0x80; b < 0x80 + 13; ++b) thirteen.push_back(b);
    const Case cases[] = {
        {"nothing", {}, 0},
        {"small bytes", {1, 2, 3}, 6},
        {"bytes from 0x80 count as 128 to 255, not as negatives", {0x80, 0xFF}, 0x17F},
        {"13 bytes, not a whole number of 8-byte lanes", thirteen, 1742},
        // One MiB is where the sum is taken in parts; 3 bytes spill over into the next.
        {"1 MiB + 3 bytes of 0xFF", std::vector<std::uint8_t>((1u << 20) + 3, 0xFF), 267387645},
        // 255 x 16843010 = 2^32 + 254.
        {"just past 2^32", std::vector<std::uint8_t>(16843010, 0xFF), 254},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(ByteSum(c.bytes), c.sum);
    }
}

}  // namespace
}  // namespace kivrel
