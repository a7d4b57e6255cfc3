// A regional database replaces the file's own: the chosen provinces' records must all be there,
// in key order with negative keys first, scrambled and summed as the unit checks them.

#include "package/regional_database.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>

#include "base/byte_sum.h"
#include "base/le_bytes.h"
#include "package/scrambler.h"
#include "package_test_support.h"

namespace kivrel {
namespace {

using Flags = std::array<std::int32_t, kProvinceCount>;

std::vector<std::uint8_t> Record(std::uint32_t first, std::uint32_t second, std::uint32_t third) {
    std::vector<std::uint8_t> record(12);
    PutU32(record.data(), first);
    PutU32(record.data() + 4, second);
    PutU32(record.data() + 8, third);
    return record;
}

ProvinceEntry Entry(std::string_view gbkName,
                    const std::vector<std::vector<std::uint8_t>>& records) {
    ProvinceEntry entry;
    std::copy(gbkName.begin(), gbkName.end(), entry.name.begin());
    for (const auto& record : records) {
        entry.records.insert(entry.records.end(), record.begin(), record.end());
    }
    entry.recordCount = static_cast<std::uint32_t>(records.size());
    return entry;
}

std::vector<std::uint8_t> PlainBlock(const UpdatePackage& package) {
    std::vector<std::uint8_t> block(package.database.bytes.begin(),
                                    package.database.bytes.begin() + package.database.recordedSize);
    UnscrambleBuffer(block);
    return block;
}

TEST(RegionalDatabase, KeyIsTheSignedMagnitudeOfTheSecondWord) {
    struct Case {
        std::uint32_t word;
        std::int32_t key;
    };
    constexpr Case cases[] = {
        {0x00000040, 1},         {0x0000007F, 1},  // bits 0-5 do not count
        {0x80000040, -1},        {0x80000000, 0},  // negative zero
        {0x7FFFFFC0, 0x1FFFFFF}, {0xFFFFFFFF, -0x1FFFFFF},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.word);
        EXPECT_EQ(PointSortKey(c.word), c.key);
    }
}

TEST(RegionalDatabase, WithNoProvinceChosenIsAnEightByteBlockPaddedTo256) {
    UpdatePackage package;
    package.provinceTag = {1, 2, 3, 4};
    package.provinces.push_back(Entry(kProvinceNames[0].gbk, {Record(1, 2, 3)}));
    package.database.bytes.assign(1024, 0);
    const Flags none{};
    ASSERT_TRUE(BuildRegionalDatabase(package, none));
    EXPECT_TRUE(package.regional);
    ASSERT_EQ(package.database.PaddedLength(), 256u);
    EXPECT_EQ(package.database.recordedSize, 8u);
    EXPECT_EQ(PlainBlock(package), (std::vector<std::uint8_t>{1, 2, 3, 4, 0, 0, 0, 0}));
    EXPECT_EQ(package.database.checksum, 10u + 248u * 255u);
    EXPECT_TRUE(std::all_of(package.database.bytes.begin() + 8, package.database.bytes.end(),
                            [](std::uint8_t b) { return b == 0xFF; }));
}

TEST(RegionalDatabase, TakesTheFirstEntryOfEachChosenProvinceAndSortsByKey) {
    UpdatePackage package;
    package.provinceTag = {9, 9, 9, 9};
    const auto beijing = kProvinceNames[0].gbk;
    const auto shanghai = kProvinceNames[1].gbk;
    const auto tianjin = kProvinceNames[2].gbk;
    package.provinces = {
        Entry(shanghai, {Record(0xA1, 0x80000000 | (5u << 6), 0), Record(0xA2, 3u << 6 | 0x3F, 0)}),
        Entry(beijing, {Record(0xB1, 0x80000000 | (7u << 6), 0), Record(0xB2, 0, 0),
                        Record(0xB3, 9u << 6, 0)}),
        Entry(beijing, {Record(0xEE, 1, 1)}),  // a second entry of the same name is not used
        Entry(tianjin, {Record(0xCC, 1, 1)}),  // not chosen
    };
    Flags flags{};
    flags[0] = 1;
    flags[1] = -5;  // any nonzero flag chooses
    flags[30] = 1;  // a province the file does not carry adds nothing
    ASSERT_TRUE(BuildRegionalDatabase(package, flags));

    const std::vector<std::uint8_t> block = PlainBlock(package);
    ASSERT_EQ(block.size(), 8u + 5 * 12);
    EXPECT_EQ(GetU32(block.data()), 0x09090909u);
    EXPECT_EQ(GetU32(block.data() + 4), 5u);
    std::vector<std::uint32_t> firstWords;
    std::vector<std::int32_t> keys;
    for (std::size_t at = 8; at < block.size(); at += 12) {
        firstWords.push_back(GetU32(block.data() + at));
        keys.push_back(PointSortKey(GetU32(block.data() + at + 4)));
    }
    EXPECT_EQ(keys, (std::vector<std::int32_t>{-7, -5, 0, 3, 9}));
    EXPECT_EQ(firstWords, (std::vector<std::uint32_t>{0xB1, 0xA1, 0xB2, 0xA2, 0xB3}));
    EXPECT_EQ(package.database.checksum,
              ByteSum(block) + static_cast<std::uint32_t>(256 - block.size()) * 255u);
}

TEST(RegionalDatabase, ANameFillingItsWholeFieldMatchesNoProvince) {
    UpdatePackage package;
    std::string longName(kProvinceNames[0].gbk);
    longName.resize(kProvinceNameBytes, 'x');  // no zero byte inside the field
    package.provinces.push_back(Entry(longName, {Record(1, 2, 3)}));
    package.provinces[0].name[kProvinceNameBytes] = 'y';  // even with bytes after the field
    Flags flags{};
    flags[0] = 1;
    ASSERT_TRUE(BuildRegionalDatabase(package, flags));
    EXPECT_EQ(package.database.recordedSize, 8u);
}

TEST(RegionalDatabase, BuildsFromALoadedSampleFile) {
    const PackageContents contents = test::SmallContents();
    UpdatePackage package;
    ASSERT_TRUE(LoadPackageBytes(package, WritePackage(contents).bytes));
    Flags flags{};
    flags[4] = flags[33] = 1;
    ASSERT_TRUE(BuildRegionalDatabase(package, flags));
    const std::vector<std::uint8_t> block = PlainBlock(package);
    ASSERT_EQ(block.size(), 8u + 12 * 12);
    std::vector<std::uint8_t> expected = contents.provinces[4].records;
    expected.insert(expected.end(), contents.provinces[33].records.begin(),
                    contents.provinces[33].records.end());
    std::vector<std::vector<std::uint8_t>> got, want;
    for (std::size_t at = 0; at < 12 * 12; at += 12) {
        got.emplace_back(block.begin() + 8 + static_cast<std::ptrdiff_t>(at),
                         block.begin() + 8 + static_cast<std::ptrdiff_t>(at) + 12);
        want.emplace_back(expected.begin() + static_cast<std::ptrdiff_t>(at),
                          expected.begin() + static_cast<std::ptrdiff_t>(at) + 12);
    }
    EXPECT_TRUE(std::is_permutation(got.begin(), got.end(), want.begin(), want.end()));
    EXPECT_TRUE(std::is_sorted(got.begin(), got.end(), [](const auto& a, const auto& b) {
        return PointSortKey(GetU32(a.data() + 4)) < PointSortKey(GetU32(b.data() + 4));
    }));
}

}  // namespace
}  // namespace kivrel
