#pragma once
// The fixed radar band table that gives the enable bytes 11-22 of layouts 1 and 2 their meaning.

#include <array>
#include <cstdint>
#include <string_view>

namespace kivrel {

struct FixedBand {
    std::string_view name;
    std::uint16_t lowMhz;
    std::uint16_t highMhz;
    std::string_view key;  // what scripts call it (`kivrel settings set ka1=off`); never changes
};

inline constexpr std::size_t kFixedBandCount = 12;

// Table order is the order of the enable bytes: entry i belongs to block byte 11 + i.
extern const std::array<FixedBand, kFixedBandCount> kFixedBands;

}  // namespace kivrel
