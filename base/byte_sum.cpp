#include "base/byte_sum.h"

#include <cstring>

namespace kivrel {

std::uint32_t ByteSum(std::span<const std::uint8_t> bytes) noexcept {
    // Eight lanes of 32-bit partial sums let the compiler vectorise the loop; each lane can
    // take 2^24 bytes of 0xFF before it wraps, so the block size keeps them exact.
    constexpr std::size_t kBlock = 1u << 20;
    std::uint32_t total = 0;
    const std::uint8_t* p = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const std::size_t n = left < kBlock ? left : kBlock;
        std::uint32_t lanes[8] = {};
        std::size_t i = 0;
        for (; i + 8 <= n; i += 8) {
            for (int k = 0; k < 8; ++k) lanes[k] += p[i + k];
        }
        for (; i < n; ++i) lanes[0] += p[i];
        for (std::uint32_t lane : lanes) total += lane;
        p += n;
        left -= n;
    }
    return total;
}

}  // namespace kivrel
