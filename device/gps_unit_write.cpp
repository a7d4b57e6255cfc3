// Writing an update into the unit by its plan.

#include "device/gps_unit.h"

namespace kivrel {
namespace {

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

int CGpsUnit::WriteUpdate(const UpdatePackage& package, UpdatePlan* used) {
    UpdatePlan plan = PlanUpdate(package);
    const int result = [&] {
        if (plan.result != kWriteOk) return plan.result;
        const ModelEntry* entry = plan.modelEntry >= 0
                                      ? &package.models[static_cast<std::size_t>(plan.modelEntry)]
                                      : nullptr;
        const auto layoutBlock = WriteLayoutBlock(plan.record);

        // The layout steps go first and uncounted. The unit object's record follows what the
        // unit confirmed: a failure leaves it as the unit now holds it.
        std::size_t next = 0;
        for (; next < plan.steps.size() && !plan.steps[next].counted; ++next) {
            const PlanStep& step = plan.steps[next];
            if (!SendStep(step, StepBytes(step, package, entry, layoutBlock))) return kWriteFailed;
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
        int sent = kWriteOk;
        for (; next < plan.steps.size(); ++next) {
            const PlanStep& step = plan.steps[next];
            if (!SendStep(step, StepBytes(step, package, entry, layoutBlock))) {
                sent = kWriteFailed;
                break;
            }
        }
        if (sent == kWriteOk) (void)ReadUnitInfo();  // the dates and layout now reflect the write
        transferWritten = total;
        transferBusy = 0;
        return sent;
    }();
    if (used != nullptr) *used = std::move(plan);
    return result;
}

}  // namespace kivrel
