// The settings block decides which window opens and what the unit stores: a wrong layout or sum
// writes garbage into the unit's settings.

#include "settings_block/settings_block.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <numeric>

#include "base/le_bytes.h"
#include "settings_block/band_table.h"

namespace kivrel {
namespace {

const std::array<std::uint8_t, 256> kPlainIdentity{};

SettingsBlock PatternBlock() {
    SettingsBlock block;
    for (std::size_t i = 4; i < block.bytes.size(); ++i) {
        block.bytes[i] = static_cast<std::uint8_t>(i * 7 + 3);
    }
    PutU32(block.bytes.data() + 59, 0);  // no marker unless a test puts one
    return block;
}

std::uint32_t SumOfBytes(const SettingsBlock& block, std::size_t from, std::size_t to) {
    return std::accumulate(block.bytes.begin() + from, block.bytes.begin() + to + 1, 0u);
}

TEST(SettingsBlock, SumLengthsFollowTheLayoutWithOutOfRangeLayoutsTakingTheNearest) {
    struct Case {
        int layout;
        std::size_t length;
    };
    constexpr Case cases[] = {{-1, 24}, {0, 24}, {1, 24}, {2, 72}, {3, 170}, {4, 59}, {9, 59}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.layout);
        EXPECT_EQ(SettingsSumLength(c.layout), c.length);
    }
}

TEST(SettingsBlock, EachLayoutIsRecognisedByItsOwnSum) {
    for (int layout : {1, 2, 3, 4}) {
        SCOPED_TRACE(layout);
        SettingsBlock block = PatternBlock();
        if (layout == 4) PutU32(block.bytes.data() + 59, kSettingsMarker);
        block.StoreSum(layout);
        EXPECT_EQ(RecogniseSettingsLayout(block, kPlainIdentity), layout);
    }
}

TEST(SettingsBlock, MarkerWithAWrongShortSumFallsThroughTo170Then72Then24) {
    for (int layout : {3, 2, 1}) {
        SCOPED_TRACE(layout);
        SettingsBlock block = PatternBlock();
        PutU32(block.bytes.data() + 59, kSettingsMarker);
        block.StoreSum(layout);
        ASSERT_NE(block.StoredSum(), block.ComputeSum(4));
        EXPECT_EQ(RecogniseSettingsLayout(block, kPlainIdentity), layout);
    }
}

TEST(SettingsBlock, ABlockMatchingBoth170And72ByteSumsIsLayout3) {
    SettingsBlock block = PatternBlock();
    std::fill(block.bytes.begin() + 76, block.bytes.begin() + 174, 0);  // 72 == 170 bytes
    block.StoreSum(2);
    EXPECT_EQ(block.ComputeSum(3), block.StoredSum());
    EXPECT_EQ(RecogniseSettingsLayout(block, kPlainIdentity), 3);
}

TEST(SettingsBlock, NoMatchingSumGivesZeroForUxoIdentityAndMinusOneOtherwise) {
    SettingsBlock block = PatternBlock();
    PutU32(block.bytes.data(), 0xDEADBEEF);
    std::array<std::uint8_t, 256> uxo{};
    uxo[0] = 'U';
    uxo[1] = 'X';
    uxo[2] = 'O';
    EXPECT_EQ(RecogniseSettingsLayout(block, uxo), kSettingsUnusableUxo);
    uxo[2] = 'o';
    EXPECT_EQ(RecogniseSettingsLayout(block, uxo), kSettingsUnusable);
    EXPECT_EQ(RecogniseSettingsLayout(block, {}), kSettingsUnusable);
}

TEST(SettingsBlock, StoringALayout2SumCoversBytes4To75Only) {
    SettingsBlock block = PatternBlock();
    block.StoreSum(2);
    EXPECT_EQ(block.StoredSum(), SumOfBytes(block, 4, 75));
    const std::uint32_t before = block.StoredSum();
    block.bytes[76] ^= 0xFF;
    block.bytes[255] ^= 0xFF;
    EXPECT_EQ(block.ComputeSum(2), before);
}

TEST(SettingsBlock, FrequencyRangesLieOutsideTheSumInLayouts3And4) {
    for (int layout : {3, 4}) {
        SCOPED_TRACE(layout);
        SettingsBlock block = PatternBlock();
        const std::uint32_t before = block.ComputeSum(layout);
        for (std::size_t i = 0; i < SettingsBlock::SubBandRoom(layout); ++i) {
            ASSERT_TRUE(block.SetSubBandRange(layout, i, {9000, 9100}));
        }
        EXPECT_EQ(block.ComputeSum(layout), before);
    }
}

TEST(SettingsBlock, LowLayoutFieldsReadAndWriteTheirBytes) {
    SettingsBlock block;
    block.bytes[8] = 0x60;
    block.bytes[10] = static_cast<std::uint8_t>(-12);
    block.bytes[24] = 7;
    block.bytes[25] = 0xFF;
    block.bytes[13] = 1;
    std::memcpy(block.bytes.data() + 28, "V47 ", 4);
    EXPECT_TRUE(block.ShowsRadarFrequency(2));
    EXPECT_TRUE(block.TwelveHourClock(2));
    EXPECT_EQ(block.TimeZone(1), -12);
    EXPECT_EQ(block.DaytimeHour(2), 7);
    EXPECT_EQ(block.NighttimeHour(2), -1);
    EXPECT_TRUE(block.FixedBandEnabled(2));
    EXPECT_FALSE(block.FixedBandEnabled(12));
    EXPECT_EQ(block.ModelCode(2), "V47 ");

    block.SetShowsRadarFrequency(2, false);
    EXPECT_EQ(block.bytes[8], 0x20);  // the other option bits are kept
    block.SetTimeZone(2, 13);
    block.SetNighttimeHour(1, 23);
    block.SetFixedBandEnabled(11, true);
    EXPECT_EQ(block.bytes[10], 13);
    EXPECT_EQ(block.bytes[25], 23);
    EXPECT_EQ(block.bytes[22], 1);
}

TEST(SettingsBlock, HighLayoutFieldsReadAndWriteTheirBytes) {
    SettingsBlock block;
    std::memcpy(block.bytes.data() + 4, "AB", 2);
    PutU32(block.bytes.data() + 8, static_cast<std::uint32_t>(-5));
    block.bytes[16] = 0xC0;
    block.bytes[18] = 8;
    block.bytes[48] = 0xFE;
    block.bytes[50] = 6;
    block.bytes[51] = 20;
    block.bytes[52] = 1;
    block.bytes[24 + 3] = 1;
    EXPECT_EQ(block.TitleText(), "AB");
    EXPECT_EQ(block.ProgramVersion(), -5);
    EXPECT_TRUE(block.FrequencyDisplayOffered());
    EXPECT_TRUE(block.ShowsRadarFrequency(4));
    EXPECT_EQ(block.TimeZone(3), 8);
    EXPECT_EQ(block.RadarType(), -2);
    EXPECT_EQ(block.DaytimeHour(4), 6);
    EXPECT_EQ(block.NighttimeHour(3), 20);
    EXPECT_EQ(block.SubBandDisplay(), 1);
    EXPECT_TRUE(block.SubBandEnabled(3));

    ASSERT_TRUE(block.SetSubBandRange(3, 0, {10500, 10550}));
    EXPECT_EQ(block.bytes[174], 0x04);  // 10500 = 0x2904, little-endian
    EXPECT_EQ(block.bytes[175], 0x29);
    FrequencyRange range;
    ASSERT_TRUE(block.SubBandRange(3, 0, range));
    EXPECT_EQ(range.highMhz, 10550);
    ASSERT_TRUE(block.SetSubBandRange(4, 1, {24000, 24250}));
    EXPECT_EQ(block.bytes[63 + 4], 0xC0);  // 24000 = 0x5DC0
}

TEST(SettingsBlock, SubBandIndicesFromTheUnitNeverReachPastTheBlock) {
    SettingsBlock block;
    for (std::size_t i = 19; i <= 23; ++i) block.bytes[i] = 100;  // S = 500
    EXPECT_EQ(block.SubBands().Total(), 500);
    FrequencyRange range;
    EXPECT_EQ(SettingsBlock::SubBandRoom(3), 20u);
    EXPECT_EQ(SettingsBlock::SubBandRoom(4), 24u);
    EXPECT_FALSE(block.SubBandRange(3, 20, range));
    EXPECT_FALSE(block.SetSubBandRange(4, 24, {1, 2}));
    EXPECT_FALSE(block.SetSubBandEnabled(24, true));
    EXPECT_EQ(block.bytes[48], 0);  // the radar type was not touched

    block.bytes[19] = 0x80;  // a negative count counts as none
    EXPECT_EQ(block.SubBands().x, 0);
}

TEST(SettingsBlock, SubBandNamesNumberGroupsOfMoreThanOneAndCallTheFirstOfSeveralKBandsMtr) {
    SettingsBlock block;
    const std::uint8_t counts[] = {1, 1, 3, 2, 1};
    std::copy(std::begin(counts), std::end(counts), block.bytes.begin() + 19);
    const char* expected[] = {"X Band",   "Ku Band",  "MTR Band",   "K Band", "K Band",
                              "Ka1 Band", "Ka2 Band", "Laser Band", ""};
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(block.SubBandName(i), expected[i]);
    }
    block.bytes[21] = 1;  // a single K band is plain K
    EXPECT_EQ(block.SubBandName(2), "K Band");
}

TEST(SettingsBlock, NetworkTextsFillTheirWholeFieldAndRefuseTextsWithoutRoomForTheZero) {
    SettingsBlock block;
    std::fill(block.bytes.begin() + 53, block.bytes.begin() + 164, 'x');
    ASSERT_TRUE(block.SetApn("cmnet"));
    EXPECT_EQ(block.Apn(), "cmnet");
    EXPECT_EQ(block.bytes[53 + 27], 0);  // zero-filled over the whole width
    EXPECT_EQ(block.bytes[81], 'x');     // the next field is untouched
    EXPECT_TRUE(block.SetPort("123456"));
    EXPECT_FALSE(block.SetPort("1234567"));
    EXPECT_EQ(block.Port(), "123456");
    EXPECT_FALSE(block.SetServer(std::string_view("a\0b", 3)));
    EXPECT_TRUE(block.SetServer(std::string(19, 's')));
    EXPECT_TRUE(block.SetUserName("user"));
    EXPECT_TRUE(block.SetPassword(std::string(27, 'p')));
    EXPECT_EQ(block.Password().size(), 27u);
    EXPECT_EQ(block.UserName(), "user");
}

TEST(BandTable, HoldsTwelveBandsEndingWithTheLaser) {
    EXPECT_EQ(kFixedBands.front().name, "X Band");
    EXPECT_EQ(kFixedBands[2].lowMhz, 22700);
    EXPECT_EQ(kFixedBands[10].highMhz, 36300);
    EXPECT_EQ(kFixedBands.back().name, "Laser Band");
    EXPECT_EQ(kFixedBands.back().highMhz, 0);
}

}  // namespace
}  // namespace kivrel
