#pragma once
// A database image built from the point records of chosen provinces instead of the update
// file's own database.

#include <cstdint>
#include <span>

#include "package/province_names.h"
#include "package/update_package.h"

namespace kivrel {

// The sort key of a point record, from its second word: bits 6-30 are a magnitude, bit 31
// its sign; bits 0-5 do not count.
[[nodiscard]] constexpr std::int32_t PointSortKey(std::uint32_t secondWord) noexcept {
    const auto magnitude = static_cast<std::int32_t>((secondWord >> 6) & 0x1FFFFFFu);
    return (secondWord & 0x80000000u) != 0 ? -magnitude : magnitude;
}

// Replaces the database image with a block of the province tag, the total record count and
// the records of the flagged provinces (flag i names entry i of kProvinceNames; each takes
// the first province-table entry of that name), sorted by key and scrambled, and sets
// `regional`. Fails only when memory runs out; the database image is then absent.
// Runs on the calling thread.
[[nodiscard]] bool BuildRegionalDatabase(UpdatePackage& package,
                                         std::span<const std::int32_t, kProvinceCount> flags);

}  // namespace kivrel
