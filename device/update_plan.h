#pragma once
// What one update sends to a unit, decided before anything is sent: where each section goes,
// what becomes of the unit's layout record, and every write and erase in the order they go.
// The update write sends exactly a plan's steps and a dry run prints them, so what is shown
// before an update is what the update then does.

#include <cstdint>
#include <string_view>
#include <vector>

#include "device/layout_record.h"

namespace kivrel {

struct SectionBuffer;
struct UpdatePackage;

// Results of WriteUpdate and of planning.
enum class WriteResult {
    kWritten = 0,
    kFailed = 1,      // "Update Failed!"
    kDoesNotFit = 3,  // "Error"
};

// Where each part of one update goes; an address of 0 means "not written".
struct WritePlan {
    std::uint32_t modelImageAddress = 0;
    std::uint32_t identityAddress = 0;
    std::uint32_t mainAddress = 0;
    std::uint32_t resourceAddress = 0;
    std::uint32_t databaseAddress = 0;
    std::uint32_t auxiliaryAddress = 0;
    bool altMain = false;

    friend bool operator==(const WritePlan&, const WritePlan&) = default;
};

// What a step writes or erases, or (kLayoutEnd, kLayoutRecord) what does not fit.
enum class PlanPart : std::uint8_t {
    kIdentity,
    kLayoutBlock,
    kLayoutSector,  // erased: the unit goes back to the fixed layout
    kModelArea,     // erased: the area the model entry leaves empty at the placed base
    kModelImage,
    kResource,
    kAuxiliary,
    kDatabase,
    kMain,
    kAltMain,
    kRegionalMain,
    kRegionalAltMain,
    kBase,
    kModelHeader,
    kModelData,
    kLayoutEnd,     // a new layout's end against the unit's capacity
    kLayoutRecord,  // a layout record whose regions do not hold together
};

// "database", "alt_main", "layout_block": the names `inspect --json` gives sections.
[[nodiscard]] std::string_view PlanPartKey(PlanPart part) noexcept;
// "database image", "alternate main image", "layout block": for sentences.
[[nodiscard]] std::string_view PlanPartName(PlanPart part) noexcept;

// One WriteBlocks or EraseSectors command of an update.
struct PlanStep {
    PlanPart part = PlanPart::kBase;
    bool erase = false;         // EraseSectors; otherwise WriteBlocks
    std::uint32_t address = 0;  // byte address; an erase's first sector x 4096
    std::uint8_t bank = 0;      // 0 for an erase
    std::uint32_t length = 0;   // bytes written, or erased
    std::uint32_t wordC = 0;    // as the WriteBlocks command carries them
    std::uint32_t dataSum = 0;
    bool counted = false;  // sent after the transfer start and counted in its total

    [[nodiscard]] std::uint32_t Blocks() const noexcept;
    // The 4 KiB flash sectors the step covers.
    [[nodiscard]] std::uint32_t FirstSector() const noexcept;
    [[nodiscard]] std::uint32_t Sectors() const noexcept;

    friend bool operator==(const PlanStep&, const PlanStep&) = default;
};

// What the update does with the unit's layout record.
enum class LayoutAction : std::uint8_t {
    kFixed,        // the unit has none and gets none: the fixed addresses
    kKeep,         // the unit's record stays and gives the addresses
    kBackToFixed,  // the unit's record is erased: back to the fixed addresses
    kStore,        // a new record is stored and gives the addresses
};

// Why a package does not fit: `part` needs `needed` bytes where there are `room`.
struct Misfit {
    PlanPart part = PlanPart::kMain;
    std::uint64_t needed = 0;
    std::uint64_t room = 0;

    friend bool operator==(const Misfit&, const Misfit&) = default;
};

struct UpdatePlan {
    // kWritten, kDoesNotFit with `misfit`, or kFailed with `fault`. Only a plan of kWritten
    // has steps.
    WriteResult result = WriteResult::kWritten;
    Misfit misfit;
    std::string_view fault;
    WritePlan addresses;
    int modelEntry = -1;             // index in the package's model table; -1: none
    std::uint32_t modelEntryId = 0;  // that entry's model id
    LayoutAction layout = LayoutAction::kFixed;
    // The record the unit holds once the layout steps are done (all zero when none).
    LayoutRecord record;
    bool identityPending = false;
    std::vector<PlanStep> steps;

    // Bytes of every WriteBlocks, and of those counted in the transfer total.
    [[nodiscard]] std::uint64_t TotalBytes() const noexcept;
    [[nodiscard]] std::uint32_t TransferTotal() const noexcept;

    friend bool operator==(const UpdatePlan&, const UpdatePlan&) = default;
};

// The main image a plan sends: alternate or not, regional or not.
[[nodiscard]] const SectionBuffer& ChosenMainImage(const UpdatePackage& package,
                                                   bool altMain) noexcept;
// A record the tool can write by: every region it sizes has a start, starts and sizes are
// whole blocks, the data regions lie above the fixed low area and the model image outside the
// model block, no two regions of a bank overlap, and all end within `capacity`.
[[nodiscard]] bool LayoutHoldsTogether(const LayoutRecord& record, std::uint32_t capacity) noexcept;

// A plan that sends nothing, with `result` and, for a misfit, what did not fit.
[[nodiscard]] UpdatePlan RefusedPlan(WriteResult result, Misfit misfit = {},
                                     std::string_view fault = {});

}  // namespace kivrel
