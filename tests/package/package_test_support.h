#pragma once
// Small helpers the update-file tests share: deterministic bytes and the stored form of a
// section as the unit receives it.

#include <cstdint>
#include <vector>

#include "base/byte_sum.h"
#include "package/package_writer.h"
#include "package/sample_package.h"

namespace kivrel::test {

inline std::vector<std::uint8_t> Pattern(std::size_t size, std::uint32_t seed = 1) {
    std::vector<std::uint8_t> bytes(size);
    std::uint32_t state = seed * 2654435761u + 7;
    for (std::uint8_t& b : bytes) {
        state = state * 1664525u + 1013904223u;
        b = static_cast<std::uint8_t>(state >> 24);
    }
    return bytes;
}

// Stored bytes padded with 0xFF to a multiple of 256, as the loader must hold them.
inline std::vector<std::uint8_t> PaddedStored(const std::vector<std::uint8_t>& plain) {
    std::vector<std::uint8_t> stored = ScrambledCopy(plain);
    stored.resize((stored.size() + 255) / 256 * 256, 0xFF);
    return stored;
}

// Checksum of the base, resource and database images.
inline std::uint32_t PlainRuleChecksum(const std::vector<std::uint8_t>& plain) {
    const std::size_t padding = (256 - plain.size() % 256) % 256;
    return ByteSum(plain) + static_cast<std::uint32_t>(padding * 255);
}

// A few KiB of everything: sections, two extended model entries, 34 provinces.
inline PackageContents SmallContents() {
    return MakeSamplePackage({});
}

}  // namespace kivrel::test
