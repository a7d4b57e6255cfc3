// Reading the unit decides where an update goes and which settings window opens: a layout
// record, settings layout or identity taken from the wrong place sends data to the wrong
// addresses.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "base/byte_sum.h"
#include "base/le_bytes.h"
#include "device/gps_unit.h"
#include "tests/device/device_test_support.h"

namespace kivrel {
namespace {

using test::SimUnit;

bool Sent(const std::vector<CommandFrame>& commands, CommandCode code) {
    return std::any_of(commands.begin(), commands.end(), [&](const CommandFrame& f) {
        return f.code == static_cast<std::uint8_t>(code);
    });
}

std::vector<std::uint8_t> Identity(const char* tag) {
    std::vector<std::uint8_t> identity(256, ' ');
    std::copy(tag, tag + std::strlen(tag), identity.begin());
    return identity;
}

// A settings block of the given layout whose record words 0 and 51 (layout 4) and 24 (layout
// 2) hold recognisable values; a layout-3 block has the APN "cmnet" where layout 4 keeps word 51.
SettingsBlock SettingsOfLayout(int layout) {
    SettingsBlock block;
    const auto pattern = test::Pattern(256, static_cast<std::uint8_t>(40 + layout));
    std::copy(pattern.begin(), pattern.end(), block.bytes.begin());
    PutU32(block.bytes.data() + 59, layout == 4 ? kSettingsMarker : 0);
    PutU32(block.bytes.data() + 4, test::ModelId("M34X"));
    PutU32(block.bytes.data() + 4 + 51, 203);
    PutU32(block.bytes.data() + 4 + 24, test::ModelId("M2XX"));
    if (layout == 3) {
        EXPECT_TRUE(block.SetApn("cmnet"));
    }
    block.StoreSum(layout);
    return block;
}

LayoutRecord RecordAt(std::uint32_t mainStart, std::uint32_t resourceStart,
                      std::uint32_t databaseStart) {
    LayoutRecord record;
    record.SetWord(LayoutRecord::kMarker, kLayoutMarker);
    record.SetWord(LayoutRecord::kModelId, test::ModelId("QX12"));
    record.SetWord(LayoutRecord::kSettingsRevision, 205);
    record.SetWord(LayoutRecord::kMainStart, mainStart);
    record.SetWord(LayoutRecord::kResourceStart, resourceStart);
    record.SetWord(LayoutRecord::kDatabaseStart, databaseStart);
    return record;
}

std::vector<std::uint8_t> DateBlock(std::size_t wordIndex, std::uint32_t seconds) {
    return test::Dated(std::vector<std::uint8_t>(256, 0), wordIndex, seconds);
}

TEST(ReadUnitInfo, BootVersionDecidesTheCapacityQueryAndTheGoodbyeToARefusedUnit) {
    struct Case {
        std::int32_t boot;
        bool asksCapacity;
        std::uint32_t capacity;
        bool abandonsWhenRefused;
    };
    constexpr Case cases[] = {
        {1009, false, 0x800000, false},
        {1010, false, 0x800000, true},
        {1011, true, 0x1000000, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.boot);
        SimUnit u(c.boot, 0x1000000);
        u.Connect();
        u.unit.ResetUnitInfo();
        ASSERT_TRUE(u.unit.ReadUnitInfo());
        auto commands = u.NewCommands();
        EXPECT_EQ(u.unit.bootVersion, c.boot);
        EXPECT_EQ(u.unit.capacity, c.capacity);
        EXPECT_EQ(Sent(commands, CommandCode::kQueryCapacity), c.asksCapacity);

        u.unit.acceptanceHook = [](CGpsUnit&) { return 0; };
        EXPECT_FALSE(u.unit.ReadUnitInfo());
        commands = u.NewCommands();
        EXPECT_EQ(Sent(commands, CommandCode::kAbandonUnit), c.abandonsWhenRefused);
        EXPECT_FALSE(u.unit.Connected());
        EXPECT_TRUE(u.sim->Violations().empty());
    }
}

IdentityBlock Blank() {
    IdentityBlock blank;
    blank.fill(0xFF);
    return blank;
}

TEST(ReadUnitInfo, AFailedVersionQueryStillAsksTheCapacity) {
    SimUnit u;
    u.sim->Faults().corruptReport = 2;  // the version reply
    ASSERT_TRUE(u.ConnectAndRead());
    EXPECT_EQ(u.unit.bootVersion, -2);
    EXPECT_EQ(u.unit.capacity, 0x1000000u);

    SimUnit unreachable;  // never connected: nothing can be sent
    unreachable.unit.ResetUnitInfo();
    ASSERT_TRUE(unreachable.unit.ReadUnitInfo());
    EXPECT_EQ(unreachable.unit.bootVersion, -1);
    EXPECT_EQ(unreachable.unit.capacity, 0xFFFFFFFFu);
    EXPECT_EQ(unreachable.unit.identity, Blank());
    EXPECT_EQ(unreachable.unit.settingsFormat, -1);
}

TEST(ReadUnitInfo, AValidLayoutBlockMovesTheIdentityAndTheDatesToTheRecordsPlaces) {
    SimUnit u;
    const LayoutRecord record = RecordAt(0x30000, 0x40000, 0x50000);
    const auto block = WriteLayoutBlock(record);
    u.Put(kBank0, 0x16000, {block.begin(), block.end()});
    u.Put(kBank0, 0x18000, Identity("RECORD UNIT"));
    u.Put(kBank0, 0x7000, Identity("FIXED UNIT"));
    const SettingsBlock settings = SettingsOfLayout(3);
    u.Put(kBank0, 0x11000, {settings.bytes.begin(), settings.bytes.end()});
    u.Put(kBank1, 0x30000, DateBlock(1, test::kMainSeconds));
    u.Put(kBank1, 0x40000, DateBlock(0, test::kResourceSeconds));
    u.Put(kBank1, 0x50000, DateBlock(0, test::kDatabaseSeconds));

    ASSERT_TRUE(u.ConnectAndRead());
    EXPECT_TRUE(u.unit.HasLayoutRecord());
    EXPECT_EQ(u.unit.layoutRecord, record);
    EXPECT_EQ(u.unit.modelId, test::ModelId("QX12"));  // the record wins over the settings
    EXPECT_EQ(u.unit.settingsRevision, 205);
    EXPECT_EQ(u.unit.settingsFormat, 3);
    EXPECT_EQ(std::vector<std::uint8_t>(u.unit.identity.begin(), u.unit.identity.end()),
              Identity("RECORD UNIT"));
    EXPECT_EQ(u.unit.mainDate, SecondsToDate(test::kMainSeconds));
    EXPECT_EQ(u.unit.resourceDate, SecondsToDate(test::kResourceSeconds));
    EXPECT_EQ(u.unit.databaseDate, SecondsToDate(test::kDatabaseSeconds));
}

TEST(ReadUnitInfo, ALayoutBlockWithAWrongSumCountsAsAbsent) {
    SimUnit u;
    auto block = WriteLayoutBlock(RecordAt(0x30000, 0x40000, 0x50000));
    block[0] ^= 1;
    u.Put(kBank0, 0x16000, {block.begin(), block.end()});
    u.Put(kBank0, 0x7000, Identity("FIXED UNIT"));
    const SettingsBlock settings = SettingsOfLayout(4);
    u.Put(kBank0, 0x11000, {settings.bytes.begin(), settings.bytes.end()});
    u.Put(kBank1, 0x2DE000, DateBlock(0, test::kDatabaseSeconds));

    ASSERT_TRUE(u.ConnectAndRead());
    EXPECT_FALSE(u.unit.HasLayoutRecord());
    EXPECT_EQ(u.unit.layoutRecord, LayoutRecord{});
    EXPECT_EQ(u.unit.modelId, test::ModelId("M34X"));
    EXPECT_EQ(u.unit.settingsRevision, 203);
    EXPECT_EQ(std::vector<std::uint8_t>(u.unit.identity.begin(), u.unit.identity.end()),
              Identity("FIXED UNIT"));
    EXPECT_EQ(u.unit.databaseDate, SecondsToDate(test::kDatabaseSeconds));
    EXPECT_EQ(u.unit.ReadingFault(), "");  // read twice, the same both times
}

// Taken as it came, a layout block garbled on the wire would send a laid-out unit's update to
// the fixed addresses, which the unit does not read, and a garbled settings block would lose
// the model that decides the layout: either is read again, and two answers make the reading fail.
TEST(ReadUnitInfo, ABlockGarbledOnTheWayIsReadAgainAndTheReadingFails) {
    struct Case {
        const char* name;
        bool laidOut;
        bool settings;
        std::uint64_t corruptReport;  // a data report of the layout (6-9) or settings read
    };
    const Case cases[] = {
        {"layout block", true, true, 7},
        {"erased layout block", false, true, 8},
        {"settings block", false, true, 12},
        {"erased settings block", true, false, 14},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SimUnit u;
        if (c.laidOut) {
            const auto block = WriteLayoutBlock(RecordAt(0x30000, 0x40000, 0x50000));
            u.Put(kBank0, 0x16000, {block.begin(), block.end()});
        }
        if (c.settings) {
            const SettingsBlock settings = SettingsOfLayout(4);
            u.Put(kBank0, 0x11000, {settings.bytes.begin(), settings.bytes.end()});
        }
        u.sim->Faults().corruptReport = c.corruptReport;
        ASSERT_TRUE(u.ConnectAndRead());
        EXPECT_EQ(u.unit.ReadingFault(), kReadingUnsteady);
        EXPECT_EQ(u.unit.WriteUpdate(test::MakePackage(3000, 6000, 4096)), WriteResult::kFailed);
        EXPECT_TRUE(u.NewCommands().empty());  // nothing written

        u.sim->Faults().corruptReport = 0;  // read again on a sound link, it is whole
        ASSERT_TRUE(u.ConnectAndRead());
        EXPECT_EQ(u.unit.ReadingFault(), "");
        EXPECT_EQ(u.unit.HasLayoutRecord(), c.laidOut);
        EXPECT_EQ(u.unit.settingsFormat, c.settings ? 4 : -1);
    }
}

TEST(ReadUnitInfo, WithoutALayoutRecordTheSettingsLayoutSuppliesModelAndRevision) {
    struct Case {
        int layout;
        std::uint32_t modelId;
        std::int32_t revision;
    };
    const Case cases[] = {
        {4, test::ModelId("M34X"), 203},
        {3, test::ModelId("M34X"), 0},  // bytes 55-58 are "net\0" of the APN, no revision
        {2, test::ModelId("M2XX"), 6},
        {1, 0, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.layout);
        SimUnit u;
        const SettingsBlock settings = SettingsOfLayout(c.layout);
        u.Put(kBank0, 0x11000, {settings.bytes.begin(), settings.bytes.end()});
        ASSERT_TRUE(u.ConnectAndRead());
        EXPECT_EQ(u.unit.settingsFormat, c.layout);
        EXPECT_EQ(u.unit.modelId, c.modelId);
        EXPECT_EQ(u.unit.settingsRevision, c.revision);
        EXPECT_EQ(u.unit.settingsBlock, settings);
    }
}

TEST(ReadUnitInfo, AnUnusableSettingsBlockIsJudgedByTheIdentityOfThisReading) {
    SimUnit u;
    u.Put(kBank0, 0x7000, Identity("UXO"));
    ASSERT_TRUE(u.ConnectAndRead());  // erased settings block: no sum matches
    EXPECT_EQ(u.unit.settingsFormat, 0);
    EXPECT_EQ(u.unit.settingsRevision, 0);

    u.Put(kBank0, 0x7000, Identity("OTHER"));  // another unit, read without a reset
    ASSERT_TRUE(u.unit.ReadUnitInfo());
    EXPECT_EQ(u.unit.settingsFormat, -1);
}

TEST(ReadUnitInfo, UnreadableBlocksLeaveTheirItemsAsTheyWere) {
    SimUnit u;
    u.Put(kBank0, 0x7000, Identity("UNIT"));
    const SettingsBlock settings = SettingsOfLayout(2);
    u.Put(kBank0, 0x11000, {settings.bytes.begin(), settings.bytes.end()});
    u.Put(kBank1, 0x16000, DateBlock(0, test::kResourceSeconds));
    ASSERT_TRUE(u.ConnectAndRead());
    ASSERT_EQ(u.unit.settingsFormat, 2);

    u.sim->Faults().refuseBlock = 0x70;  // the identity block
    ASSERT_TRUE(u.unit.ReadUnitInfo());
    EXPECT_EQ(u.unit.identity, Blank());
    u.sim->Faults().refuseBlock = 0x110;  // the settings block
    ASSERT_TRUE(u.unit.ReadUnitInfo());
    EXPECT_EQ(u.unit.settingsFormat, 2);
    EXPECT_EQ(u.unit.settingsBlock, settings);
    u.sim->Faults().refuseBlock = 0x160;  // bank 1's resource block shares the number
    u.Put(kBank1, 0x16000, DateBlock(0, 0));
    ASSERT_TRUE(u.unit.ReadUnitInfo());
    EXPECT_EQ(u.unit.resourceDate, SecondsToDate(test::kResourceSeconds));
}

TEST(ReadUnitInfo, AReadingThatDidNotComeWholeIsNamedAndNothingIsWrittenUntilAWholeOne) {
    struct Case {
        const char* name;
        SimFaults faults;  // reports 1-4 the two queries, 5-10 the layout block, 11-16 the
                           // settings block, 17-22 the identity block
        std::string_view fault;
    };
    const Case cases[] = {
        {"version reply damaged", {.corruptReport = 2}, kReadingBootVersion},
        {"capacity reply lost", {.dropReport = 4}, kReadingCapacity},
        {"layout data report lost", {.dropReport = 8}, kReadingLayoutBlock},
        {"layout reply damaged", {.corruptReport = 10}, kReadingLayoutBlock},
        {"settings data report lost", {.dropReport = 13}, kReadingSettingsBlock},
        {"identity reply damaged", {.corruptReport = 22}, kReadingIdentityBlock},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SimUnit u;
        const auto block = WriteLayoutBlock(RecordAt(0x30000, 0x40000, 0x50000));
        u.Put(kBank0, 0x16000, {block.begin(), block.end()});
        u.sim->Faults() = c.faults;
        ASSERT_TRUE(u.ConnectAndRead());  // not refused: read, but not whole
        EXPECT_EQ(u.unit.ReadingFault(), c.fault);

        u.sim->Faults() = {};
        const UpdatePackage package = test::MakePackage(3000, 3000, 3000);
        EXPECT_EQ(u.unit.WriteUpdate(package), WriteResult::kFailed);
        EXPECT_TRUE(u.NewCommands().empty());
        EXPECT_TRUE(u.sink.starts.empty());

        ASSERT_TRUE(u.ConnectAndRead());
        EXPECT_EQ(u.unit.ReadingFault(), "");
        EXPECT_TRUE(u.unit.HasLayoutRecord());
    }
}

TEST(ReadUnitInfo, ACapacityIsAWholeNumberOfSectorsOfAPlausibleSize) {
    for (const std::uint32_t good : {0x1000u, 0x20000u, 0x800000u, 0x1000000u, 0x40000000u}) {
        EXPECT_TRUE(PlausibleCapacity(good)) << good;
    }
    // 0xFFFFFFFF and 0xFFFFFFFE are what a failed query leaves.
    for (const std::uint32_t bad :
         {0u, 0x1001u, 0x1000100u, 0x40001000u, 0xFFFFF000u, 0xFFFFFFFEu, 0xFFFFFFFFu}) {
        EXPECT_FALSE(PlausibleCapacity(bad)) << bad;
    }
}

TEST(ReadUnitInfo, AReplyThatComesAfterItsBoundAnswersNoLaterCommand) {
    {
        SCOPED_TRACE("the version reply comes while the capacity is asked");
        SimUnit u;
        u.sim->Faults().lateReport = 2;
        u.sim->Faults().lateMs = 150;
        u.Connect();
        u.unit.link.SetTimeoutMs(100);
        u.unit.ResetUnitInfo();
        ASSERT_TRUE(u.unit.ReadUnitInfo());
        EXPECT_EQ(u.unit.bootVersion, -2);
        EXPECT_EQ(u.unit.capacity, 0x1000000u);  // not the boot version
        EXPECT_EQ(u.unit.ReadingFault(), kReadingBootVersion);
    }
    for (const bool replyWaiting : {false, true}) {
        SCOPED_TRACE(replyWaiting ? "an erase reply waiting when the reading starts"
                                  : "an erase reply coming during the reading");
        SimUnit u;
        u.Put(kBank0, 0x7000, Identity("UNIT"));
        ASSERT_TRUE(u.ConnectAndRead());
        u.unit.link.SetTimeoutMs(20);
        u.sim->Faults().eraseMsPerSector = 600;
        EXPECT_FALSE(u.unit.EraseSettingsSector());  // given up after 20 + 500 ms
        if (replyWaiting) {
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
        } else {
            u.unit.link.SetTimeoutMs(200);
        }
        ASSERT_TRUE(u.unit.ReadUnitInfo());
        EXPECT_EQ(u.unit.ReadingFault(), "");
        EXPECT_EQ(u.unit.bootVersion, 1011);
        EXPECT_EQ(u.unit.capacity, 0x1000000u);
        EXPECT_EQ(std::vector<std::uint8_t>(u.unit.identity.begin(), u.unit.identity.end()),
                  Identity("UNIT"));
        EXPECT_TRUE(u.sim->Violations().empty());
    }
}

TEST(ReadUnitInfo, TheAcceptanceHookSeesTheIdentityAndMayMarkItForWriting) {
    SimUnit u;
    u.unit.acceptanceHook = [](CGpsUnit& unit) {
        if (unit.identity == Blank()) unit.identityPending = 1;
        return 1;
    };
    ASSERT_TRUE(u.ConnectAndRead());
    EXPECT_EQ(u.unit.identityPending, 1);
    EXPECT_TRUE(u.unit.Connected());
    u.unit.ResetUnitInfo();
    EXPECT_EQ(u.unit.identityPending, 0);
    EXPECT_EQ(u.unit.settingsFormat, -1);
}

}  // namespace
}  // namespace kivrel
