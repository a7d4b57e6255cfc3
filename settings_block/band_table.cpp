#include "settings_block/band_table.h"

namespace kivrel {

const std::array<FixedBand, kFixedBandCount> kFixedBands = {{
    {"X Band", 10480, 10720, "x"},
    {"Ku Band", 13350, 13540, "ku"},
    {"MTR Band", 22700, 23660, "mtr"},
    {"K Band", 23660, 24060, "k"},
    {"K3 Band", 24060, 24410, "k3"},
    {"K4 Band", 24410, 24900, "k4"},
    {"KA1 Band", 33700, 34200, "ka1"},
    {"KA2 Band", 34200, 34600, "ka2"},
    {"KA3 Band", 34600, 35450, "ka3"},
    {"KA4 Band", 35450, 35950, "ka4"},
    {"KA5 Band", 35950, 36300, "ka5"},
    {"Laser Band", 0, 0, "laser"},
}};

}  // namespace kivrel
