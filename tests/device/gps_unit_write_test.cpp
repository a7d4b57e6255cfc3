// Writing an update puts megabytes into the unit's flash at planned addresses: a wrong plan
// overwrites a neighbouring region, and a failure taken for success leaves a broken unit that
// the user believes updated.

#include <gtest/gtest.h>

#include <algorithm>

#include "base/byte_sum.h"
#include "base/le_bytes.h"
#include "device/gps_unit.h"
#include "package/scrambler.h"
#include "tests/device/device_test_support.h"

namespace kivrel {
namespace {

using test::SimUnit;

struct Write {
    std::uint32_t address;
    std::uint8_t bank;
    std::uint32_t bytes;
    friend bool operator==(const Write&, const Write&) = default;
};

struct Erase {
    std::uint32_t firstSector;
    std::uint32_t count;
    friend bool operator==(const Erase&, const Erase&) = default;
};

// The writes and erases of one update, up to the reading that closes it.
struct UpdateCommands {
    std::vector<Write> writes;
    std::vector<Erase> erases;
};

// A unit keeps its main image decoded: what its main region holds after an update.
std::vector<std::uint8_t> Decoded(const SectionBuffer& section) {
    std::vector<std::uint8_t> bytes = section.bytes;
    UnscrambleBuffer(bytes);
    return bytes;
}

UpdateCommands Split(const std::vector<CommandFrame>& commands) {
    UpdateCommands out;
    for (const CommandFrame& f : commands) {
        if (f.code == static_cast<std::uint8_t>(CommandCode::kQueryVersion)) break;
        if (f.code == static_cast<std::uint8_t>(CommandCode::kWriteBlocks)) {
            out.writes.push_back({f.wordA * 256, f.bank, f.wordB * 256});
        } else if (f.code == static_cast<std::uint8_t>(CommandCode::kEraseSectors)) {
            out.erases.push_back({f.wordA, f.wordB});
        }
    }
    return out;
}

std::vector<std::uint8_t> Unscrambled(const SectionBuffer& section) {
    std::vector<std::uint8_t> plain = section.bytes;
    UnscrambleBuffer(std::span(plain).first(section.recordedSize));
    return plain;
}

void PutRecord(SimUnit& u, const LayoutRecord& record) {
    const auto block = WriteLayoutBlock(record);
    u.Put(kBank0, 0x16000, {block.begin(), block.end()});
}

LayoutRecord PlacedRecord(std::uint32_t mainSize, std::uint32_t resourceSize,
                          std::uint32_t databaseSize, std::uint32_t auxiliarySize) {
    LayoutRecord record;
    record.SetWord(LayoutRecord::kMarker, kLayoutMarker);
    std::uint32_t at = 0x22000;
    const auto place = [&](std::size_t start, std::size_t size, std::uint32_t bytes) {
        record.SetWord(start, at);
        record.SetWord(size, bytes);
        at += bytes;
    };
    place(LayoutRecord::kMainStart, LayoutRecord::kMainSize, mainSize);
    place(LayoutRecord::kResourceStart, LayoutRecord::kResourceSize, resourceSize);
    place(LayoutRecord::kDatabaseStart, LayoutRecord::kDatabaseSize, databaseSize);
    place(LayoutRecord::kAuxiliaryStart, LayoutRecord::kAuxiliarySize, auxiliarySize);
    record.SetWord(LayoutRecord::kModelImageAddress, 0x19000);
    record.SetWord(LayoutRecord::kModelImageSize, 0x9000);
    return record;
}

UpdatePackage WithModels(UpdatePackage package, bool extended, std::vector<ModelEntry> models) {
    package.modelTablePresent = true;
    package.modelTableExtended = extended;
    package.models = std::move(models);
    return package;
}

TEST(WriteUpdate, ACompactTableOnAUnitWithARecordGoesBackToTheFixedLayout) {
    SimUnit u;
    PutRecord(u, PlacedRecord(0x2000, 0x2000, 0x3000, 0x1000));
    ASSERT_TRUE(u.ConnectAndRead());
    ASSERT_TRUE(u.unit.HasLayoutRecord());
    const UpdatePackage package =
        WithModels(test::MakePackage(3000, 6000, 5000, 1000, 2048), false,
                   {test::MakeModelEntry(test::ModelId("KV01"), test::Pattern(1500, 7))});

    ASSERT_EQ(u.unit.WriteUpdate(package), WriteResult::kWritten);
    const UpdateCommands commands = Split(u.NewCommands());
    const std::vector<Write> writes = {
        {0x7000, 0, 256}, {0x16000, 1, 3072}, {0x2DE000, 1, 6144}, {0xDE000, 1, 5120},
        {0, 0, 2048},     {0x8000, 1, 256},   {0x9000, 1, 1536},
    };
    EXPECT_EQ(commands.writes, writes);  // no auxiliary image in the fixed layout
    EXPECT_EQ(commands.erases, (std::vector<Erase>{{22, 1}}));
    const auto identity = u.Bytes(kBank0, 0x7000, 256);
    EXPECT_TRUE(std::equal(identity.begin(), identity.end(), package.identity.begin()));
    EXPECT_EQ(u.Bytes(kBank0, 0x16000, 256), std::vector<std::uint8_t>(256, 0xFF));
    EXPECT_EQ(u.Bytes(kBank1, 0x2DE000, 6144), Unscrambled(package.database));
    EXPECT_EQ(u.Bytes(kBank1, 0xDE000, 5120), Decoded(package.main));
    EXPECT_FALSE(u.unit.HasLayoutRecord());
    EXPECT_EQ(u.unit.databaseDate, SecondsToDate(test::kDatabaseSeconds));
    EXPECT_EQ(u.unit.resourceDate, SecondsToDate(test::kResourceSeconds));
    EXPECT_TRUE(u.sim->Violations().empty());
}

TEST(WriteUpdate, AnExtendedTableLaysOutAndStoresANewRecordAndErasesTheModelsArea) {
    SimUnit u;
    u.Put(kBank0, 0x22000, std::vector<std::uint8_t>(0x3000, 0));
    ASSERT_TRUE(u.ConnectAndRead());
    const ModelEntry entry =
        test::MakeModelEntry(test::ModelId("KV01"), test::Pattern(2000, 8), 0x3000, 0, 0xABCD);
    const UpdatePackage package =
        WithModels(test::MakePackage(5000, 9000, 7000, 600, 1024), true, {entry});

    ASSERT_EQ(u.unit.WriteUpdate(package), WriteResult::kWritten);
    const UpdateCommands commands = Split(u.NewCommands());
    const std::vector<Write> writes = {
        {0x16000, 0, 256},     // layout block
        {0x19000, 1, 0x9000},  // model image
        {0x27000, 1, 5120},   {0x2C000, 0, 768}, {0x29000, 1, 9216}, {0x25000, 1, 7168},
        {0, 0, 1024},         {0x8000, 1, 256},  {0x9000, 1, 2048},
    };
    EXPECT_EQ(commands.writes, writes);
    EXPECT_EQ(commands.erases, (std::vector<Erase>{{34, 3}}));
    EXPECT_EQ(u.Bytes(kBank0, 0x22000, 0x3000), std::vector<std::uint8_t>(0x3000, 0xFF));
    EXPECT_EQ(u.Bytes(kBank1, 0x19000, 0x9000), entry.flashImage);

    LayoutRecord stored;
    ASSERT_TRUE(ParseLayoutBlock(u.Bytes(kBank0, 0x16000, 256), stored));
    EXPECT_EQ(stored.Word(LayoutRecord::kModelId), test::ModelId("KV01"));
    EXPECT_EQ(stored.Word(LayoutRecord::kSecondLayoutWord), 0xABCDu);
    EXPECT_EQ(stored.bytes[LayoutRecord::kCreatedFlag], 1);
    EXPECT_EQ(stored.Word(LayoutRecord::kCapacity), 0x1000000u);
    EXPECT_EQ(stored.Word(LayoutRecord::kFirstLayoutWord), 0x3000u);
    EXPECT_EQ(stored.Word(LayoutRecord::kMainStart), 0x25000u);
    EXPECT_EQ(stored.Word(LayoutRecord::kMainSize), 0x2000u);
    EXPECT_EQ(stored.Word(LayoutRecord::kDatabaseStart), 0x29000u);
    EXPECT_EQ(stored.Word(LayoutRecord::kAuxiliaryStart), 0x2C000u);
    EXPECT_EQ(stored.Word(LayoutRecord::kEnd), 0x2D000u);

    // Reading again after the write picks the new layout up.
    EXPECT_TRUE(u.unit.HasLayoutRecord());
    EXPECT_EQ(u.unit.modelId, test::ModelId("KV01"));
    EXPECT_EQ(u.unit.resourceDate, SecondsToDate(test::kResourceSeconds));
    EXPECT_EQ(u.Bytes(kBank1, 0x29000, 9216), Unscrambled(package.database));
    EXPECT_TRUE(u.sim->Violations().empty());
}

TEST(WriteUpdate, TheTotalIsWhatIsSentAfterTheStartAndTheProgressEndsAtIt) {
    struct Case {
        const char* name;
        bool extended;
        std::uint32_t total;
    };
    // Base 1024, resource 5120, database 9216, main 7168, auxiliary 768; model data 2048 and
    // its 256-byte header.
    const Case cases[] = {
        {"new layout: model image and auxiliary image too", true,
         1024 + 0x9000 + 5120 + 768 + 9216 + 7168 + 256 + 2048},
        {"fixed layout: no auxiliary image", false, 1024 + 5120 + 9216 + 7168 + 256 + 2048},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SimUnit u;
        ASSERT_TRUE(u.ConnectAndRead());
        const UpdatePackage package =
            WithModels(test::MakePackage(5000, 9000, 7000, 600, 1024), c.extended,
                       {test::MakeModelEntry(test::ModelId("KV01"), test::Pattern(2000, 8))});
        ASSERT_EQ(u.unit.WriteUpdate(package), WriteResult::kWritten);
        EXPECT_EQ(u.sink.starts, (std::vector<std::uint32_t>{c.total}));
        // The layout block of a new layout goes before the start and is not counted.
        EXPECT_EQ(u.sink.writtenBytes - u.sink.writtenAtStart, c.total);
        EXPECT_EQ(u.unit.transferTotal.load(), c.total);
        EXPECT_EQ(u.unit.transferWritten.load(), c.total);
        EXPECT_EQ(u.unit.transferBusy.load(), 0u);
    }
}

TEST(WriteUpdate, APackageLargerThanTheUnitGives3WithNothingSent) {
    struct Case {
        const char* name;
        std::uint32_t firstLayoutWord;
        std::size_t database;
    };
    const Case cases[] = {
        {"database past the capacity", 0, 0x100000},
        {"first layout word that would wrap the end", 0xFFFFF000, 0x1000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SimUnit u(1011, 0x100000);
        ASSERT_TRUE(u.ConnectAndRead());
        const UpdatePackage package =
            WithModels(test::MakePackage(0x1000, c.database, 0x1000), true,
                       {test::MakeModelEntry(test::ModelId("KV01"), test::Pattern(100, 1),
                                             c.firstLayoutWord)});
        EXPECT_EQ(u.unit.WriteUpdate(package), WriteResult::kDoesNotFit);
        EXPECT_TRUE(u.NewCommands().empty());
        EXPECT_TRUE(u.sink.starts.empty());
    }
}

TEST(WriteUpdate, TheFixedLayoutTakesAMainImageOf2MiBButNotOneBlockMore) {
    for (const std::size_t mainSize : {std::size_t{0x200000}, std::size_t{0x200001}}) {
        SCOPED_TRACE(mainSize);
        SimUnit u;
        ASSERT_TRUE(u.ConnectAndRead());
        const UpdatePackage package =
            WithModels(test::MakePackage(0, 0, mainSize), false,
                       {test::MakeModelEntry(test::ModelId("KV01"), test::Pattern(100, 1))});
        const WriteResult expected =
            mainSize == 0x200000 ? WriteResult::kWritten : WriteResult::kDoesNotFit;
        EXPECT_EQ(u.unit.WriteUpdate(package), expected);
        if (expected == WriteResult::kWritten) {
            EXPECT_EQ(u.Bytes(kBank1, 0xDE000, 0x200000), Decoded(package.main));
        } else {
            EXPECT_TRUE(u.NewCommands().empty());
        }
    }
}

TEST(WriteUpdate, AOneEntryTableServesAnyModelAndALongerTableOnlyItsOwn) {
    for (const bool single : {true, false}) {
        SCOPED_TRACE(single);
        SimUnit u;
        ASSERT_TRUE(u.ConnectAndRead());  // model id 0
        std::vector<ModelEntry> models = {
            test::MakeModelEntry(test::ModelId("KV07"), test::Pattern(300, 3))};
        if (!single)
            models.push_back(test::MakeModelEntry(test::ModelId("KV08"), test::Pattern(300, 4)));
        const UpdatePackage package = WithModels(test::MakePackage(0, 3000, 0), false, models);
        ASSERT_EQ(u.unit.WriteUpdate(package), WriteResult::kWritten);
        const auto header = u.Bytes(kBank1, 0x8000, 256);
        if (single) {
            EXPECT_TRUE(std::equal(header.begin(), header.end(), models[0].blockHeader.begin()));
            EXPECT_EQ(u.Bytes(kBank1, 0x9000, 300), test::Pattern(300, 3));
        } else {
            EXPECT_EQ(header, std::vector<std::uint8_t>(256, 0xFF));
        }
    }
}

TEST(WriteUpdate, WithoutAModelEntryAUnitKeepsItsLayoutWhileEverySectionFitsItsRegion) {
    struct Case {
        const char* name;
        std::size_t database;
        std::size_t auxiliary;
        std::uint32_t auxiliaryRoom;
        WriteResult result;
        std::vector<Write> writes;
    };
    const Case cases[] = {
        {"database filling its region",
         0x3000,
         0,
         0,
         WriteResult::kWritten,
         {{0x26000, 1, 0x3000}}},
        {"database one byte larger than its region", 0x3001, 0, 0, WriteResult::kDoesNotFit, {}},
        // As with the fixed layout, a unit without an auxiliary region takes none.
        {"auxiliary image with no region",
         0x1000,
         0x100,
         0,
         WriteResult::kWritten,
         {{0x26000, 1, 0x1000}}},
        {"auxiliary image larger than its region",
         0x1000,
         0x1100,
         0x1000,
         WriteResult::kDoesNotFit,
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SimUnit u;
        const LayoutRecord record = PlacedRecord(0x2000, 0x2000, 0x3000, c.auxiliaryRoom);
        PutRecord(u, record);
        ASSERT_TRUE(u.ConnectAndRead());
        const UpdatePackage package = test::MakePackage(0, c.database, 0, c.auxiliary);
        EXPECT_EQ(u.unit.WriteUpdate(package), c.result);
        const UpdateCommands commands = Split(u.NewCommands());
        EXPECT_EQ(commands.writes, c.writes);
        EXPECT_TRUE(commands.erases.empty());
        if (c.result == WriteResult::kWritten) {
            EXPECT_EQ(u.unit.layoutRecord, record);
        }
    }
}

TEST(WriteUpdate, TheMainImageFollowsTheAlternateFlagAndTheRegionalDatabase) {
    struct Case {
        std::uint32_t altMainFlag;
        bool regional;
        std::uint32_t sentBytes;
    };
    constexpr Case cases[] = {{0, false, 1024}, {1, false, 1280}, {0, true, 1536}, {7, true, 1792}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.altMainFlag << " " << c.regional);
        SimUnit u;
        ASSERT_TRUE(u.ConnectAndRead());
        UpdatePackage package =
            WithModels(test::MakePackage(0, 3000, 1000), false,
                       {test::MakeModelEntry(1, test::Pattern(10, 1), 0, c.altMainFlag)});
        package.altMain = test::MakeSection(test::Pattern(1200, 6), false);
        package.regionalMain = test::MakeSection(test::Pattern(1500, 7), false);
        package.regionalAltMain = test::MakeSection(test::Pattern(1700, 8), false);
        package.regional = c.regional;
        ASSERT_EQ(u.unit.WriteUpdate(package), WriteResult::kWritten);
        const auto writes = Split(u.NewCommands()).writes;
        const auto main = std::find_if(writes.begin(), writes.end(),
                                       [](const Write& w) { return w.address == 0xDE000; });
        ASSERT_NE(main, writes.end());
        EXPECT_EQ(main->bytes, c.sentBytes);
    }
}

TEST(WriteUpdate, APendingIdentityIsWrittenWhereThePlanPutsIt) {
    SimUnit u;
    u.unit.acceptanceHook = [](CGpsUnit& unit) {
        unit.identityPending = 1;
        return 1;
    };
    ASSERT_TRUE(u.ConnectAndRead());
    const UpdatePackage package = test::MakePackage(0, 3000, 0);
    ASSERT_EQ(u.unit.WriteUpdate(package), WriteResult::kWritten);
    EXPECT_EQ(Split(u.NewCommands()).writes.front(), (Write{0x7000, 0, 256}));
    const auto identity = u.Bytes(kBank0, 0x7000, 256);
    EXPECT_TRUE(std::equal(identity.begin(), identity.end(), package.identity.begin()));
}

TEST(WriteUpdate, EveryInjectedFaultEndsTheUpdateAsFailedNeverAsWritten) {
    struct Case {
        const char* name;
        SimFaults faults;  // report numbers counted from the first report of the update
    };
    const Case cases[] = {
        {"database block refused", {.refuseBlock = 0x2DE0 + 3}},
        {"data report lost", {.dropReport = 10}},
        {"data report corrupted", {.corruptReport = 10}},
        {"reply lost", {.dropReport = 50}},
        {"reply corrupted", {.corruptReport = 50}},
        {"unit stops answering", {.stopAfterReports = 20}},
        {"unit unplugged", {.disconnectAfterReports = 20}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SimUnit u;
        ASSERT_TRUE(u.ConnectAndRead());
        SimFaults faults = c.faults;
        const std::uint64_t before = u.sim->ReportsExchanged();
        for (std::uint64_t* n : {&faults.dropReport, &faults.corruptReport,
                                 &faults.stopAfterReports, &faults.disconnectAfterReports}) {
            if (*n != 0) *n += before;
        }
        u.sim->Faults() = faults;
        // database of 12 blocks: reports 2-49 are its data, 50 its reply
        const UpdatePackage package = test::MakePackage(0, 3000, 0, 0, 512);
        EXPECT_EQ(u.unit.WriteUpdate(package), WriteResult::kFailed);
        EXPECT_EQ(u.unit.transferBusy.load(), 0u);
        EXPECT_EQ(u.unit.transferWritten.load(), u.unit.transferTotal.load());
        const auto base = u.Bytes(kBank0, 0, 512);
        EXPECT_EQ(base, std::vector<std::uint8_t>(512, 0xFF)) << "nothing after the failure";
    }
}

TEST(WriteUpdate, AFailedLayoutStepStopsTheUpdate) {
    {
        SCOPED_TRACE("layout sector erase refused");
        SimUnit u;
        PutRecord(u, PlacedRecord(0x2000, 0x2000, 0x3000, 0));
        ASSERT_TRUE(u.ConnectAndRead());
        u.sim->Faults().refuseBlock = 0x160;
        const UpdatePackage package = WithModels(test::MakePackage(0, 3000, 0), false,
                                                 {test::MakeModelEntry(1, test::Pattern(10, 1))});
        EXPECT_EQ(u.unit.WriteUpdate(package), WriteResult::kFailed);
        EXPECT_EQ(Split(u.NewCommands()).writes.size(), 1u);  // the identity, then nothing
    }
    {
        SCOPED_TRACE("layout block refused");
        SimUnit u;
        ASSERT_TRUE(u.ConnectAndRead());
        u.sim->Faults().refuseBlock = 0x160;
        const UpdatePackage package =
            WithModels(test::MakePackage(3000, 3000, 3000), true,
                       {test::MakeModelEntry(1, test::Pattern(10, 1), 0x1000)});
        EXPECT_EQ(u.unit.WriteUpdate(package), WriteResult::kFailed);
        const UpdateCommands commands = Split(u.NewCommands());
        EXPECT_EQ(commands.writes.size(), 1u);
        EXPECT_TRUE(commands.erases.empty());
    }
}

TEST(WriteUpdate, AFailedPlanLeavesTheUnitObjectWithTheRecordTheUnitHolds) {
    struct Case {
        const char* name;
        std::size_t database;
        std::int64_t refuseBlock;
        WriteResult result;
        // Where a later update without a model table then sends resource, database and main.
        std::vector<Write> next;
    };
    const std::vector<Write> fixed = {{0x16000, 1, 3072}, {0x2DE000, 1, 3072}, {0xDE000, 1, 3072}};
    const Case cases[] = {
        // The new layout's regions would start in the fixed resource region.
        {"new layout past the capacity", 0x3E0000, -1, WriteResult::kDoesNotFit, fixed},
        {"layout block refused", 3000, 0x160, WriteResult::kFailed, fixed},
        // The unit took the layout block: it reads the new layout from now on.
        {"model area erase refused",
         3000,
         0x220,
         WriteResult::kFailed,
         {{0x24000, 1, 3072}, {0x25000, 1, 3072}, {0x23000, 1, 3072}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SimUnit u(1011, 0x400000);
        ASSERT_TRUE(u.ConnectAndRead());
        u.sim->Faults().refuseBlock = c.refuseBlock;
        const UpdatePackage laidOut = WithModels(
            test::MakePackage(3000, c.database, 3000), true,
            {test::MakeModelEntry(test::ModelId("KV01"), test::Pattern(100, 1), 0x1000)});
        EXPECT_EQ(u.unit.WriteUpdate(laidOut), c.result);
        LayoutRecord held;  // stays zero when the unit has no valid layout block
        (void)ParseLayoutBlock(u.Bytes(kBank0, 0x16000, 256), held);
        EXPECT_EQ(u.unit.layoutRecord, held);

        u.sim->Faults() = {};
        (void)u.NewCommands();
        ASSERT_EQ(u.unit.WriteUpdate(test::MakePackage(3000, 3000, 3000)), WriteResult::kWritten);
        EXPECT_EQ(Split(u.NewCommands()).writes, c.next);
    }
}

TEST(WriteUpdate, AUnitsRecordThatDoesNotHoldTogetherGives3AndNothingIsSent) {
    struct Case {
        const char* name;
        std::size_t field;
        std::uint32_t value;
        WriteResult result;
    };
    // Main 0x22000, resource 0x24000, database 0x26000 (bank 1), auxiliary 0x29000 (bank 0),
    // model image 0x19000 (bank 1), on a unit of 16 MiB.
    const Case cases[] = {
        {"as laid out", LayoutRecord::kEnd, 0x2A000, WriteResult::kWritten},
        {"a sized region with no start", LayoutRecord::kMainStart, 0, WriteResult::kDoesNotFit},
        {"a region over the layout sector", LayoutRecord::kResourceStart, 0x16000,
         WriteResult::kDoesNotFit},
        {"the auxiliary region over the identity", LayoutRecord::kAuxiliaryStart, 0x18000,
         WriteResult::kDoesNotFit},
        {"two regions overlapping", LayoutRecord::kDatabaseStart, 0x25000,
         WriteResult::kDoesNotFit},
        {"a region past the capacity", LayoutRecord::kDatabaseStart, 0xFFF000,
         WriteResult::kDoesNotFit},
        {"a start that is no whole block", LayoutRecord::kMainStart, 0x22010,
         WriteResult::kDoesNotFit},
        {"the model image over the model block", LayoutRecord::kModelImageAddress, 0x9000,
         WriteResult::kDoesNotFit},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SimUnit u;
        LayoutRecord record = PlacedRecord(0x2000, 0x2000, 0x3000, 0x1000);
        record.SetWord(c.field, c.value);
        PutRecord(u, record);
        ASSERT_TRUE(u.ConnectAndRead());
        const UpdatePackage package = test::MakePackage(0x1000, 0x1000, 0x1000, 0x100);
        EXPECT_EQ(u.unit.WriteUpdate(package), c.result);
        if (c.result != WriteResult::kWritten) {
            EXPECT_TRUE(u.NewCommands().empty());
            EXPECT_TRUE(u.sink.starts.empty());
        }
    }
}

// The command a plan step stands for.
CommandFrame StepFrame(const PlanStep& step) {
    if (step.erase) {
        return MakeCommandFrame(CommandCode::kEraseSectors, step.FirstSector(), step.Sectors(), 0,
                                0, 0);
    }
    return MakeCommandFrame(CommandCode::kWriteBlocks, step.address / 256, step.Blocks(),
                            step.wordC, step.bank, step.dataSum);
}

// The commands of one update, up to the reading that closes it.
std::vector<CommandFrame> UpdateFrames(const std::vector<CommandFrame>& commands) {
    std::vector<CommandFrame> out;
    for (const CommandFrame& f : commands) {
        if (f.code == static_cast<std::uint8_t>(CommandCode::kQueryVersion)) break;
        out.push_back(f);
    }
    return out;
}

TEST(PlanUpdate, PlanningSendsNothingAndTheWriteSendsExactlyThePlan) {
    struct Case {
        const char* name;
        bool record;           // the unit holds a layout record
        bool identityPending;  // the acceptance hook marks the identity for writing
        int models;            // 0 none, 1 compact table, 2 extended table
        LayoutAction layout;
        std::vector<PlanPart> parts;
    };
    using P = PlanPart;
    const Case cases[] = {
        {"fixed layout, no model table",
         false,
         false,
         0,
         LayoutAction::kFixed,
         {P::kResource, P::kDatabase, P::kMain, P::kBase}},
        {"the unit's record kept",
         true,
         false,
         0,
         LayoutAction::kKeep,
         {P::kResource, P::kAuxiliary, P::kDatabase, P::kMain, P::kBase}},
        {"compact table: back to the fixed layout",
         true,
         false,
         1,
         LayoutAction::kBackToFixed,
         {P::kIdentity, P::kLayoutSector, P::kResource, P::kDatabase, P::kMain, P::kBase,
          P::kModelHeader, P::kModelData}},
        {"extended table: a new record",
         false,
         true,
         2,
         LayoutAction::kStore,
         {P::kLayoutBlock, P::kModelArea, P::kIdentity, P::kModelImage, P::kResource, P::kAuxiliary,
          P::kDatabase, P::kMain, P::kBase, P::kModelHeader, P::kModelData}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SimUnit u;
        if (c.record) PutRecord(u, PlacedRecord(0x2000, 0x2000, 0x3000, 0x1000));
        if (c.identityPending) {
            u.unit.acceptanceHook = [](CGpsUnit& unit) {
                unit.identityPending = 1;
                return 1;
            };
        }
        ASSERT_TRUE(u.ConnectAndRead());
        UpdatePackage package = test::MakePackage(3000, 6000, 5000, 1000, 2048);
        if (c.models != 0) {
            package = WithModels(
                std::move(package), c.models == 2,
                {test::MakeModelEntry(test::ModelId("KV01"), test::Pattern(1500, 7), 0x2000)});
        }

        const UpdatePlan plan = u.unit.PlanUpdate(package);
        EXPECT_TRUE(u.NewCommands().empty());
        ASSERT_EQ(plan.result, WriteResult::kWritten);
        EXPECT_EQ(plan.layout, c.layout);
        std::vector<PlanPart> parts;
        std::vector<CommandFrame> frames;
        for (const PlanStep& step : plan.steps) {
            parts.push_back(step.part);
            frames.push_back(StepFrame(step));
        }
        EXPECT_EQ(parts, c.parts);

        UpdatePlan used;
        ASSERT_EQ(u.unit.WriteUpdate(package, &used), WriteResult::kWritten);
        EXPECT_EQ(used, plan);
        EXPECT_EQ(UpdateFrames(u.NewCommands()), frames);
        EXPECT_EQ(u.sink.starts, (std::vector<std::uint32_t>{plan.TransferTotal()}));
        EXPECT_EQ(u.unit.layoutRecord, plan.record);
    }
}

TEST(PlanUpdate, AMisfitSaysWhatDoesNotFitAndWhereAndNothingIsSent) {
    struct Case {
        const char* name;
        std::uint32_t capacity;
        bool record;
        int models;  // 0 none, 1 compact, 2 extended
        std::size_t main;
        std::size_t database;
        Misfit misfit;
    };
    const Case cases[] = {
        {"main image past the fixed room",
         0x1000000,
         false,
         1,
         0x200001,
         0x1000,
         {PlanPart::kMain, 0x201000, 0x200000}},
        {"database past the fixed room",
         0x1000000,
         false,
         0,
         0x1000,
         0x522001,
         {PlanPart::kDatabase, 0x523000, 0x522000}},
        {"database past its region in the unit's record",
         0x1000000,
         true,
         0,
         0x1000,
         0x3001,
         {PlanPart::kDatabase, 0x4000, 0x3000}},
        {"a new layout past the capacity",
         0x100000,
         false,
         2,
         0x1000,
         0x100000,
         {PlanPart::kLayoutEnd, 0x22000 + 0x1000 + 0x1000 + 0x100000, 0x100000}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SimUnit u(1011, c.capacity);
        if (c.record) PutRecord(u, PlacedRecord(0x2000, 0x2000, 0x3000, 0x1000));
        ASSERT_TRUE(u.ConnectAndRead());
        UpdatePackage package = test::MakePackage(0x1000, c.database, c.main);
        if (c.models != 0) {
            package =
                WithModels(std::move(package), c.models == 2,
                           {test::MakeModelEntry(test::ModelId("KV01"), test::Pattern(10, 1))});
        }
        const UpdatePlan plan = u.unit.PlanUpdate(package);
        EXPECT_EQ(plan.result, WriteResult::kDoesNotFit);
        EXPECT_EQ(plan.misfit, c.misfit);
        EXPECT_TRUE(plan.steps.empty());
        EXPECT_EQ(u.unit.WriteUpdate(package), WriteResult::kDoesNotFit);
        EXPECT_TRUE(u.NewCommands().empty());
    }
}

TEST(UnitSettings, WriteSettingsStoresTheSumOfTheUnitsLayoutAndTheWholeBlock) {
    for (int layout : {1, 2, 3, 4}) {
        SCOPED_TRACE(layout);
        SimUnit u;
        ASSERT_TRUE(u.ConnectAndRead());
        u.unit.settingsFormat = layout;
        SettingsBlock block;
        const auto pattern = test::Pattern(256, 11);
        std::copy(pattern.begin(), pattern.end(), block.bytes.begin());
        ASSERT_TRUE(u.unit.WriteSettings(&block));
        const auto stored = u.Bytes(kBank0, 0x11000, 256);
        const auto length = SettingsSumLength(layout);
        EXPECT_EQ(GetU32(stored.data()), ByteSum(std::span(stored).subspan(4, length)));
        EXPECT_TRUE(std::equal(stored.begin() + 4, stored.end(), pattern.begin() + 4));
    }
    SimUnit refused;
    ASSERT_TRUE(refused.ConnectAndRead());
    refused.sim->Faults().refuseBlock = 0x110;
    EXPECT_FALSE(refused.unit.WriteSettings());
}

TEST(UnitSettings, TheClosingCommandsAndTheSettingsEraseGoOutAsFramed) {
    SimUnit u;
    u.Put(kBank0, 0x11000, std::vector<std::uint8_t>(4096, 0));
    ASSERT_TRUE(u.ConnectAndRead());
    EXPECT_TRUE(u.unit.EraseSettingsSector());
    EXPECT_TRUE(u.unit.SendSettingsDone());
    EXPECT_TRUE(u.unit.FinishUpdate());
    EXPECT_EQ(u.NewCommands(),
              (std::vector<CommandFrame>{
                  MakeCommandFrame(CommandCode::kEraseSectors, 17, 1, 0, 0, 0),
                  MakeCommandFrame(CommandCode::kSettingsDone, kMagicA, kMagicB, 0, 0, 0),
                  MakeCommandFrame(CommandCode::kFinishUpdate, 0, 0, 0, 0, 0)}));
    EXPECT_EQ(u.Bytes(kBank0, 0x11000, 4096), std::vector<std::uint8_t>(4096, 0xFF));
    u.unit.link.CloseHandles();
    EXPECT_FALSE(u.unit.FinishUpdate());
}

TEST(UnitSettings, ASlowEraseIsWaitedForUpTo500MsPerSectorBeyondTheBase) {
    SimUnit u;
    ASSERT_TRUE(u.ConnectAndRead());
    u.unit.link.SetTimeoutMs(20);
    u.sim->Faults().eraseMsPerSector = 100;
    EXPECT_TRUE(u.unit.EraseSettingsSector());
    u.sim->Faults().eraseMsPerSector = 600;
    EXPECT_FALSE(u.unit.EraseSettingsSector());
}

}  // namespace
}  // namespace kivrel
