// Planning an update: where each section goes in the unit's memory and every write and erase
// that puts it there, decided from the reading and the package alone.

#include <array>

#include "base/byte_sum.h"
#include "device/gps_unit.h"

namespace kivrel {
namespace {

constexpr std::uint32_t kLayoutSector = kLayoutAddress / kSectorBytes;
constexpr std::uint32_t kModelImageBytes = static_cast<std::uint32_t>(kModelFlashImageBytes);

constexpr std::string_view kFaultReading = "the last reading of the unit was not whole";
constexpr std::string_view kFaultModelImage = "the model entry's image is not 0x9000 bytes";

struct RoundedSizes {
    std::uint32_t main = 0;
    std::uint32_t resource = 0;
    std::uint32_t database = 0;
    std::uint32_t auxiliary = 0;
};

PlanPart MainPart(const UpdatePackage& package, bool altMain) {
    if (altMain) return package.regional ? PlanPart::kRegionalAltMain : PlanPart::kAltMain;
    return package.regional ? PlanPart::kRegionalMain : PlanPart::kMain;
}

RoundedSizes RoundedSizesOf(const UpdatePackage& package, bool altMain) {
    return {RoundToSector(ChosenMainImage(package, altMain).PaddedLength()),
            RoundToSector(package.resource.PaddedLength()),
            RoundToSector(package.database.PaddedLength()),
            RoundToSector(package.auxiliary.PaddedLength())};
}

// The first section too large for its room, in the order main, resource, database.
bool FitsRooms(const RoundedSizes& r, PlanPart mainPart, std::uint32_t mainRoom,
               std::uint32_t resourceRoom, std::uint32_t databaseRoom, Misfit& misfit) {
    const Misfit checks[] = {{mainPart, r.main, mainRoom},
                             {PlanPart::kResource, r.resource, resourceRoom},
                             {PlanPart::kDatabase, r.database, databaseRoom}};
    for (const Misfit& check : checks) {
        if (check.needed > check.room) {
            misfit = check;
            return false;
        }
    }
    return true;
}

void PlanFixed(WritePlan& plan) {
    const bool altMain = plan.altMain;
    plan = WritePlan{};
    plan.altMain = altMain;
    plan.identityAddress = kFixedIdentityAddress;
    plan.mainAddress = kFixedMainAddress;
    plan.resourceAddress = kFixedResourceAddress;
    plan.databaseAddress = kFixedDatabaseAddress;
}

PlanStep SmallWrite(PlanPart part, std::uint32_t address, std::uint8_t bank,
                    std::span<const std::uint8_t> bytes, bool counted) {
    return {part, false,          address, bank, static_cast<std::uint32_t>(bytes.size()),
            0,    ByteSum(bytes), counted};
}

PlanStep SectionWrite(PlanPart part, std::uint32_t address, std::uint8_t bank,
                      const SectionBuffer& section) {
    return {
        part, false, address, bank, section.PaddedLength(), section.recordedSize, section.checksum,
        true};
}

PlanStep EraseStep(PlanPart part, std::uint32_t firstSector, std::uint32_t count) {
    return {part, true, firstSector * kSectorBytes, 0, count * kSectorBytes, 0, 0, false};
}

// The layout block that carries `record`, then the area the model leaves empty erased. The
// count is F / 4096 rounded down, and an erase of 0 sectors is sent as it is when F is no
// whole sector.
void StoreLayout(UpdatePlan& plan, std::uint32_t firstWord) {
    plan.steps.push_back(SmallWrite(PlanPart::kLayoutBlock, kLayoutAddress, kBank0,
                                    WriteLayoutBlock(plan.record), false));
    if (firstWord != 0) {
        plan.steps.push_back(
            EraseStep(PlanPart::kModelArea, kPlacedBase / kSectorBytes, firstWord / kSectorBytes));
    }
}

// Everything sent once the layout is settled, in the order it goes; the transfer total counts
// exactly these.
void ListTransfer(const UpdatePackage& package, const ModelEntry* entry, UpdatePlan& plan) {
    const WritePlan& at = plan.addresses;
    if (at.identityAddress != 0 && plan.identityPending) {
        plan.steps.push_back(
            SmallWrite(PlanPart::kIdentity, at.identityAddress, kBank0, package.identity, true));
    }
    if (at.modelImageAddress != 0 && entry != nullptr) {
        plan.steps.push_back(SmallWrite(PlanPart::kModelImage, at.modelImageAddress, kBank1,
                                        entry->flashImage, true));
    }
    struct Region {
        PlanPart part;
        std::uint32_t address;
        std::uint8_t bank;
        const SectionBuffer& section;
    };
    const Region regions[] = {
        {PlanPart::kResource, at.resourceAddress, kBank1, package.resource},
        {PlanPart::kAuxiliary, at.auxiliaryAddress, kBank0, package.auxiliary},
        {PlanPart::kDatabase, at.databaseAddress, kBank1, package.database},
        {MainPart(package, at.altMain), at.mainAddress, kBank1,
         ChosenMainImage(package, at.altMain)},
    };
    for (const Region& region : regions) {
        if (region.address == 0 || region.section.PaddedLength() == 0) continue;
        plan.steps.push_back(
            SectionWrite(region.part, region.address, region.bank, region.section));
    }
    if (package.base.PaddedLength() != 0) {
        plan.steps.push_back(SectionWrite(PlanPart::kBase, 0, kBank0, package.base));
    }
    if (entry != nullptr && entry->data.PaddedLength() != 0) {
        plan.steps.push_back(SmallWrite(PlanPart::kModelHeader, kModelHeaderAddress, kBank1,
                                        entry->blockHeader, true));
        plan.steps.push_back(
            SectionWrite(PlanPart::kModelData, kModelDataAddress, kBank1, entry->data));
    }
}

struct Extent {
    std::uint64_t start = 0;
    std::uint64_t end = 0;
    std::uint8_t bank = 0;
};

bool Overlap(const Extent& a, const Extent& b) {
    return a.bank == b.bank && a.start < b.end && b.start < a.end;
}

// A new layout, as the model entry and the package's rounded section sizes give it.
struct NewLayout {
    std::uint32_t modelId = 0;
    std::uint32_t secondWord = 0;
    std::uint32_t altMainFlag = 0;
    std::uint32_t firstWord = 0;
    std::uint32_t main = 0;
    std::uint32_t resource = 0;
    std::uint32_t database = 0;
    std::uint32_t auxiliary = 0;
};

// Fills `record` for a new layout on a unit of `capacity`; `end` receives where the placed
// area ends (in 64 bits: a first layout word from the file can be huge). 3 when that passes
// the capacity (the record is filled either way), else 0.
WriteResult BuildLayoutRecord(LayoutRecord& rec, std::uint32_t capacity, const NewLayout& layout,
                              std::uint64_t& end) noexcept {
    if (!rec.HasMarker()) {
        rec.Clear();
        rec.SetWord(0, 0);
        rec.SetWord(LayoutRecord::kMarker, kLayoutMarker);
        rec.bytes[LayoutRecord::kCreatedFlag] = 1;
    }
    if (layout.auxiliary != 0) rec.bytes[LayoutRecord::kCreatedFlag] = 1;

    // Sums in 64 bits: a huge first layout word from the file must not wrap past the check.
    const std::uint64_t mainStart = std::uint64_t{kPlacedBase} + layout.firstWord;
    const std::uint64_t resourceStart = mainStart + layout.main;
    const std::uint64_t databaseStart = resourceStart + layout.resource;
    const std::uint64_t auxiliaryStart = databaseStart + layout.database;
    end = auxiliaryStart + layout.auxiliary;

    rec.SetWord(LayoutRecord::kModelId, layout.modelId);
    rec.SetWord(LayoutRecord::kSecondLayoutWord, layout.secondWord);
    rec.bytes[LayoutRecord::kAltMainFlag] = layout.altMainFlag != 0 ? 1 : 0;
    rec.SetWord(LayoutRecord::kCapacity, capacity);
    rec.SetWord(LayoutRecord::kBase, kPlacedBase);
    rec.SetWord(LayoutRecord::kFirstLayoutWord, layout.firstWord);
    rec.SetWord(LayoutRecord::kMainStart, static_cast<std::uint32_t>(mainStart));
    rec.SetWord(LayoutRecord::kMainSize, layout.main);
    rec.SetWord(LayoutRecord::kResourceStart, static_cast<std::uint32_t>(resourceStart));
    rec.SetWord(LayoutRecord::kResourceSize, layout.resource);
    rec.SetWord(LayoutRecord::kDatabaseStart, static_cast<std::uint32_t>(databaseStart));
    rec.SetWord(LayoutRecord::kDatabaseSize, layout.database);
    rec.SetWord(LayoutRecord::kAuxiliaryStart, static_cast<std::uint32_t>(auxiliaryStart));
    rec.SetWord(LayoutRecord::kAuxiliarySize, layout.auxiliary);
    rec.SetWord(LayoutRecord::kModelImageAddress, kModelImageAddress);
    rec.SetWord(LayoutRecord::kModelImageSize, kModelImageBytes);
    rec.SetWord(LayoutRecord::kEnd, static_cast<std::uint32_t>(end));
    return end > capacity ? WriteResult::kDoesNotFit : WriteResult::kWritten;
}

}  // namespace

const SectionBuffer& ChosenMainImage(const UpdatePackage& package, bool altMain) noexcept {
    if (altMain) return package.regional ? package.regionalAltMain : package.altMain;
    return package.regional ? package.regionalMain : package.main;
}

std::string_view PlanPartKey(PlanPart part) noexcept {
    switch (part) {
        case PlanPart::kIdentity:
            return "identity";
        case PlanPart::kLayoutBlock:
            return "layout_block";
        case PlanPart::kLayoutSector:
            return "layout_sector";
        case PlanPart::kModelArea:
            return "model_area";
        case PlanPart::kModelImage:
            return "model_image";
        case PlanPart::kResource:
            return "resource";
        case PlanPart::kAuxiliary:
            return "auxiliary";
        case PlanPart::kDatabase:
            return "database";
        case PlanPart::kMain:
            return "main";
        case PlanPart::kAltMain:
            return "alt_main";
        case PlanPart::kRegionalMain:
            return "regional_main";
        case PlanPart::kRegionalAltMain:
            return "regional_alt_main";
        case PlanPart::kBase:
            return "base";
        case PlanPart::kModelHeader:
            return "model_header";
        case PlanPart::kModelData:
            return "model_data";
        case PlanPart::kLayoutEnd:
            return "layout_end";
        case PlanPart::kLayoutRecord:
            return "layout_record";
    }
    return "unknown";
}

std::string_view PlanPartName(PlanPart part) noexcept {
    switch (part) {
        case PlanPart::kIdentity:
            return "identity block";
        case PlanPart::kLayoutBlock:
            return "layout block";
        case PlanPart::kLayoutSector:
            return "layout sector";
        case PlanPart::kModelArea:
            return "model area";
        case PlanPart::kModelImage:
            return "model image";
        case PlanPart::kResource:
            return "resource image";
        case PlanPart::kAuxiliary:
            return "auxiliary image";
        case PlanPart::kDatabase:
            return "database";
        case PlanPart::kMain:
            return "main image";
        case PlanPart::kAltMain:
            return "alternate main image";
        case PlanPart::kRegionalMain:
            return "regional main image";
        case PlanPart::kRegionalAltMain:
            return "regional alternate main image";
        case PlanPart::kBase:
            return "base image";
        case PlanPart::kModelHeader:
            return "model block header";
        case PlanPart::kModelData:
            return "model data";
        case PlanPart::kLayoutEnd:
            return "laid-out sections";
        case PlanPart::kLayoutRecord:
            return "layout record";
    }
    return "unknown";
}

std::uint32_t PlanStep::Blocks() const noexcept {
    return erase ? 0 : length / kBlockBytes;
}

std::uint32_t PlanStep::FirstSector() const noexcept {
    return address / kSectorBytes;
}

std::uint32_t PlanStep::Sectors() const noexcept {
    if (erase) return length / kSectorBytes;
    if (length == 0) return 0;
    const std::uint64_t last = (std::uint64_t{address} + length - 1) / kSectorBytes;
    return static_cast<std::uint32_t>(last - FirstSector() + 1);
}

std::uint64_t UpdatePlan::TotalBytes() const noexcept {
    std::uint64_t total = 0;
    for (const PlanStep& step : steps) {
        if (!step.erase) total += step.length;
    }
    return total;
}

std::uint32_t UpdatePlan::TransferTotal() const noexcept {
    std::uint64_t total = 0;
    for (const PlanStep& step : steps) {
        if (step.counted) total += step.length;
    }
    return static_cast<std::uint32_t>(total);  // sections of a unit: at most a few MiB
}

UpdatePlan RefusedPlan(WriteResult result, Misfit misfit, std::string_view fault) {
    UpdatePlan plan;
    plan.result = result;
    plan.misfit = misfit;
    plan.fault = fault;
    return plan;
}

bool LayoutHoldsTogether(const LayoutRecord& record, std::uint32_t capacity) noexcept {
    struct Region {
        std::size_t start;
        std::size_t size;
        std::uint8_t bank;
    };
    constexpr Region kRegions[] = {
        {LayoutRecord::kMainStart, LayoutRecord::kMainSize, kBank1},
        {LayoutRecord::kResourceStart, LayoutRecord::kResourceSize, kBank1},
        {LayoutRecord::kDatabaseStart, LayoutRecord::kDatabaseSize, kBank1},
        {LayoutRecord::kAuxiliaryStart, LayoutRecord::kAuxiliarySize, kBank0},
        {LayoutRecord::kModelImageAddress, LayoutRecord::kModelImageSize, kBank1},
    };
    constexpr std::size_t kModelImage = 4;
    // The model block (header and data) whose copy the model image is.
    constexpr Extent kModelBlock{kModelHeaderAddress, kModelHeaderAddress + kModelImageBytes,
                                 kBank1};
    std::array<Extent, std::size(kRegions)> placed{};
    for (std::size_t i = 0; i < std::size(kRegions); ++i) {
        const std::uint32_t start = record.Word(kRegions[i].start);
        const std::uint32_t size = record.Word(kRegions[i].size);
        if (size == 0) continue;
        const Extent extent{start, std::uint64_t{start} + size, kRegions[i].bank};
        // Addresses travel as block numbers: a ragged start would land elsewhere.
        if (start == 0 || start % kBlockBytes != 0 || size % kBlockBytes != 0 ||
            extent.end > capacity) {
            return false;
        }
        if (i == kModelImage ? Overlap(extent, kModelBlock) : start < kPlacedBase) return false;
        for (std::size_t j = 0; j < i; ++j) {
            if (Overlap(extent, placed[j])) return false;
        }
        placed[i] = extent;
    }
    return true;
}

UpdatePlan CGpsUnit::PlanUpdate(const UpdatePackage& package) const {
    // Where a unit keeps its data is known only from a reading that came whole.
    if (!readingFault.empty()) return RefusedPlan(WriteResult::kFailed, {}, kFaultReading);
    const ModelEntry* entry = FindModelEntry(package, modelId);
    UpdatePlan plan;
    plan.identityPending = identityPending != 0;
    if (entry != nullptr) {
        plan.modelEntry = static_cast<int>(entry - package.models.data());
        plan.modelEntryId = entry->modelId;
    }
    if (const WriteResult planned = PlanLayout(package, entry, plan);
        planned != WriteResult::kWritten) {
        return RefusedPlan(planned, plan.misfit);
    }
    if (plan.addresses.modelImageAddress != 0 && entry != nullptr &&
        entry->flashImage.size() != kModelImageBytes) {
        return RefusedPlan(WriteResult::kFailed, {}, kFaultModelImage);
    }
    ListTransfer(package, entry, plan);
    return plan;
}

WriteResult CGpsUnit::PlanLayout(const UpdatePackage& package, const ModelEntry* entry,
                                 UpdatePlan& plan) const {
    WritePlan& at = plan.addresses;
    at = WritePlan{};
    at.altMain = entry != nullptr ? entry->altMainFlag != 0
                                  : layoutRecord.bytes[LayoutRecord::kAltMainFlag] != 0;
    plan.record = layoutRecord;
    plan.layout = HasLayoutRecord() ? LayoutAction::kKeep : LayoutAction::kFixed;
    const RoundedSizes r = RoundedSizesOf(package, at.altMain);
    const PlanPart mainPart = MainPart(package, at.altMain);
    const auto fitsFixed = [&] {
        return FitsRooms(r, mainPart, kFixedMainRoom, kFixedResourceRoom, kFixedDatabaseRoom,
                         plan.misfit);
    };

    if (entry != nullptr && !package.modelTableExtended) {
        if (!fitsFixed()) return WriteResult::kDoesNotFit;
        PlanFixed(at);
        if (HasLayoutRecord()) {
            // Back to the fixed layout: the identity moves to its fixed place and the layout
            // sector goes, so the unit stops reading the old record.
            plan.layout = LayoutAction::kBackToFixed;
            plan.steps.push_back(SmallWrite(PlanPart::kIdentity, kFixedIdentityAddress, kBank0,
                                            package.identity, false));
            plan.steps.push_back(EraseStep(PlanPart::kLayoutSector, kLayoutSector, 1));
        }
        plan.record.Clear();
        return WriteResult::kWritten;
    }
    if (entry != nullptr) {
        if (r.main != 0 && r.resource != 0 && r.database != 0) {
            const NewLayout layout{entry->modelId,
                                   entry->secondLayoutWord,
                                   entry->altMainFlag,
                                   entry->firstLayoutWord,
                                   r.main,
                                   r.resource,
                                   r.database,
                                   r.auxiliary};
            std::uint64_t end = 0;
            if (BuildLayoutRecord(plan.record, capacity, layout, end) != WriteResult::kWritten) {
                plan.misfit = {PlanPart::kLayoutEnd, end, capacity};
                return WriteResult::kDoesNotFit;
            }
            plan.layout = LayoutAction::kStore;
            // The record is checked as a unit's own is, below: a refused plan sends nothing.
            StoreLayout(plan, entry->firstLayoutWord);
        }
        return PlanFromRecord(package, entry, plan);
    }
    if (HasLayoutRecord()) return PlanFromRecord(package, nullptr, plan);
    if (!fitsFixed()) return WriteResult::kDoesNotFit;
    PlanFixed(at);
    return WriteResult::kWritten;
}

WriteResult CGpsUnit::PlanFromRecord(const UpdatePackage& package, const ModelEntry* entry,
                                     UpdatePlan& plan) const {
    const LayoutRecord& rec = plan.record;
    if (!LayoutHoldsTogether(rec, capacity)) {
        plan.misfit = {PlanPart::kLayoutRecord, rec.Word(LayoutRecord::kEnd), capacity};
        return WriteResult::kDoesNotFit;
    }
    const auto placed = [&](std::size_t start, std::size_t size) {
        return rec.Word(size) != 0 ? rec.Word(start) : 0;
    };
    WritePlan& at = plan.addresses;
    at.identityAddress = kRecordIdentityAddress;
    at.modelImageAddress = placed(LayoutRecord::kModelImageAddress, LayoutRecord::kModelImageSize);
    at.mainAddress = placed(LayoutRecord::kMainStart, LayoutRecord::kMainSize);
    at.resourceAddress = placed(LayoutRecord::kResourceStart, LayoutRecord::kResourceSize);
    at.databaseAddress = placed(LayoutRecord::kDatabaseStart, LayoutRecord::kDatabaseSize);
    at.auxiliaryAddress = placed(LayoutRecord::kAuxiliaryStart, LayoutRecord::kAuxiliarySize);

    // A section larger than its region would run into the next region, and a main, resource
    // or database image with no region would be dropped while the update reports success:
    // neither fits this layout. A unit laid out without an auxiliary region takes no
    // auxiliary image, as a unit with the fixed layout does not.
    const RoundedSizes r = RoundedSizesOf(package, at.altMain);
    if (!FitsRooms(r, MainPart(package, at.altMain), rec.Word(LayoutRecord::kMainSize),
                   rec.Word(LayoutRecord::kResourceSize), rec.Word(LayoutRecord::kDatabaseSize),
                   plan.misfit)) {
        return WriteResult::kDoesNotFit;
    }
    const std::uint32_t auxiliaryRoom = rec.Word(LayoutRecord::kAuxiliarySize);
    if (auxiliaryRoom != 0 && r.auxiliary > auxiliaryRoom) {
        plan.misfit = {PlanPart::kAuxiliary, r.auxiliary, auxiliaryRoom};
        return WriteResult::kDoesNotFit;
    }
    const std::uint32_t modelImageRoom = rec.Word(LayoutRecord::kModelImageSize);
    if (entry != nullptr && at.modelImageAddress != 0 && modelImageRoom < kModelImageBytes) {
        plan.misfit = {PlanPart::kModelImage, kModelImageBytes, modelImageRoom};
        return WriteResult::kDoesNotFit;
    }
    return WriteResult::kWritten;
}

}  // namespace kivrel
