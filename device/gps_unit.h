#pragma once
// The unit object: the command link, what was read from the unit, the acceptance hook and the
// transfer counters; and the operations the tool performs on a unit (read it, plan its memory
// layout, write an update, write settings, the closing commands).

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <span>
#include <string_view>

#include "device/chid_cmd.h"
#include "device/layout_record.h"
#include "device/update_plan.h"
#include "package/build_date.h"
#include "package/update_package.h"
#include "settings/block/settings_block.h"

namespace kivrel {

using IdentityBlock = std::array<std::uint8_t, kIdentityBytes>;

// Unit memory map. Bank 0 holds base, identity, settings, layout and auxiliary; bank 1 the model
// block and the data regions.
inline constexpr std::uint8_t kBank0 = 0;
inline constexpr std::uint8_t kBank1 = 1;
inline constexpr std::uint32_t kFixedIdentityAddress = 0x7000;
inline constexpr std::uint32_t kRecordIdentityAddress = 0x18000;
inline constexpr std::uint32_t kModelHeaderAddress = 0x8000;
inline constexpr std::uint32_t kModelDataAddress = 0x9000;
inline constexpr std::uint32_t kSettingsAddress = 0x11000;
inline constexpr std::uint32_t kLayoutAddress = 0x16000;
inline constexpr std::uint32_t kFixedMainAddress = 0xDE000;
inline constexpr std::uint32_t kFixedResourceAddress = 0x16000;
inline constexpr std::uint32_t kFixedDatabaseAddress = 0x2DE000;
inline constexpr std::uint32_t kPlacedBase = 0x22000;
inline constexpr std::uint32_t kModelImageAddress = 0x19000;
inline constexpr std::uint32_t kSectorBytes = 4096;
// Largest sections the fixed layout has room for.
inline constexpr std::uint32_t kFixedMainRoom = 0x200000;
inline constexpr std::uint32_t kFixedResourceRoom = 0xC8000;
inline constexpr std::uint32_t kFixedDatabaseRoom = 0x522000;
// Units with an older boot loader have 8 MiB and do not answer QueryCapacity.
inline constexpr std::uint32_t kCapacityQueryBoot = 1011;
inline constexpr std::uint32_t kAbandonBoot = 1010;
inline constexpr std::uint32_t kDefaultCapacity = 0x800000;
// Far beyond any unit's flash; the failure values -1 and -2 and other noise lie above it or
// are no whole number of sectors.
inline constexpr std::uint32_t kMaxPlausibleCapacity = 0x40000000;

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

// The main image a plan sends: alternate or not, regional or not.
[[nodiscard]] const SectionBuffer& ChosenMainImage(const UpdatePackage& package,
                                                   bool altMain) noexcept;
// A padded length rounded up to whole 4 KiB sectors.
[[nodiscard]] std::uint32_t RoundToSector(std::uint32_t length) noexcept;
// A capacity a unit can have: a whole number of sectors, neither 0 nor absurdly large.
[[nodiscard]] bool PlausibleCapacity(std::uint32_t capacity) noexcept;
// A record the tool can write by: every region it sizes has a start, starts and sizes are
// whole blocks, the data regions lie above the fixed low area and the model image outside the
// model block, no two regions of a bank overlap, and all end within `capacity`.
[[nodiscard]] bool LayoutHoldsTogether(const LayoutRecord& record, std::uint32_t capacity) noexcept;

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
    [[nodiscard]] int PlanLayout(const UpdatePackage& package, const ModelEntry* entry,
                                 UpdatePlan& plan) const;

    // Writes an update by its plan: 0 written, 1 a write or erase failed (the update stops
    // there) or the last reading was not whole (nothing written), 3 the package does not fit
    // the unit or the unit's layout record does not hold together (nothing written). `used`,
    // when given, receives the plan.
    [[nodiscard]] int WriteUpdate(const UpdatePackage& package, UpdatePlan* used = nullptr);

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
    [[nodiscard]] bool WriteBlocks(std::uint32_t address, std::uint8_t bank,
                                   std::span<const std::uint8_t> bytes, std::uint32_t wordC,
                                   std::uint32_t dataSum);
    [[nodiscard]] bool WriteSmallBlock(std::uint32_t address, std::uint8_t bank,
                                       std::span<const std::uint8_t> bytes);
    [[nodiscard]] bool Erase(std::uint32_t firstSector, std::uint32_t count);
    [[nodiscard]] int PlanFromRecord(const UpdatePackage& package, const ModelEntry* entry,
                                     UpdatePlan& plan) const;
    // Sends one step of a plan; false when the unit did not take it whole.
    [[nodiscard]] bool SendStep(const PlanStep& step, std::span<const std::uint8_t> bytes);
    void ReadDates(std::uint32_t mainAt, std::uint32_t resourceAt, std::uint32_t databaseAt);
    void TakeIdsFromSettings();

    std::string_view readingFault = kReadingNotDone;
};

}  // namespace kivrel
