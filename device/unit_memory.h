#pragma once
// The unit's memory map: where bank 0 keeps the base image, identity, settings and layout
// blocks, where bank 1 keeps the model block and the data regions of the fixed layout, and
// which capacities a unit can have.

#include <cstdint>

namespace kivrel {

inline constexpr std::uint8_t kBank0 = 0;
inline constexpr std::uint8_t kBank1 = 1;
inline constexpr std::uint32_t kFixedIdentityAddress = 0x7000;
inline constexpr std::uint32_t kRecordIdentityAddress = 0x18000;
inline constexpr std::uint32_t kModelHeaderAddress = 0x8000;
inline constexpr std::uint32_t kModelDataAddress = 0x9000;
inline constexpr std::uint32_t kSettingsAddress = 0x11000;
inline constexpr std::uint32_t kLayoutAddress = 0x16000;
inline constexpr std::uint32_t kFixedMainAddress = 0xDE000;
inline constexpr std::uint32_t kFixedResourceAddress = 0x16000;
inline constexpr std::uint32_t kFixedDatabaseAddress = 0x2DE000;
inline constexpr std::uint32_t kPlacedBase = 0x22000;
inline constexpr std::uint32_t kModelImageAddress = 0x19000;
inline constexpr std::uint32_t kSectorBytes = 4096;
// Largest sections the fixed layout has room for.
inline constexpr std::uint32_t kFixedMainRoom = 0x200000;
inline constexpr std::uint32_t kFixedResourceRoom = 0xC8000;
inline constexpr std::uint32_t kFixedDatabaseRoom = 0x522000;
// Units with an older boot loader have 8 MiB and do not answer QueryCapacity.
inline constexpr std::uint32_t kCapacityQueryBoot = 1011;
inline constexpr std::uint32_t kAbandonBoot = 1010;
inline constexpr std::uint32_t kDefaultCapacity = 0x800000;
// Far beyond any unit's flash; the failure values -1 and -2 and other noise lie above it or
// are no whole number of sectors.
inline constexpr std::uint32_t kMaxPlausibleCapacity = 0x40000000;

// A padded length rounded up to whole 4 KiB sectors.
[[nodiscard]] constexpr std::uint32_t RoundToSector(std::uint32_t length) noexcept {
    const std::uint64_t rounded =
        (std::uint64_t{length} + kSectorBytes - 1) / kSectorBytes * kSectorBytes;
    return static_cast<std::uint32_t>(rounded);  // section lengths stay far below 4 GiB
}
// A capacity a unit can have: a whole number of sectors, neither 0 nor absurdly large.
[[nodiscard]] constexpr bool PlausibleCapacity(std::uint32_t capacity) noexcept {
    return capacity != 0 && capacity % kSectorBytes == 0 && capacity <= kMaxPlausibleCapacity;
}

}  // namespace kivrel
