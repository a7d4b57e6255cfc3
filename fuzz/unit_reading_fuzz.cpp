// A unit's blocks are untrusted: a simulated unit holding fuzzed layout, settings, identity and
// date blocks is read and then updated. The reading must stay in its bounds, the plan must use
// only what fits, and the update must end with one of its results without a protocol fault.
//
// Input: boot version (4 bytes LE), then 256-byte blocks in this order, each optional (missing
// bytes stay erased): layout block (0x16000), settings block (0x11000), identity at 0x7000,
// identity at 0x18000, first block of the database region (fixed place).

#include <algorithm>
#include <cstdint>
#include <memory>

#include "base/byte_sum.h"
#include "base/le_bytes.h"
#include "device/gps_unit.h"
#include "device/sim/simulated_unit.h"
#include "package/scrambler.h"

using namespace kivrel;

namespace {

constexpr std::uint32_t kCapacity = 0x24000;  // room for every place below, little more
constexpr std::uint32_t kPlaces[] = {0x16000, 0x11000, 0x7000, 0x18000, 0x20000};

// A section the unit accepts: scrambled, padded, with the sum the unit checks.
SectionBuffer Section(std::size_t size, std::uint8_t fill, bool plainSumRule) {
    SectionBuffer section;
    section.bytes.assign((size + 255) / 256 * 256, 0xFF);
    std::fill_n(section.bytes.begin(), size, fill);
    const std::uint32_t plainSum = ByteSum(section.bytes);
    ScrambleBuffer(std::span(section.bytes).first(size));
    section.recordedSize = plainSumRule ? static_cast<std::uint32_t>(size) : 0;
    section.checksum = plainSumRule ? plainSum : ByteSum(section.bytes);
    return section;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return 0;
    auto store = std::make_unique<MemoryBankStore>(kCapacity);
    MemoryBankStore& banks = *store;
    const auto boot = static_cast<std::int32_t>(GetU32(data));
    std::size_t at = 4;
    for (std::uint32_t place : kPlaces) {
        if (at >= size) break;
        const std::size_t n = std::min<std::size_t>(256, size - at);
        std::copy_n(data + at, n, banks.Bank(place == 0x20000 ? 1 : 0).begin() + place);
        at += n;
    }
    SimulatedUnit sim(SimSettings{boot, {}}, std::move(store));

    CGpsUnit unit;
    unit.link.Attach(std::make_unique<BorrowedTransport>(sim), nullptr);
    unit.link.SetTimeoutMs(0);
    unit.acceptanceHook = [](CGpsUnit& u) {
        if (std::all_of(u.identity.begin(), u.identity.end(), [](auto b) { return b == 0xFF; })) {
            u.identityPending = 1;
        }
        return u.identity[0] == 'X' ? 0 : 1;
    };
    unit.ResetUnitInfo();
    const bool accepted = unit.ReadUnitInfo();
    if (unit.settingsFormat < -1 || unit.settingsFormat > 4) __builtin_trap();
    if (!accepted) {
        if (unit.Connected()) __builtin_trap();
        return 0;
    }

    UpdatePackage package;
    package.database = Section(600, 0x11, true);
    package.main = Section(300, 0x22, false);
    package.identity.fill('I');
    const WriteResult result = unit.WriteUpdate(package);
    if (result != WriteResult::kWritten && result != WriteResult::kFailed &&
        result != WriteResult::kDoesNotFit)
        __builtin_trap();
    if (unit.transferBusy.load() != 0) __builtin_trap();
    if (!sim.Violations().empty()) __builtin_trap();
    return 0;
}
