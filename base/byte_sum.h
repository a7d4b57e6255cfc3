#pragma once

#include <cstdint>
#include <span>

namespace kivrel {

// The 32-bit sum of a byte range, each byte taken unsigned, wrapping modulo 2^32 on purpose.
// It is the checksum of command frames, update-file sections, layout and settings blocks.
[[nodiscard]] std::uint32_t ByteSum(std::span<const std::uint8_t> bytes) noexcept;

}  // namespace kivrel
