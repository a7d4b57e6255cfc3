#include "package/scrambler.h"

#include <algorithm>

#include "base/le_bytes.h"

namespace kivrel {
namespace {

constexpr std::uint32_t kBlockBytes = 256;

// b2 ^= b0 and b3 ^= b1 in one step; applying it twice gives the word back.
constexpr std::uint32_t FoldHalves(std::uint32_t word) noexcept {
    return word ^ (word << 16);
}

struct UnscrambleWord {
    static std::uint32_t Apply(std::uint32_t stored, std::uint32_t key, std::uint32_t& plain) {
        plain = FoldHalves(stored) ^ key;
        return plain;
    }
};

struct ScrambleWord {
    static std::uint32_t Apply(std::uint32_t word, std::uint32_t key, std::uint32_t& plain) {
        plain = word;
        return FoldHalves(word ^ key);
    }
};

// The block loop is written once for both directions; within a block the key is fixed, so
// the inner loop is a plain word loop the compiler can keep in registers.
template <typename Op>
void Run(std::span<std::uint8_t> bytes, std::uint32_t& key, std::uint32_t& sum,
         std::uint32_t& counter) noexcept {
    std::uint8_t* p = bytes.data();
    std::size_t words = bytes.size() / 4;
    while (words > 0) {
        const std::size_t inBlock = std::min<std::size_t>(words, (kBlockBytes - counter) / 4);
        std::uint32_t blockSum = sum;
        const std::uint32_t blockKey = key;
        for (std::size_t i = 0; i < inBlock; ++i, p += 4) {
            std::uint32_t plain = 0;
            PutU32(p, Op::Apply(GetU32(p), blockKey, plain));
            blockSum += plain;  // wraps on purpose
        }
        words -= inBlock;
        counter += static_cast<std::uint32_t>(inBlock * 4);
        if (counter == kBlockBytes) {
            key = blockSum;
            sum = 0;
            counter = 0;
        } else {
            sum = blockSum;
        }
    }
}

}  // namespace

void Scrambler::Scramble(std::span<std::uint8_t> bytes) noexcept {
    Run<ScrambleWord>(bytes, key, sum, counter);
}

void Scrambler::Unscramble(std::span<std::uint8_t> bytes) noexcept {
    Run<UnscrambleWord>(bytes, key, sum, counter);
}

void ScrambleBuffer(std::span<std::uint8_t> bytes) noexcept {
    Scrambler scrambler;
    scrambler.Scramble(bytes);
}

void UnscrambleBuffer(std::span<std::uint8_t> bytes) noexcept {
    Scrambler scrambler;
    scrambler.Unscramble(bytes);
}

std::uint32_t UnscrambledByteSum(std::span<const std::uint8_t> bytes) noexcept {
    // Unscrambles each word in a register and adds up its bytes there, so the section is read
    // once and nothing is copied. Two 16-bit lanes gather the byte sums of a block: 64 words
    // add at most 64 * 2 * 255 to a lane, which cannot carry into the other.
    std::uint32_t key = Scrambler::kInitialKey;
    std::uint32_t total = 0;
    const std::uint8_t* p = bytes.data();
    std::size_t words = bytes.size() / 4;
    while (words > 0) {
        const std::size_t inBlock = std::min<std::size_t>(words, kBlockBytes / 4);
        std::uint32_t blockSum = 0;
        std::uint32_t lanes = 0;
        for (std::size_t i = 0; i < inBlock; ++i, p += 4) {
            const std::uint32_t plain = FoldHalves(GetU32(p)) ^ key;
            blockSum += plain;  // wraps on purpose
            lanes += (plain & 0x00FF00FFu) + ((plain >> 8) & 0x00FF00FFu);
        }
        total += (lanes & 0xFFFFu) + (lanes >> 16);
        key = blockSum;
        words -= inBlock;
    }
    for (std::size_t i = 0; i < bytes.size() % 4; ++i) total += p[i];  // left as stored
    return total;
}

void XorIndexKey(std::span<std::uint8_t> block) noexcept {
    for (std::size_t k = 0; k < block.size(); ++k) block[k] ^= kIndexKey[k % kIndexKey.size()];
}

}  // namespace kivrel
