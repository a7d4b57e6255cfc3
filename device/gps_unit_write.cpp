// Planning the unit's memory layout and writing an update into it.

#include <algorithm>
#include <array>

#include "base/byte_sum.h"
#include "device/gps_unit.h"

namespace kivrel {
namespace {

constexpr std::uint32_t kLayoutSector = kLayoutAddress / kSectorBytes;
constexpr std::uint32_t kModelImageBytes = static_cast<std::uint32_t>(kModelFlashImageBytes);

struct RoundedSizes {
    std::uint32_t main = 0;
    std::uint32_t resource = 0;
    std::uint32_t database = 0;
    std::uint32_t auxiliary = 0;
};

RoundedSizes RoundedSizesOf(const UpdatePackage& package, bool altMain) {
    return {RoundToSector(ChosenMainImage(package, altMain).PaddedLength()),
            RoundToSector(package.resource.PaddedLength()),
            RoundToSector(package.database.PaddedLength()),
            RoundToSector(package.auxiliary.PaddedLength())};
}

bool FitsFixedLayout(const RoundedSizes& r) {
    return r.main <= kFixedMainRoom && r.resource <= kFixedResourceRoom &&
           r.database <= kFixedDatabaseRoom;
}

// One WriteBlocks of an update, its data as the package holds it.
struct PlannedWrite {
    std::uint32_t address = 0;
    std::uint8_t bank = 0;
    std::span<const std::uint8_t> bytes;
    std::uint32_t wordC = 0;
    std::uint32_t dataSum = 0;
};

// Everything an update sends once planned, in the order it goes: what the progress total
// counts is exactly what is written.
class WriteList {
public:
    void Small(std::uint32_t address, std::uint8_t bank, std::span<const std::uint8_t> bytes) {
        Add({address, bank, bytes, 0, ByteSum(bytes)});
    }
    void Section(std::uint32_t address, std::uint8_t bank, const SectionBuffer& section) {
        Add({address, bank, section.bytes, section.recordedSize, section.checksum});
    }
    [[nodiscard]] std::span<const PlannedWrite> Writes() const { return {writes.data(), count}; }
    [[nodiscard]] std::uint64_t Bytes() const {
        std::uint64_t total = 0;
        for (const PlannedWrite& w : Writes()) total += w.bytes.size();
        return total;
    }

private:
    void Add(const PlannedWrite& write) { writes.at(count++) = write; }

    std::array<PlannedWrite, 9> writes{};
    std::size_t count = 0;
};

WriteList ListWrites(const UpdatePackage& package, const ModelEntry* entry, const WritePlan& plan,
                     bool identityPending) {
    WriteList list;
    if (plan.identityAddress != 0 && identityPending) {
        list.Small(plan.identityAddress, kBank0, package.identity);
    }
    if (plan.modelImageAddress != 0 && entry != nullptr) {
        list.Small(plan.modelImageAddress, kBank1, entry->flashImage);
    }
    struct Region {
        std::uint32_t address;
        std::uint8_t bank;
        const SectionBuffer& section;
    };
    const Region regions[] = {
        {plan.resourceAddress, kBank1, package.resource},
        {plan.auxiliaryAddress, kBank0, package.auxiliary},
        {plan.databaseAddress, kBank1, package.database},
        {plan.mainAddress, kBank1, ChosenMainImage(package, plan.altMain)},
    };
    for (const Region& region : regions) {
        if (region.address == 0 || region.section.PaddedLength() == 0) continue;
        list.Section(region.address, region.bank, region.section);
    }
    if (package.base.PaddedLength() != 0) list.Section(0, kBank0, package.base);
    if (entry != nullptr && entry->data.PaddedLength() != 0) {
        list.Small(kModelHeaderAddress, kBank1, entry->blockHeader);
        list.Section(kModelDataAddress, kBank1, entry->data);
    }
    return list;
}

struct Extent {
    std::uint64_t start = 0;
    std::uint64_t end = 0;
    std::uint8_t bank = 0;
};

bool Overlap(const Extent& a, const Extent& b) {
    return a.bank == b.bank && a.start < b.end && b.start < a.end;
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

}  // namespace

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

int CGpsUnit::PlanLayout(const UpdatePackage& package, const ModelEntry* entry, WritePlan& plan) {
    const int result = MakePlan(package, entry, plan);
    if (result != kWriteOk) layoutRecord = unitRecord;
    return result;
}

int CGpsUnit::MakePlan(const UpdatePackage& package, const ModelEntry* entry, WritePlan& plan) {
    plan = WritePlan{};
    plan.altMain = entry != nullptr ? entry->altMainFlag != 0
                                    : layoutRecord.bytes[LayoutRecord::kAltMainFlag] != 0;
    const RoundedSizes r = RoundedSizesOf(package, plan.altMain);

    if (entry != nullptr && !package.modelTableExtended) {
        if (!FitsFixedLayout(r)) return kWriteDoesNotFit;
        PlanFixed(plan);
        if (HasLayoutRecord()) {
            // Back to the fixed layout: the identity moves to its fixed place and the layout
            // sector goes, so the unit stops reading the old record.
            if (!WriteSmallBlock(kFixedIdentityAddress, kBank0, package.identity) ||
                !Erase(kLayoutSector, 1)) {
                return kWriteFailed;
            }
        }
        layoutRecord.Clear();
        unitRecord.Clear();
        return kWriteOk;
    }
    if (entry != nullptr) {
        if (r.main != 0 && r.resource != 0 && r.database != 0) {
            if (BuildLayoutRecord(entry->modelId, entry->secondLayoutWord, entry->altMainFlag,
                                  entry->firstLayoutWord, r.main, r.resource, r.database,
                                  r.auxiliary) != kWriteOk ||
                !LayoutHoldsTogether(layoutRecord, capacity)) {
                return kWriteDoesNotFit;
            }
            if (StoreLayout(entry->firstLayoutWord) != kWriteOk) return kWriteFailed;
        }
        return PlanFromRecord(package, entry, plan);
    }
    if (HasLayoutRecord()) return PlanFromRecord(package, nullptr, plan);
    if (!FitsFixedLayout(r)) return kWriteDoesNotFit;
    PlanFixed(plan);
    return kWriteOk;
}

int CGpsUnit::PlanFromRecord(const UpdatePackage& package, const ModelEntry* entry,
                             WritePlan& plan) const {
    const LayoutRecord& rec = layoutRecord;
    if (!LayoutHoldsTogether(rec, capacity)) return kWriteDoesNotFit;
    const auto placed = [&](std::size_t start, std::size_t size) {
        return rec.Word(size) != 0 ? rec.Word(start) : 0;
    };
    plan.identityAddress = kRecordIdentityAddress;
    plan.modelImageAddress =
        placed(LayoutRecord::kModelImageAddress, LayoutRecord::kModelImageSize);
    plan.mainAddress = placed(LayoutRecord::kMainStart, LayoutRecord::kMainSize);
    plan.resourceAddress = placed(LayoutRecord::kResourceStart, LayoutRecord::kResourceSize);
    plan.databaseAddress = placed(LayoutRecord::kDatabaseStart, LayoutRecord::kDatabaseSize);
    plan.auxiliaryAddress = placed(LayoutRecord::kAuxiliaryStart, LayoutRecord::kAuxiliarySize);

    // A section larger than its region would run into the next region, and a main, resource
    // or database image with no region would be dropped while the update reports success:
    // neither fits this layout. A unit laid out without an auxiliary region takes no
    // auxiliary image, as a unit with the fixed layout does not.
    const RoundedSizes r = RoundedSizesOf(package, plan.altMain);
    const std::uint32_t auxiliaryRoom = rec.Word(LayoutRecord::kAuxiliarySize);
    if (r.main > rec.Word(LayoutRecord::kMainSize) ||
        r.resource > rec.Word(LayoutRecord::kResourceSize) ||
        r.database > rec.Word(LayoutRecord::kDatabaseSize) ||
        (auxiliaryRoom != 0 && r.auxiliary > auxiliaryRoom)) {
        return kWriteDoesNotFit;
    }
    if (entry != nullptr && plan.modelImageAddress != 0 &&
        rec.Word(LayoutRecord::kModelImageSize) < kModelImageBytes) {
        return kWriteDoesNotFit;
    }
    return kWriteOk;
}

int CGpsUnit::BuildLayoutRecord(std::uint32_t recordModelId, std::uint32_t secondWord,
                                std::uint32_t altMainFlag, std::uint32_t firstWord,
                                std::uint32_t roundedMain, std::uint32_t roundedResource,
                                std::uint32_t roundedDatabase, std::uint32_t roundedAuxiliary) {
    LayoutRecord& rec = layoutRecord;
    if (!rec.HasMarker()) {
        rec.Clear();
        rec.SetWord(0, 0);
        rec.SetWord(LayoutRecord::kMarker, kLayoutMarker);
        rec.bytes[LayoutRecord::kCreatedFlag] = 1;
    }
    if (roundedAuxiliary != 0) rec.bytes[LayoutRecord::kCreatedFlag] = 1;

    // Sums in 64 bits: a huge first layout word from the file must not wrap past the check.
    const std::uint64_t mainStart = std::uint64_t{kPlacedBase} + firstWord;
    const std::uint64_t resourceStart = mainStart + roundedMain;
    const std::uint64_t databaseStart = resourceStart + roundedResource;
    const std::uint64_t auxiliaryStart = databaseStart + roundedDatabase;
    const std::uint64_t end = auxiliaryStart + roundedAuxiliary;

    rec.SetWord(LayoutRecord::kModelId, recordModelId);
    rec.SetWord(LayoutRecord::kSecondLayoutWord, secondWord);
    rec.bytes[LayoutRecord::kAltMainFlag] = altMainFlag != 0 ? 1 : 0;
    rec.SetWord(LayoutRecord::kCapacity, capacity);
    rec.SetWord(LayoutRecord::kBase, kPlacedBase);
    rec.SetWord(LayoutRecord::kFirstLayoutWord, firstWord);
    rec.SetWord(LayoutRecord::kMainStart, static_cast<std::uint32_t>(mainStart));
    rec.SetWord(LayoutRecord::kMainSize, roundedMain);
    rec.SetWord(LayoutRecord::kResourceStart, static_cast<std::uint32_t>(resourceStart));
    rec.SetWord(LayoutRecord::kResourceSize, roundedResource);
    rec.SetWord(LayoutRecord::kDatabaseStart, static_cast<std::uint32_t>(databaseStart));
    rec.SetWord(LayoutRecord::kDatabaseSize, roundedDatabase);
    rec.SetWord(LayoutRecord::kAuxiliaryStart, static_cast<std::uint32_t>(auxiliaryStart));
    rec.SetWord(LayoutRecord::kAuxiliarySize, roundedAuxiliary);
    rec.SetWord(LayoutRecord::kModelImageAddress, kModelImageAddress);
    rec.SetWord(LayoutRecord::kModelImageSize, kModelImageBytes);
    rec.SetWord(LayoutRecord::kEnd, static_cast<std::uint32_t>(end));
    return end > capacity ? kWriteDoesNotFit : kWriteOk;
}

int CGpsUnit::StoreLayout(std::uint32_t firstWord) {
    const auto block = WriteLayoutBlock(layoutRecord);
    // Without its layout block the unit would read the regions at the old places.
    if (!WriteSmallBlock(kLayoutAddress, kBank0, block)) return kWriteFailed;
    unitRecord = layoutRecord;  // whatever follows, the unit now reads this record
    if (firstWord == 0) return kWriteOk;
    return Erase(kPlacedBase / kSectorBytes, firstWord / kSectorBytes) ? kWriteOk : kWriteFailed;
}

int CGpsUnit::WriteUpdate(const UpdatePackage& package) {
    // Where a unit keeps its data is known only from a reading that came whole.
    if (!readingFault.empty()) return kWriteFailed;
    const ModelEntry* entry = FindModelEntry(package, modelId);
    WritePlan plan;
    if (const int planned = PlanLayout(package, entry, plan); planned != kWriteOk) return planned;
    if (plan.modelImageAddress != 0 && entry != nullptr &&
        entry->flashImage.size() != kModelImageBytes) {
        return kWriteFailed;
    }

    const WriteList list = ListWrites(package, entry, plan, identityPending != 0);
    const auto total32 = static_cast<std::uint32_t>(list.Bytes());  // at most a few MiB
    transferTotal = total32;
    transferTicks = 0;
    transferWritten = 0;
    link.Notify().TransferStart(total32);
    transferBusy = 1;

    // Every write must be taken whole: a refused or broken one ends the update as failed.
    int result = kWriteOk;
    for (const PlannedWrite& write : list.Writes()) {
        if (!WriteBlocks(write.address, write.bank, write.bytes, write.wordC, write.dataSum)) {
            result = kWriteFailed;
            break;
        }
    }
    if (result == kWriteOk) (void)ReadUnitInfo();  // the dates and layout now reflect the write
    transferWritten = total32;
    transferBusy = 0;
    return result;
}

}  // namespace kivrel
