// unit.json is edited by hand: parsing it must refuse what it cannot use, and what it accepts
// must be a capacity the simulator can hold.

#include <cstdint>
#include <string_view>

#include "device/sim/sim_directory.h"

using namespace kivrel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    SimUnitFile unit;
    const std::string error =
        ParseSimUnitJson(std::string_view(reinterpret_cast<const char*>(data), size), unit);
    if (error.empty() && !CheckSimCapacity(unit.capacity).empty()) __builtin_trap();
    return 0;
}
