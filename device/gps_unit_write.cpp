// Writing into the unit: an update by its plan, its settings block, the closing commands.

#include "base/byte_sum.h"
#include "device/gps_unit.h"

namespace kivrel {
namespace {

constexpr std::uint32_t kSettingsSector = kSettingsAddress / kSectorBytes;

// The bytes a step sends, as the package (or the plan's record) holds them.
std::span<const std::uint8_t> StepBytes(const PlanStep& step, const UpdatePackage& package,
                                        const ModelEntry* entry,
                                        std::span<const std::uint8_t> layoutBlock) {
    switch (step.part) {
        case PlanPart::kIdentity:
            return package.identity;
        case PlanPart::kLayoutBlock:
            return layoutBlock;
        case PlanPart::kModelImage:
            return entry->flashImage;
        case PlanPart::kResource:
            return package.resource.bytes;
        case PlanPart::kAuxiliary:
            return package.auxiliary.bytes;
        case PlanPart::kDatabase:
            return package.database.bytes;
        case PlanPart::kMain:
            return package.main.bytes;
        case PlanPart::kAltMain:
            return package.altMain.bytes;
        case PlanPart::kRegionalMain:
            return package.regionalMain.bytes;
        case PlanPart::kRegionalAltMain:
            return package.regionalAltMain.bytes;
        case PlanPart::kBase:
            return package.base.bytes;
        case PlanPart::kModelHeader:
            return entry->blockHeader;
        case PlanPart::kModelData:
            return entry->data.bytes;
        default:
            return {};
    }
}

}  // namespace

bool CGpsUnit::SendStep(const PlanStep& step, std::span<const std::uint8_t> bytes) {
    if (step.erase) return Erase(step.FirstSector(), step.Sectors());
    return WriteBlocks(step.address, step.bank, bytes, step.wordC, step.dataSum);
}

WriteResult CGpsUnit::WriteUpdate(const UpdatePackage& package, UpdatePlan* used) {
    UpdatePlan plan = PlanUpdate(package);
    const WriteResult result = [&] {
        if (plan.result != WriteResult::kWritten) return plan.result;
        const ModelEntry* entry = plan.modelEntry >= 0
                                      ? &package.models[static_cast<std::size_t>(plan.modelEntry)]
                                      : nullptr;
        const auto layoutBlock = WriteLayoutBlock(plan.record);

        // The layout steps go first and uncounted. The unit object's record follows what the
        // unit confirmed: a failure leaves it as the unit now holds it.
        std::size_t next = 0;
        for (; next < plan.steps.size() && !plan.steps[next].counted; ++next) {
            const PlanStep& step = plan.steps[next];
            if (!SendStep(step, StepBytes(step, package, entry, layoutBlock)))
                return WriteResult::kFailed;
            if (step.part == PlanPart::kLayoutBlock) layoutRecord = plan.record;
            if (step.part == PlanPart::kLayoutSector) layoutRecord.Clear();
        }
        if (plan.layout == LayoutAction::kFixed) layoutRecord.Clear();

        const std::uint32_t total = plan.TransferTotal();
        transferTotal = total;
        transferTicks = 0;
        transferWritten = 0;
        link.Notify().TransferStart(total);
        transferBusy = 1;
        // Every write must be taken whole: a refused or broken one ends the update as failed.
        WriteResult sent = WriteResult::kWritten;
        for (; next < plan.steps.size(); ++next) {
            const PlanStep& step = plan.steps[next];
            if (!SendStep(step, StepBytes(step, package, entry, layoutBlock))) {
                sent = WriteResult::kFailed;
                break;
            }
        }
        if (sent == WriteResult::kWritten)
            (void)ReadUnitInfo();  // the dates and layout now reflect the write
        transferWritten = total;
        transferBusy = 0;
        return sent;
    }();
    if (used != nullptr) *used = std::move(plan);
    return result;
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
