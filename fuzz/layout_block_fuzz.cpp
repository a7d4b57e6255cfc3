// The layout block is read from the unit and decides where updates go: a block is accepted only
// with its marker and sum, and what is accepted writes back to the same block.

#include <algorithm>
#include <cstdint>

#include "device/layout_record.h"

using namespace kivrel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> input(data, size);
    LayoutRecord record;
    record.bytes.fill(0x5A);
    const LayoutRecord before = record;
    if (!ParseLayoutBlock(input, record)) {
        if (record != before) __builtin_trap();  // a refused block changes nothing
        return 0;
    }
    if (!record.HasMarker()) __builtin_trap();
    const auto block = WriteLayoutBlock(record);
    if (!std::equal(block.begin(), block.begin() + 235, input.begin())) __builtin_trap();
    LayoutRecord again;
    if (!ParseLayoutBlock(block, again) || again != record) __builtin_trap();
    return 0;
}
