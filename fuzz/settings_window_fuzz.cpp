// The settings window builds its band list from counts and ranges the unit sent, and OK writes
// into the block: whatever the block holds, the list stays within the block's room, and OK
// changes no byte but the fields the window edits.
//
// Input: one byte choosing the layout (1-4) and the five-band tag's fate, the 256-byte block,
// then the identity block's first bytes.

#include <algorithm>
#include <cstdint>
#include <span>

#include "settings/config_model.h"

using namespace kivrel;

namespace {

// The bytes OK may change in a layout: the option byte, time zone, screen hours, the band
// enable bytes and, in layout 3, the network fields.
bool Editable(int layout, std::size_t offset, std::size_t subBands) {
    if (layout <= 2) {
        return offset == 8 || offset == 10 || (offset >= 11 && offset <= 22) || offset == 24 ||
               offset == 25;
    }
    if (offset == 16 || offset == 18 || offset == 50 || offset == 51) return true;
    if (offset >= 24 && offset < 24 + subBands) return true;
    return layout == 3 && offset >= 53 && offset <= 163;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1 + kSettingsBlockBytes) return 0;
    const std::span<const std::uint8_t> input(data, size);
    ConfigInputs inputs;
    inputs.title = L"Setting";
    inputs.layout = 1 + input[0] % 4;
    inputs.fiveBandTag = (input[0] & 0x10) != 0 ? "KIVRL" : "";
    inputs.recordModelId = (input[0] & 0x20) != 0 ? 0x20373456u : 0;  // "V47 "
    SettingsBlock block;
    std::copy_n(input.begin() + 1, kSettingsBlockBytes, block.bytes.begin());
    const auto identity = input.subspan(1 + kSettingsBlockBytes);
    std::copy_n(identity.begin(), std::min(identity.size(), inputs.identity.size()),
                inputs.identity.begin());

    ConfigModel model(inputs, block);
    const std::size_t room = inputs.layout <= 2 ? 12 : SettingsBlock::SubBandRoom(inputs.layout);
    if (model.Bands().size() > room || model.SubBandCount() > room) __builtin_trap();
    for (std::size_t i = 0; i < model.Bands().size(); ++i) {
        if (model.Bands()[i].id != kIdFirstBandBox + static_cast<int>(i)) __builtin_trap();
        if (model.Bands()[i].label.empty()) __builtin_trap();
    }

    // OK with every box flipped and the texts as shown: either refused with nothing changed,
    // or only editable bytes changed.
    ConfigEntries entries = model.Initial();
    for (std::size_t i = 0; i < entries.bands.size(); ++i) entries.bands[i] = !entries.bands[i];
    entries.frequencyDisplay = !entries.frequencyDisplay;
    SettingsBlock edited = block;
    const std::wstring refused = model.Ok(entries, edited);
    for (std::size_t offset = 0; offset < kSettingsBlockBytes; ++offset) {
        if (edited.bytes[offset] == block.bytes[offset]) continue;
        if (!refused.empty() || !Editable(inputs.layout, offset, model.SubBandCount())) {
            __builtin_trap();
        }
    }
    return 0;
}
