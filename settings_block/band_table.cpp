#include "settings_block/band_table.h"

namespace kivrel {

const std::array<FixedBand, kFixedBandCount> kFixedBands = {{
    {"X Band", 10480, 10720},
    {"Ku Band", 13350, 13540},
    {"MTR Band", 22700, 23660},
    {"K Band", 23660, 24060},
    {"K3 Band", 24060, 24410},
    {"K4 Band", 24410, 24900},
    {"KA1 Band", 33700, 34200},
    {"KA2 Band", 34200, 34600},
    {"KA3 Band", 34600, 35450},
    {"KA4 Band", 35450, 35950},
    {"KA5 Band", 35950, 36300},
    {"Laser Band", 0, 0},
}};

}  // namespace kivrel
