#pragma once
// The unit object: the command link, what was read from the unit, the acceptance hook and the
// transfer counters, and the operations on a unit: reading it (gps_unit.cpp), planning an
// update (gps_unit_plan.cpp), and writing an update, its settings and the closing commands
// (gps_unit_write.cpp).

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <span>
#include <string_view>

#include "device/chid_cmd.h"
#include "device/layout_record.h"
#include "device/unit_memory.h"
#include "device/update_plan.h"
#include "package/build_date.h"
#include "package/update_package.h"
#include "settings_block/settings_block.h"

namespace kivrel {

using IdentityBlock = std::array<std::uint8_t, kIdentityBytes>;

// What a reading could not read whole (CGpsUnit::ReadingFault).
inline constexpr std::string_view kReadingNotDone = "the unit has not been read";
inline constexpr std::string_view kReadingBootVersion = "the boot version query failed";
inline constexpr std::string_view kReadingCapacity = "the capacity query failed";
inline constexpr std::string_view kReadingImplausibleCapacity =
    "the capacity the unit gave is no flash size";
inline constexpr std::string_view kReadingLayoutBlock = "the layout block did not come whole";
inline constexpr std::string_view kReadingSettingsBlock = "the settings block did not come whole";
inline constexpr std::string_view kReadingIdentityBlock = "the identity block did not come whole";
inline constexpr std::string_view kReadingUnsteady =
    "a block read twice did not come back the same";
inline constexpr std::string_view kReadingOutOfStep = "the unit's answers came out of step";

// Operations run on one thread at a time (the window's or the update worker's); the transfer
// counters may be read and bumped from another thread.
class CGpsUnit {
public:
    // Returns 0 to refuse the unit. None installed accepts every unit.
    using AcceptanceHook = std::function<int(CGpsUnit&)>;

    AcceptanceHook acceptanceHook;
    CHidCmd link;
    std::int32_t bootVersion = 0;  // -1: QueryVersion not sent; -2: refused
    std::uint32_t capacity = 0;
    std::int32_t identityPending = 0;  // 1: the update writes the package's identity block
    IdentityBlock identity{};
    std::uint32_t modelId = 0;
    BuildDate mainDate;
    BuildDate resourceDate;
    BuildDate databaseDate;
    LayoutRecord layoutRecord;
    SettingsBlock settingsBlock;
    std::int32_t settingsFormat = -1;
    std::int32_t settingsRevision = 0;
    std::atomic<std::uint32_t> transferTicks{0};
    std::atomic<std::uint32_t> transferTotal{0};
    std::atomic<std::uint32_t> transferWritten{0};
    std::atomic<std::uint32_t> transferBusy{0};

    [[nodiscard]] bool Connected() const noexcept { return link.Connected(); }
    [[nodiscard]] bool HasLayoutRecord() const noexcept { return layoutRecord.HasMarker(); }

    // Right after every successful open: forget the previous unit's layout, identity_pending
    // and settings layout, and zero the progress.
    void ResetUnitInfo() noexcept;
    // Reads what the unit is and holds. False only when the acceptance hook refused the unit;
    // the link is then closed. Whether the reading came whole shows in ReadingFault().
    [[nodiscard]] bool ReadUnitInfo();
    // ReadUnitInfo with every wait cut to the first-answer bound until the unit has answered
    // once, so that a silent unit costs about a second rather than each step's whole bound.
    // `silent`: it never answered.
    [[nodiscard]] bool ReadUnitInfoBounded(bool& silent);
    // Empty when every query and block of the last reading came whole; else what did not.
    // Until then where the unit keeps its data is unknown, and WriteUpdate writes nothing.
    [[nodiscard]] std::string_view ReadingFault() const noexcept { return readingFault; }

    // Decides, without sending anything, what an update of `package` sends. WriteUpdate
    // sends exactly this plan, so a dry run shows what the update will do. A reading that was
    // not whole gives result 1, a package that does not fit (or a unit record that does not
    // hold together) 3, with no steps.
    [[nodiscard]] UpdatePlan PlanUpdate(const UpdatePackage& package) const;
    // The layout part of the plan: the addresses, what becomes of the unit's record and the
    // steps that do it (going back to the fixed layout, or storing a new record). 0 or 3.
    [[nodiscard]] WriteResult PlanLayout(const UpdatePackage& package, const ModelEntry* entry,
                                         UpdatePlan& plan) const;

    // Writes an update by its plan: 0 written, 1 a write or erase failed (the update stops
    // there) or the last reading was not whole (nothing written), 3 the package does not fit
    // the unit or the unit's layout record does not hold together (nothing written). `used`,
    // when given, receives the plan.
    [[nodiscard]] WriteResult WriteUpdate(const UpdatePackage& package, UpdatePlan* used = nullptr);

    // Erases the 4 KiB sector holding the settings block; true when the unit confirmed.
    [[nodiscard]] bool EraseSettingsSector();
    // Writes `block` (when given; else the unit's settings block) with its checksum stored for
    // the unit's layout. True only when the unit took the whole block; only then does the
    // unit's settings block become what was written.
    [[nodiscard]] bool WriteSettings(const SettingsBlock* block = nullptr);
    // Closing commands; when connected, sent and their reply read. True when the reply was a
    // success (callers usually ignore it).
    bool SendSettingsDone();
    bool FinishUpdate();

private:
    using Block = std::array<std::uint8_t, kBlockBytes>;
    // Where the reading found the identity block and the three dated regions.
    struct RegionStarts {
        std::uint32_t identity = kFixedIdentityAddress;
        std::uint32_t main = kFixedMainAddress;
        std::uint32_t resource = kFixedResourceAddress;
        std::uint32_t database = kFixedDatabaseAddress;
    };

    // The steps of ReadUnitInfo, in their order.
    void QueryBootVersion();
    void QueryCapacity();
    [[nodiscard]] RegionStarts ReadLayout();
    [[nodiscard]] bool ReadSettings();
    void ReadIdentity(std::uint32_t address);
    void RecogniseSettings(bool settingsRead);
    // Runs the acceptance hook; a refused unit is sent AbandonUnit (when its boot loader knows
    // it) and closed.
    [[nodiscard]] bool Accepted();
    void ReadDates(const RegionStarts& starts);

    // Keeps the first step of a reading that did not come whole.
    void NoteFault(std::string_view step) noexcept;
    // One bank-0 block, whole or noted as `step`'s fault.
    [[nodiscard]] bool ReadBlockWhole(std::uint32_t address, Block& block, std::string_view step);
    // A block that came whole but is neither erased nor `valid` may have been garbled on the
    // way: it is read once more, and only the same bytes twice count as what the unit holds.
    [[nodiscard]] bool ReadBlockSteady(std::uint32_t address, Block& block, std::string_view step,
                                       bool valid);
    void TakeIdsFromSettings();

    [[nodiscard]] bool WriteBlocks(std::uint32_t address, std::uint8_t bank,
                                   std::span<const std::uint8_t> bytes, std::uint32_t wordC,
                                   std::uint32_t dataSum);
    [[nodiscard]] bool WriteSmallBlock(std::uint32_t address, std::uint8_t bank,
                                       std::span<const std::uint8_t> bytes);
    [[nodiscard]] bool Erase(std::uint32_t firstSector, std::uint32_t count);
    [[nodiscard]] WriteResult PlanFromRecord(const UpdatePackage& package, const ModelEntry* entry,
                                             UpdatePlan& plan) const;
    // Sends one step of a plan; false when the unit did not take it whole.
    [[nodiscard]] bool SendStep(const PlanStep& step, std::span<const std::uint8_t> bytes);

    std::string_view readingFault = kReadingNotDone;
};

}  // namespace kivrel
