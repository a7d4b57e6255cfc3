// Reading a unit: what it is and what it holds.

#include "device/gps_unit.h"

#include <algorithm>

#include "base/le_bytes.h"

namespace kivrel {
namespace {}  // namespace

void CGpsUnit::ResetUnitInfo() noexcept {
    transferTicks = 0;
    transferWritten = 0;
    layoutRecord.Clear();
    readingFault = kReadingNotDone;
    identityPending = 0;
    transferBusy = 0;
    settingsFormat = -1;
}

bool CGpsUnit::ReadUnitInfo() {
    // Only what came whole may be judged; anything else leaves the unit unknown, and the first
    // such step is kept to say why.
    readingFault = {};
    // An exchange that ended without its reply in step may have left reports behind that a
    // later one took for its own: nothing of such a reading is to be written by.
    const std::uint32_t unsettledBefore = link.UnsettledExchanges();
    QueryBootVersion();
    QueryCapacity();
    const RegionStarts starts = ReadLayout();
    const bool settingsRead = ReadSettings();
    ReadIdentity(starts.identity);
    RecogniseSettings(settingsRead);
    if (!Accepted()) return false;
    // The dates that follow are only shown; what steers a write has been read by now.
    if (link.UnsettledExchanges() != unsettledBefore) NoteFault(kReadingOutOfStep);
    ReadDates(starts);
    return true;
}

void CGpsUnit::NoteFault(std::string_view step) noexcept {
    if (readingFault.empty()) readingFault = step;
}

bool CGpsUnit::ReadBlockWhole(std::uint32_t address, Block& block, std::string_view step) {
    const bool whole =
        link.ReadOneBlock(address / kBlockBytes, kBank0, block) == static_cast<int>(kBlockBytes);
    if (!whole) NoteFault(step);
    return whole;
}

bool CGpsUnit::ReadBlockSteady(std::uint32_t address, Block& block, std::string_view step,
                               bool valid) {
    if (valid ||
        std::all_of(block.begin(), block.end(), [](std::uint8_t b) { return b == 0xFF; })) {
        return true;
    }
    Block again{};
    if (!ReadBlockWhole(address, again, step)) return false;
    if (again == block) return true;
    NoteFault(kReadingUnsteady);
    return false;
}

void CGpsUnit::QueryBootVersion() {
    CommandFrame reply;
    if (!link.SendCommand(CommandCode::kQueryVersion, kMagicA, kMagicB, 0, 0, 0)) {
        bootVersion = -1;
        NoteFault(kReadingBootVersion);
    } else if (link.ReceiveReply(&reply)) {
        bootVersion = static_cast<std::int32_t>(reply.wordB);
    } else {
        bootVersion = -2;
        NoteFault(kReadingBootVersion);
    }
}

void CGpsUnit::QueryCapacity() {
    // The failure values -1 and -2 are huge unsigned: such a unit is asked too.
    if (static_cast<std::uint32_t>(bootVersion) < kCapacityQueryBoot) {
        capacity = kDefaultCapacity;
        return;
    }
    CommandFrame reply;
    if (!link.SendCommand(CommandCode::kQueryCapacity, kMagicA, kMagicB, 0, 0, 0)) {
        capacity = static_cast<std::uint32_t>(-1);
    } else {
        capacity = link.ReceiveReply(&reply) ? reply.wordB : static_cast<std::uint32_t>(-2);
    }
    // Taken as a size, -1, -2 or noise would let any layout "fit" and be stored.
    if (!PlausibleCapacity(capacity)) {
        NoteFault(capacity >= static_cast<std::uint32_t>(-2) ? kReadingCapacity
                                                             : kReadingImplausibleCapacity);
    }
}

CGpsUnit::RegionStarts CGpsUnit::ReadLayout() {
    modelId = 0;
    layoutRecord.Clear();
    RegionStarts starts;
    Block block{};
    // A block that did not come is no proof that the unit has no record.
    if (ReadBlockWhole(kLayoutAddress, block, kReadingLayoutBlock) &&
        ReadBlockSteady(kLayoutAddress, block, kReadingLayoutBlock,
                        ParseLayoutBlock(block, layoutRecord)) &&
        layoutRecord.HasMarker()) {
        modelId = layoutRecord.Word(LayoutRecord::kModelId);
        settingsRevision =
            static_cast<std::int32_t>(layoutRecord.Word(LayoutRecord::kSettingsRevision));
        starts.main = layoutRecord.Word(LayoutRecord::kMainStart);
        starts.resource = layoutRecord.Word(LayoutRecord::kResourceStart);
        starts.database = layoutRecord.Word(LayoutRecord::kDatabaseStart);
        starts.identity = kRecordIdentityAddress;
    }
    return starts;
}

bool CGpsUnit::ReadSettings() {
    Block block{};
    // Whether the block looks valid only decides whether it is read twice: its layout is
    // recognised once this reading's identity block is in (RecogniseSettings).
    const bool read = ReadBlockWhole(kSettingsAddress, block, kReadingSettingsBlock) &&
                      ReadBlockSteady(kSettingsAddress, block, kReadingSettingsBlock,
                                      RecogniseSettingsLayout(SettingsBlock(block), identity) > 0);
    if (read) settingsBlock = SettingsBlock(block);
    return read;
}

void CGpsUnit::ReadIdentity(std::uint32_t address) {
    Block block{};
    if (ReadBlockWhole(address, block, kReadingIdentityBlock)) {
        identity = block;
    } else {
        identity.fill(0xFF);
    }
}

void CGpsUnit::RecogniseSettings(bool settingsRead) {
    // A unit swapped since the last reading must not be judged by the previous unit's
    // identity: only now is this reading's in.
    if (!settingsRead) return;
    settingsFormat = RecogniseSettingsLayout(settingsBlock, identity);
    if (!HasLayoutRecord()) TakeIdsFromSettings();
}

bool CGpsUnit::Accepted() {
    if (!acceptanceHook || acceptanceHook(*this) != 0) return true;
    if (Connected() && static_cast<std::uint32_t>(bootVersion) >= kAbandonBoot) {
        if (link.SendCommand(CommandCode::kAbandonUnit, 0, 0, 0, 0, 0)) {
            (void)link.ReceiveReply();
        }
    }
    if (Connected()) link.CloseHandles();
    return false;
}

bool CGpsUnit::ReadUnitInfoBounded(bool& silent) {
    link.BoundWaitsUntilAnswered(std::min(link.TimeoutMs(), kFirstAnswerTimeoutMs));
    const bool accepted = ReadUnitInfo();
    silent = link.Unanswered();
    link.BoundWaitsUntilAnswered(0);
    return accepted;
}

void CGpsUnit::TakeIdsFromSettings() {
    // The settings record starts at block byte 4, so its word at N is block bytes 4+N.
    const std::uint8_t* record = settingsBlock.bytes.data() + 4;
    switch (settingsFormat) {
        case 4:
            modelId = GetU32(record);
            settingsRevision = static_cast<std::int32_t>(GetU32(record + 51));
            break;
        case 3:
            // Record bytes 51-54 lie inside the APN text here ("cmnet" would read as revision
            // 7628142 and make the Setting button refuse the unit): no revision is kept.
            modelId = GetU32(record);
            settingsRevision = 0;
            break;
        case 2:
            modelId = GetU32(record + 24);
            settingsRevision = 6;
            break;
        case 1:
            modelId = 0;
            settingsRevision = 5;
            break;
        default:
            modelId = 0;
            settingsRevision = 0;
            break;
    }
}

void CGpsUnit::ReadDates(const RegionStarts& starts) {
    Block block{};
    const auto read = [&](std::uint32_t address) {
        return link.ReadOneBlock(address / kBlockBytes, kBank1, block) ==
               static_cast<int>(kBlockBytes);
    };
    if (read(starts.main)) mainDate = SecondsToDate(GetU32(block.data() + 4));
    if (read(starts.resource)) resourceDate = SecondsToDate(GetU32(block.data()));
    if (read(starts.database)) databaseDate = SecondsToDate(GetU32(block.data()));
}

}  // namespace kivrel
