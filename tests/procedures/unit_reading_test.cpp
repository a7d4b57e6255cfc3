// Opening and reading a unit as both programs do: each way a reading can end, what is closed,
// what a unit of another vendor is sent, and that only looking changes nothing in the unit.

#include "procedures/unit_reading.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "base/text.h"
#include "device/gps_unit.h"
#include "device/sim/sim_directory.h"
#include "package/vendor_config.h"
#include "procedures/unit_files.h"
#include "tests/device/device_test_support.h"

namespace kivrel {
namespace {

namespace fs = std::filesystem;

// A vendor build that takes only units whose identity block begins with its tag.
VendorConfig OtherVendor() {
    VendorConfig vendor = DefaultVendorConfig();
    vendor.toolTag = MakeToolTag("KIVRL test tool!");
    vendor.compatibility = {};
    return vendor;
}

// A unit whose identity block names another brand.
void MakeForeign(test::SimUnit& u) {
    std::vector<std::uint8_t> identity(256, 0x20);
    const std::string_view tag = "SOMEONE ELSE    ";
    std::copy(tag.begin(), tag.end(), identity.begin());
    u.Put(kBank0, kFixedIdentityAddress, identity);
}

bool SentAbandon(test::SimUnit& u) {
    for (const CommandFrame& frame : u.NewCommands()) {
        if (frame.code == static_cast<std::uint8_t>(CommandCode::kAbandonUnit)) return true;
    }
    return false;
}

TEST(UnitReading, EndsAsTheUnitAnswersAndClosesWhatCannotBeUsed) {
    struct Case {
        const char* name;
        std::uint64_t dropReport;
        std::uint64_t stopAfterReports;
        ReadingResult result;
        std::string_view fault;
        bool connectedAfter;
    };
    const Case cases[] = {
        {"a whole reading", 0, 0, ReadingResult::kRead, {}, true},
        {"a lost report of the layout block", 8, 0, ReadingResult::kIncomplete, kReadingLayoutBlock,
         false},
        {"a unit that never answers", 0, 1, ReadingResult::kSilent, kReadingSilent, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::SimUnit u;
        u.sim->Faults().dropReport = c.dropReport;
        u.sim->Faults().stopAfterReports = c.stopAfterReports;
        u.Connect();
        const UnitReading reading = ReadUnit(u.unit, DefaultVendorConfig());
        EXPECT_EQ(reading.result, c.result);
        EXPECT_EQ(reading.fault, c.fault);
        EXPECT_EQ(u.unit.Connected(), c.connectedAfter);
        EXPECT_EQ(ReadingFailureText(reading).empty(), c.result == ReadingResult::kRead);
        if (c.result == ReadingResult::kRead) continue;
        // Both programs name the step, and the window says how to read the unit afresh.
        EXPECT_NE(ReadingFailureText(reading).find(c.fault), std::string::npos);
        EXPECT_NE(ReadingFailureBarText(reading).find(L"plug it in again"), std::wstring::npos);
    }
}

TEST(UnitReading, AUnitOfAnotherVendorIsAbandonedWhenUsedAndOnlyNotedWhenLookedAt) {
    const VendorConfig vendor = OtherVendor();
    {
        test::SimUnit u;
        MakeForeign(u);
        u.Connect();
        const UnitReading reading = ReadUnit(u.unit, vendor);
        EXPECT_EQ(reading.result, ReadingResult::kRefused);
        EXPECT_FALSE(u.unit.Connected());
        EXPECT_TRUE(SentAbandon(u));
        EXPECT_EQ(ReadingFailureText(reading), kTextUnitRefused);
        EXPECT_EQ(ReadingFailureBarText(reading), L"");  // the window simply stays unconnected
    }
    {
        test::SimUnit u;
        MakeForeign(u);
        u.Connect();
        const UnitReading reading = ReadUnit(u.unit, vendor, ReadingMode::kLookOnly);
        EXPECT_EQ(reading.result, ReadingResult::kRefused);
        EXPECT_TRUE(u.unit.Connected());
        EXPECT_FALSE(SentAbandon(u));
        EXPECT_TRUE(u.unit.ReadingFault().empty());  // everything was read
        // The unit keeps the vendor check for whatever comes after the look.
        ASSERT_TRUE(u.unit.acceptanceHook);
        EXPECT_EQ(u.unit.acceptanceHook(u.unit), 0);
    }
}

TEST(UnitReading, OpensTheUnitTheDeviceOptionNamesOrSaysWhy) {
    const fs::path dir = fs::temp_directory_path() / "kivrel-unit-reading-open";
    fs::remove_all(dir);
    ASSERT_EQ(CreateSimDirectory(dir, 1011, 0x400000), "");
    CGpsUnit unit;
    UnitLinkOptions options;
    options.device = "sim:" + dir.string();
    options.timeoutMs = 1234;
    ASSERT_EQ(OpenUnit(unit, options, nullptr), "");
    EXPECT_TRUE(unit.Connected());
    EXPECT_EQ(unit.link.TimeoutMs(), 1234u);
    EXPECT_EQ(ReadUnit(unit, DefaultVendorConfig()).result, ReadingResult::kRead);
    EXPECT_EQ(unit.capacity, 0x400000u);
    unit.link.CloseHandles();

    CGpsUnit other;
    options.device = "usb";
    EXPECT_NE(OpenUnit(other, options, nullptr), "");
    EXPECT_FALSE(other.Connected());
    fs::remove_all(dir);
}

TEST(UnitFiles, AUnitsFolderIsNamedByItsModelAndIdentity) {
    std::array<std::uint8_t, 256> identity{};
    const std::uint32_t kv01 = 'K' | 'V' << 8 | '0' << 16 | std::uint32_t{'1'} << 24;
    const std::wstring name = UnitFolderName(kv01, identity);
    EXPECT_TRUE(name.starts_with(L"KV01-")) << WideToUtf8(name);
    EXPECT_EQ(name.size(), 5u + 16u);
    EXPECT_EQ(UnitFolderName(kv01, identity), name);
    identity[255] = 1;
    EXPECT_NE(UnitFolderName(kv01, identity), name);
    // A model id that is no text is written as its number.
    EXPECT_TRUE(UnitFolderName(0xFFFFFFFF, identity).starts_with(L"ffffffff-"));
    EXPECT_TRUE(UnitFolderName(0, identity).starts_with(L"00000000-"));
}

}  // namespace
}  // namespace kivrel
