// The settings block is read from the unit: its counts and texts are untrusted. Recognition
// must give a layout whose sum holds, and no accessor may reach outside the 256 bytes.

#include <algorithm>
#include <cstdint>
#include <span>

#include "settings_block/settings_block.h"

using namespace kivrel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> input(data, size);
    SettingsBlock block;
    const std::size_t taken = std::min(size, kSettingsBlockBytes);
    std::copy_n(input.begin(), taken, block.bytes.begin());
    const auto identity = input.subspan(taken);

    const int layout = RecogniseSettingsLayout(block, identity);
    if (layout < -1 || layout > 4) __builtin_trap();
    if (layout >= 1 && block.ComputeSum(layout) != block.StoredSum()) __builtin_trap();

    for (int family : {1, 3, 4}) {
        (void)block.TitleText();
        (void)block.ModelCode(family);
        (void)block.TimeZone(family);
        (void)block.DaytimeHour(family);
        (void)block.NighttimeHour(family);
        (void)block.ShowsRadarFrequency(family);
        const std::size_t count = static_cast<std::size_t>(block.SubBands().Total());
        for (std::size_t i = 0; i < std::min<std::size_t>(count + 2, 64); ++i) {
            FrequencyRange range;
            (void)block.SubBandEnabled(i);
            (void)block.SubBandRange(family, i, range);
            if (block.SubBandName(i).empty() != (i >= count)) __builtin_trap();
        }
    }
    (void)block.Apn();
    (void)block.Password();

    // Storing a layout's sum makes the block recognisable as that layout or a longer one.
    if (layout >= 1) {
        SettingsBlock copy = block;
        copy.StoreSum(layout);
        if (RecogniseSettingsLayout(copy, identity) < 1) __builtin_trap();
    }
    return 0;
}
