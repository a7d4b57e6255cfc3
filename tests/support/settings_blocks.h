#pragma once
// Settings blocks for tests: a usable block of each layout with plain values, to be spoilt one
// field at a time.

#include <gtest/gtest.h>

#include <cstring>

#include "base/le_bytes.h"
#include "settings_block/settings_block.h"

namespace kivrel::test {

// Layouts 1-2: option bits 0x21 (12-hour clock and another bit), time zone 8, screen hours 7
// and 19, model code `model` (default "KV2A"), and a byte past the 72-byte sum so the block is
// not also a layout-3 one. Layouts 3-4: model code `model` (default "KV3A"), option bits 0xA1
// (frequency display offered), time zone 8, the sub-band `counts` with X enabled, radar type
// `radarType`, hours 7 and 19, the sub-band list flag, and range i = (10000 + 100 i, +50) MHz for
// every entry the block has room for. Layout 3 is on the "hxdata" carrier (user and password
// "card") with server gps.example:9000; layout 4 carries its marker. Sums stored.
inline SettingsBlock SampleSettingsBlock(int layout, SubBandCounts counts = {1, 1, 3, 2, 1},
                                         int radarType = 5, const char* model = nullptr) {
    SettingsBlock block;
    if (layout <= 2) {
        std::memcpy(block.bytes.data() + 4, "AB\0\0", 4);
        block.bytes[8] = 0x21;
        block.bytes[10] = 8;
        block.bytes[24] = 7;
        block.bytes[25] = 19;
        std::memcpy(block.bytes.data() + 28, model != nullptr ? model : "KV2A", 4);
        block.bytes[120] = 1;
    } else {
        std::memcpy(block.bytes.data() + 4, model != nullptr ? model : "KV3A", 4);
        block.bytes[16] = 0xA1;
        block.bytes[18] = 8;
        const int values[] = {counts.x, counts.ku, counts.k, counts.ka, counts.laser};
        for (std::size_t i = 0; i < 5; ++i)
            block.bytes[19 + i] = static_cast<std::uint8_t>(values[i]);
        block.bytes[24] = 1;
        block.bytes[48] = static_cast<std::uint8_t>(radarType);
        block.bytes[50] = 7;
        block.bytes[51] = 19;
        block.bytes[52] = 1;
        for (std::size_t i = 0; i < SettingsBlock::SubBandRoom(layout); ++i) {
            const auto low = static_cast<std::uint16_t>(10000 + 100 * i);
            EXPECT_TRUE(
                block.SetSubBandRange(layout, i, {low, static_cast<std::uint16_t>(low + 50)}));
        }
    }
    if (layout == 3) {
        EXPECT_TRUE(block.SetApn("hxdata"));
        EXPECT_TRUE(block.SetServer("gps.example"));
        EXPECT_TRUE(block.SetPort("9000"));
        EXPECT_TRUE(block.SetUserName("card"));
        EXPECT_TRUE(block.SetPassword("card"));
    }
    if (layout == 4) PutU32(block.bytes.data() + 59, kSettingsMarker);
    block.StoreSum(layout);
    return block;
}

}  // namespace kivrel::test
