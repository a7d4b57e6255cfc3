// Reading a unit, its settings block and the single closing commands.

#include "device/gps_unit.h"

#include <algorithm>

#include "base/byte_sum.h"
#include "base/le_bytes.h"

namespace kivrel {
namespace {

constexpr std::uint32_t kSettingsSector = kSettingsAddress / kSectorBytes;

using BlockBytes = std::array<std::uint8_t, kBlockBytes>;

}  // namespace

const SectionBuffer& ChosenMainImage(const UpdatePackage& package, bool altMain) noexcept {
    if (altMain) return package.regional ? package.regionalAltMain : package.altMain;
    return package.regional ? package.regionalMain : package.main;
}

std::uint32_t RoundToSector(std::uint32_t length) noexcept {
    const std::uint64_t rounded =
        (std::uint64_t{length} + kSectorBytes - 1) / kSectorBytes * kSectorBytes;
    return static_cast<std::uint32_t>(rounded);  // section lengths stay far below 4 GiB
}

bool PlausibleCapacity(std::uint32_t capacity) noexcept {
    return capacity != 0 && capacity % kSectorBytes == 0 && capacity <= kMaxPlausibleCapacity;
}

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
    const auto failed = [this](std::string_view step) {
        if (readingFault.empty()) readingFault = step;
    };
    const auto readBlock = [this, &failed](std::uint32_t address, BlockBytes& block,
                                           std::string_view step) {
        const bool whole = link.ReadOneBlock(address / kBlockBytes, kBank0, block) ==
                           static_cast<int>(kBlockBytes);
        if (!whole) failed(step);
        return whole;
    };

    CommandFrame reply;
    if (!link.SendCommand(CommandCode::kQueryVersion, kMagicA, kMagicB, 0, 0, 0)) {
        bootVersion = -1;
        failed(kReadingBootVersion);
    } else if (link.ReceiveReply(&reply)) {
        bootVersion = static_cast<std::int32_t>(reply.wordB);
    } else {
        bootVersion = -2;
        failed(kReadingBootVersion);
    }
    // The failure values -1 and -2 are huge unsigned: such a unit is asked too.
    if (static_cast<std::uint32_t>(bootVersion) >= kCapacityQueryBoot) {
        if (!link.SendCommand(CommandCode::kQueryCapacity, kMagicA, kMagicB, 0, 0, 0)) {
            capacity = static_cast<std::uint32_t>(-1);
        } else {
            capacity = link.ReceiveReply(&reply) ? reply.wordB : static_cast<std::uint32_t>(-2);
        }
        // Taken as a size, -1, -2 or noise would let any layout "fit" and be stored.
        if (!PlausibleCapacity(capacity)) {
            failed(capacity >= static_cast<std::uint32_t>(-2) ? kReadingCapacity
                                                              : kReadingImplausibleCapacity);
        }
    } else {
        capacity = kDefaultCapacity;
    }

    modelId = 0;
    layoutRecord.Clear();
    std::uint32_t identityAt = kFixedIdentityAddress;
    std::uint32_t mainAt = kFixedMainAddress;
    std::uint32_t resourceAt = kFixedResourceAddress;
    std::uint32_t databaseAt = kFixedDatabaseAddress;
    // A block that came whole but is neither erased nor valid may have been garbled on the
    // way, and taken as it came it would send the update where the unit does not look: it is
    // read once more, and only the same bytes twice count as what the unit holds.
    const auto readSteady = [&readBlock, &failed](std::uint32_t address, BlockBytes& block,
                                                  std::string_view step, bool valid) {
        if (valid ||
            std::all_of(block.begin(), block.end(), [](std::uint8_t b) { return b == 0xFF; })) {
            return true;
        }
        BlockBytes again{};
        if (!readBlock(address, again, step)) return false;
        if (again == block) return true;
        failed(kReadingUnsteady);
        return false;
    };

    BlockBytes block{};
    // A block that did not come is no proof that the unit has no record.
    if (readBlock(kLayoutAddress, block, kReadingLayoutBlock) &&
        readSteady(kLayoutAddress, block, kReadingLayoutBlock,
                   ParseLayoutBlock(block, layoutRecord)) &&
        layoutRecord.HasMarker()) {
        modelId = layoutRecord.Word(LayoutRecord::kModelId);
        settingsRevision =
            static_cast<std::int32_t>(layoutRecord.Word(LayoutRecord::kSettingsRevision));
        mainAt = layoutRecord.Word(LayoutRecord::kMainStart);
        resourceAt = layoutRecord.Word(LayoutRecord::kResourceStart);
        databaseAt = layoutRecord.Word(LayoutRecord::kDatabaseStart);
        identityAt = kRecordIdentityAddress;
    }

    // The settings layout is recognised once the identity block of this reading is in: a unit
    // swapped since the last reading must not be judged by the previous unit's identity.
    const bool settingsRead =
        readBlock(kSettingsAddress, block, kReadingSettingsBlock) &&
        readSteady(kSettingsAddress, block, kReadingSettingsBlock,
                   RecogniseSettingsLayout(SettingsBlock(block), identity) > 0);
    if (settingsRead) settingsBlock = SettingsBlock(block);

    if (readBlock(identityAt, block, kReadingIdentityBlock)) {
        identity = block;
    } else {
        identity.fill(0xFF);
    }
    if (settingsRead) {
        settingsFormat = RecogniseSettingsLayout(settingsBlock, identity);
        if (!HasLayoutRecord()) TakeIdsFromSettings();
    }

    if (acceptanceHook && acceptanceHook(*this) == 0) {
        if (Connected() && static_cast<std::uint32_t>(bootVersion) >= kAbandonBoot) {
            if (link.SendCommand(CommandCode::kAbandonUnit, 0, 0, 0, 0, 0)) {
                (void)link.ReceiveReply();
            }
        }
        if (Connected()) link.CloseHandles();
        return false;
    }
    // The dates that follow are only shown; what steers a write has been read by now.
    if (link.UnsettledExchanges() != unsettledBefore) failed(kReadingOutOfStep);
    ReadDates(mainAt, resourceAt, databaseAt);
    return true;
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

void CGpsUnit::ReadDates(std::uint32_t mainAt, std::uint32_t resourceAt, std::uint32_t databaseAt) {
    BlockBytes block{};
    const auto read = [&](std::uint32_t address) {
        return link.ReadOneBlock(address / kBlockBytes, kBank1, block) ==
               static_cast<int>(kBlockBytes);
    };
    if (read(mainAt)) mainDate = SecondsToDate(GetU32(block.data() + 4));
    if (read(resourceAt)) resourceDate = SecondsToDate(GetU32(block.data()));
    if (read(databaseAt)) databaseDate = SecondsToDate(GetU32(block.data()));
}

bool CGpsUnit::EraseSettingsSector() {
    return Erase(kSettingsSector, 1);
}

bool CGpsUnit::WriteSettings(const SettingsBlock* block) {
    SettingsBlock next = block != nullptr ? *block : settingsBlock;
    next.StoreSum(settingsFormat);
    // What we know of the unit changes only when the unit took the block.
    if (!WriteSmallBlock(kSettingsAddress, kBank0, next.bytes)) return false;
    settingsBlock = next;
    return true;
}

bool CGpsUnit::SendSettingsDone() {
    if (!Connected()) return false;
    if (!link.SendCommand(CommandCode::kSettingsDone, kMagicA, kMagicB, 0, 0, 0)) return false;
    return link.ReceiveReply();
}

bool CGpsUnit::FinishUpdate() {
    if (!Connected()) return false;
    if (!link.SendCommand(CommandCode::kFinishUpdate, 0, 0, 0, 0, 0)) return false;
    return link.ReceiveReply();
}

bool CGpsUnit::WriteBlocks(std::uint32_t address, std::uint8_t bank,
                           std::span<const std::uint8_t> bytes, std::uint32_t wordC,
                           std::uint32_t dataSum) {
    // Only whole blocks travel; a ragged buffer would lose its tail without a word.
    if (bytes.empty() || bytes.size() % kBlockBytes != 0) return false;
    const auto blocks = static_cast<std::uint32_t>(bytes.size() / kBlockBytes);
    if (!link.SendCommand(CommandCode::kWriteBlocks, address / kBlockBytes, blocks, wordC, bank,
                          dataSum)) {
        return false;
    }
    const int written = link.WriteBlockData(blocks, bytes);
    return written >= 0 &&
           static_cast<std::uint64_t>(written) == std::uint64_t{blocks} * kBlockBytes;
}

bool CGpsUnit::WriteSmallBlock(std::uint32_t address, std::uint8_t bank,
                               std::span<const std::uint8_t> bytes) {
    return WriteBlocks(address, bank, bytes, 0, ByteSum(bytes));
}

bool CGpsUnit::Erase(std::uint32_t firstSector, std::uint32_t count) {
    return link.SendCommand(CommandCode::kEraseSectors, firstSector, count, 0, 0, 0) &&
           link.ReceiveReply();
}

}  // namespace kivrel
