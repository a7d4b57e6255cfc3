#pragma once
// The section scrambler of update files and the XOR key of their index block.

#include <array>
#include <cstdint>
#include <span>

namespace kivrel {

// Scrambles or unscrambles a stream of 32-bit little-endian words. Every 256-byte block after
// the first is keyed by the sum of the previous block's plain words, so the state carries
// over between calls: a buffer may be fed in pieces whose lengths are multiples of 4. Bytes
// after the last whole word of a call are left untouched. One object serves one direction of
// one buffer at a time; it is not shared between threads.
class Scrambler {
public:
    static constexpr std::uint32_t kInitialKey = 0x12345678;

    // The fresh state every buffer starts from.
    void Reset() noexcept {
        key = kInitialKey;
        sum = 0;
        counter = 0;
    }
    void Scramble(std::span<std::uint8_t> bytes) noexcept;
    void Unscramble(std::span<std::uint8_t> bytes) noexcept;

private:
    std::uint32_t key = kInitialKey;
    std::uint32_t sum = 0;      // of the plain words of the current block
    std::uint32_t counter = 0;  // bytes of the current block done
};

// One whole buffer in place, from a fresh state.
void ScrambleBuffer(std::span<std::uint8_t> bytes) noexcept;
void UnscrambleBuffer(std::span<std::uint8_t> bytes) noexcept;

// The byte sum of the buffer as it reads once unscrambled from a fresh state, without
// changing it. Equal to ByteSum of an unscrambled copy.
[[nodiscard]] std::uint32_t UnscrambledByteSum(std::span<const std::uint8_t> bytes) noexcept;

// The index block is XORed with this key, byte k with key byte k mod 8; the same call
// scrambles and unscrambles.
inline constexpr std::array<std::uint8_t, 8> kIndexKey = {'T', 'R', 'E', 'L', 'V', 'I', 'N', 'X'};
void XorIndexKey(std::span<std::uint8_t> block) noexcept;

}  // namespace kivrel
