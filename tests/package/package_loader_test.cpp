// Update files come from anywhere: the loader must rebuild exactly what the writer laid out, in
// any form and order, and refuse or leave out what does not fit, without reading outside the
// file.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>

#include "base/byte_sum.h"
#include "base/le_bytes.h"
#include "base/text.h"
#include "package/package_index.h"
#include "package/package_writer.h"
#include "package/scrambler.h"
#include "package/update_package.h"
#include "package_test_support.h"

namespace kivrel {
namespace {

using test::PaddedStored;
using test::Pattern;
using test::PlainRuleChecksum;

UpdatePackage Load(const std::vector<std::uint8_t>& bytes, bool expectLoaded = true) {
    UpdatePackage package;
    EXPECT_EQ(LoadPackageBytes(package, bytes), expectLoaded);
    return package;
}

void ExpectPlainRuleSection(const SectionBuffer& section, const std::vector<std::uint8_t>& plain) {
    EXPECT_EQ(section.bytes, PaddedStored(plain));
    EXPECT_EQ(section.recordedSize, plain.size());
    EXPECT_EQ(section.checksum, PlainRuleChecksum(plain));
}

void ExpectStoredRuleSection(const SectionBuffer& section, const std::vector<std::uint8_t>& plain) {
    const std::vector<std::uint8_t> stored = PaddedStored(plain);
    EXPECT_EQ(section.bytes, stored);
    EXPECT_EQ(section.recordedSize, 0u);
    EXPECT_EQ(section.checksum, ByteSum(stored));
}

void ExpectModels(const UpdatePackage& package, const PackageContents& contents) {
    ASSERT_TRUE(package.modelTablePresent);
    EXPECT_EQ(package.modelTableExtended, contents.extendedModelTable);
    ASSERT_EQ(package.models.size(), contents.models.size());
    for (std::size_t i = 0; i < contents.models.size(); ++i) {
        SCOPED_TRACE(i);
        const ModelEntrySource& source = contents.models[i];
        const ModelEntry& entry = package.models[i];
        EXPECT_EQ(entry.modelId, source.modelId);
        const bool extended = contents.extendedModelTable;
        EXPECT_EQ(entry.firstLayoutWord, extended ? source.firstLayoutWord : 0u);
        EXPECT_EQ(entry.secondLayoutWord, extended ? source.secondLayoutWord : 0u);
        EXPECT_EQ(entry.altMainFlag, extended ? source.altMainFlag : 0u);
        ExpectPlainRuleSection(entry.data, source.data);
        EXPECT_EQ(GetU32(entry.blockHeader.data()), 0x12345678u);
        EXPECT_EQ(GetU32(entry.blockHeader.data() + 4), source.data.size());
        EXPECT_EQ(GetU32(entry.blockHeader.data() + 8), ByteSum(source.data));
        EXPECT_TRUE(std::all_of(entry.blockHeader.begin() + 12, entry.blockHeader.end(),
                                [](std::uint8_t b) { return b == 0xFF; }));
        std::vector<std::uint8_t> flash(0x9000, 0xFF);
        std::copy(entry.blockHeader.begin(), entry.blockHeader.end(), flash.begin());
        std::copy(source.data.begin(), source.data.end(), flash.begin() + 4096);
        EXPECT_EQ(entry.flashImage, flash);
    }
}

void ExpectProvinces(const UpdatePackage& package, const PackageContents& contents) {
    EXPECT_EQ(package.provinceTag, contents.provinceTag);
    ASSERT_EQ(package.provinces.size(), contents.provinces.size());
    for (std::size_t i = 0; i < contents.provinces.size(); ++i) {
        const ProvinceEntry& entry = package.provinces[i];
        std::array<std::uint8_t, kProvinceNameBytes + 2> name{};
        std::copy(contents.provinces[i].name.begin(), contents.provinces[i].name.end(),
                  name.begin());
        EXPECT_EQ(entry.name, name);
        EXPECT_EQ(entry.recordCount, contents.provinces[i].records.size() / 12);
        EXPECT_EQ(entry.records, contents.provinces[i].records);
    }
}

TEST(LoadPackage, RebuildsWhatTheWriterLaidOutInEveryFormAndOrder) {
    PackageContents contents = test::SmallContents();
    contents.extendedModelTable = true;
    std::mt19937 random(42);
    for (IndexForm form : {IndexForm::kFull, IndexForm::kMedium, IndexForm::kShort}) {
        for (int round = 0; round < 3; ++round) {
            SCOPED_TRACE(std::string(IndexFormName(form)) + " round " + std::to_string(round));
            PackagePlacement placement{.form = form, .gap = static_cast<std::uint32_t>(round * 3)};
            for (std::size_t i = 0; i < kPackagePartCount; ++i) {
                placement.order.push_back(static_cast<PackagePart>(i));
            }
            std::shuffle(placement.order.begin(), placement.order.end(), random);
            contents.extendedModelTable = round != 1;

            const WrittenPackage file = WritePackage(contents, placement);
            const UpdatePackage package = Load(file.bytes);
            EXPECT_EQ(package.indexForm, form);
            EXPECT_EQ(package.identity, contents.identity);
            ExpectPlainRuleSection(package.base, contents.base);
            ExpectPlainRuleSection(package.resource, contents.resource);
            ExpectPlainRuleSection(package.database, contents.database);
            ExpectStoredRuleSection(package.main, contents.main);
            ExpectModels(package, contents);
            const BuildDate sampleDate{.hour = 8, .day = 1, .month = 5, .year = 2024};
            EXPECT_EQ(package.resourceDate, sampleDate);
            EXPECT_EQ(package.databaseDate, sampleDate);
            EXPECT_EQ(package.mainDate, sampleDate);
            if (form == IndexForm::kFull) {
                EXPECT_EQ(package.formatVersion, 5u);
                ExpectStoredRuleSection(package.altMain, contents.altMain);
                ExpectStoredRuleSection(package.auxiliary, contents.auxiliary);
                ExpectStoredRuleSection(package.regionalMain, contents.regionalMain);
                ExpectStoredRuleSection(package.regionalAltMain, contents.regionalAltMain);
                EXPECT_EQ(package.regionalMainDate, sampleDate);
                ExpectProvinces(package, contents);
            } else {
                // The older forms cannot name the later parts: they stay absent.
                EXPECT_EQ(package.formatVersion, form == IndexForm::kMedium ? 3u : 1u);
                EXPECT_FALSE(package.altMain.Loaded());
                EXPECT_FALSE(package.auxiliary.Loaded());
                EXPECT_FALSE(package.regionalMain.Loaded());
                EXPECT_FALSE(package.regionalAltMain.Loaded());
                EXPECT_FALSE(package.HasProvinceTable());
                EXPECT_EQ(package.regionalMainDate, BuildDate{});
            }
        }
    }
}

TEST(LoadPackage, RefusesFilesWithoutAnIndexAndLeavesThePackageAlone) {
    const WrittenPackage good = WritePackage(test::SmallContents());
    std::vector<std::uint8_t> damaged = good.bytes;
    damaged.back() ^= 1;  // the full form's sum, and the medium and short forms do not fit
    const std::vector<std::uint8_t> cases[] = {
        {},
        std::vector<std::uint8_t>(303, 0),
        std::vector<std::uint8_t>(good.bytes.end() - 303, good.bytes.end()),
        damaged,
    };
    for (const auto& bytes : cases) {
        SCOPED_TRACE(bytes.size());
        UpdatePackage package;
        package.formatVersion = 99;
        EXPECT_FALSE(LoadPackageBytes(package, bytes));
        EXPECT_EQ(package.formatVersion, 99u);
        EXPECT_FALSE(package.base.Loaded());
    }
}

TEST(LoadPackage, AFullIndexWithABaseOver32KiBIsRefused) {
    PackageContents contents;
    contents.base = Pattern(0x8000);
    EXPECT_TRUE(Load(WritePackage(contents).bytes).base.Loaded());
    contents.base = Pattern(0x8001);
    for (IndexForm form : {IndexForm::kFull, IndexForm::kMedium, IndexForm::kShort}) {
        SCOPED_TRACE(IndexFormName(form));
        Load(WritePackage(contents, {.form = form}).bytes, false);
    }
}

TEST(LoadPackage, AFileWithOnlyAProvinceTableFails) {
    PackageContents contents = test::SmallContents();
    PackageContents provincesOnly;
    provincesOnly.hasProvinceTable = true;
    provincesOnly.provinceTag = contents.provinceTag;
    provincesOnly.provinces = contents.provinces;
    const UpdatePackage package = Load(WritePackage(provincesOnly).bytes, false);
    EXPECT_TRUE(package.HasProvinceTable());
}

TEST(LoadPackage, AModelTableWithoutModelDataIsNothingToSendAndFails) {
    struct Case {
        const char* what;
        bool extended;
        std::vector<ModelEntrySource> models;
    };
    const Case cases[] = {
        {"extended, no entries", true, {}},
        {"compact, no entries", false, {}},
        {"entries whose data is empty or refused",
         true,
         {{.modelId = 1, .data = {}}, {.modelId = 2, .data = Pattern(32769)}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PackageContents contents;
        contents.hasModelTable = true;
        contents.extendedModelTable = c.extended;
        contents.models = c.models;
        const UpdatePackage package = Load(WritePackage(contents).bytes, false);
        EXPECT_EQ(package.models.size(), c.models.size());  // read, but nothing in it to send
        contents.base = Pattern(16);
        Load(WritePackage(contents).bytes, true);
    }
}

TEST(LoadPackage, PadsSectionsTo256WithFFAndCountsThePaddingInThePlainSum) {
    struct Case {
        std::size_t size;
        std::size_t padded;
    };
    constexpr Case cases[] = {{1, 256}, {255, 256}, {256, 256}, {257, 512}, {512, 512}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        PackageContents contents;
        contents.base = Pattern(c.size, 3);
        contents.main = Pattern(c.size, 4);
        const UpdatePackage package = Load(WritePackage(contents).bytes);
        ASSERT_EQ(package.base.PaddedLength(), c.padded);
        ASSERT_EQ(package.main.PaddedLength(), c.padded);
        const std::uint32_t padding = static_cast<std::uint32_t>(c.padded - c.size);
        EXPECT_EQ(package.base.checksum, ByteSum(contents.base) + padding * 255u);
        EXPECT_TRUE(std::all_of(package.base.bytes.begin() + static_cast<std::ptrdiff_t>(c.size),
                                package.base.bytes.end(),
                                [](std::uint8_t b) { return b == 0xFF; }));
        EXPECT_EQ(package.main.checksum, ByteSum(package.main.bytes));
        EXPECT_EQ(package.main.recordedSize, 0u);
    }
}

// The date of a section shorter than its date word comes from the padded buffer: the stored
// bytes followed by 0xFF, unscrambled together.
BuildDate DateFromPadded(const std::vector<std::uint8_t>& plain, std::size_t word) {
    std::vector<std::uint8_t> head = PaddedStored(plain);
    head.resize(256);
    UnscrambleBuffer(head);
    return SecondsToDate(GetU32(head.data() + 4 * word));
}

TEST(LoadPackage, ReadsDatesFromTheFirst256BytesOfThePaddedSection) {
    PackageContents contents;
    contents.resource = {0x00, 0x00, 0x00, 0x00};  // word 0 = 0: the epoch
    contents.database.resize(8);
    PutU32(contents.database.data(), 951782400);  // 2000-02-29 00:00:00
    contents.main = {1, 2, 3, 4, 5};              // word 1 is one stored byte and padding
    const UpdatePackage package = Load(WritePackage(contents).bytes);
    EXPECT_EQ(FormatDate(package.resourceDate), "1970-01-01 00:00:00");
    EXPECT_EQ(FormatDate(package.databaseDate), "2000-02-29 00:00:00");
    EXPECT_EQ(package.mainDate, DateFromPadded(contents.main, 1));
}

TEST(LoadPackage, TakesTheMainDateFromTheAlternateImageOnlyWhenTheMainImageIsAbsent) {
    std::vector<std::uint8_t> mainImage(256, 0), altImage(256, 0);
    PutU32(mainImage.data() + 4, 86400);     // 1970-01-02
    PutU32(altImage.data() + 4, 2 * 86400);  // 1970-01-03
    struct Case {
        const char* what;
        bool main;
        bool alt;
        std::uint32_t version;
        std::uint8_t day;  // 0: no date
    };
    constexpr Case cases[] = {
        {"both", true, true, 5, 2},
        {"alternate only", false, true, 5, 3},
        {"alternate only, version 4 ignores it", false, true, 4, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PackageContents contents;
        contents.formatVersion = c.version;
        contents.base = Pattern(16);
        if (c.main) contents.main = mainImage;
        if (c.alt) contents.altMain = altImage;
        const UpdatePackage package = Load(WritePackage(contents).bytes);
        EXPECT_EQ(package.mainDate.day, c.day);
        EXPECT_EQ(package.altMain.Loaded(), c.alt && c.version >= 5);
    }
}

// Offsets are absolute: a test can point a part past the end of the file by rewriting the
// index, which then has to be written again.
std::vector<std::uint8_t> WithIndex(const WrittenPackage& file, const PackageIndex& index) {
    std::vector<std::uint8_t> bytes(file.bytes.begin(), file.bytes.end() - 520);
    const std::vector<std::uint8_t> stored = WritePackageIndex(index, IndexForm::kFull);
    bytes.insert(bytes.end(), stored.begin(), stored.end());
    return bytes;
}

TEST(LoadPackage, ASectionPastTheEndOfTheFileIsLeftOutAndTheRestStillLoads) {
    const PackageContents contents = test::SmallContents();
    const WrittenPackage file = WritePackage(contents);
    const auto fileSize = static_cast<std::uint32_t>(file.bytes.size());
    struct Case {
        const char* what;
        SectionPlace PackageIndex::*place;
        SectionPlace moved;
    };
    const Case cases[] = {
        {"resource one byte too long",
         &PackageIndex::resource,
         {file.index.resource.offset, fileSize - file.index.resource.offset + 1}},
        {"database offset past the end", &PackageIndex::database, {fileSize, 16}},
        {"alternate main near 4 GiB", &PackageIndex::altMain, {0xFFFFFFF0u, 0x20}},
        {"regional alternate of 4 GiB", &PackageIndex::regionalAltMain, {0, 0xFFFFFFFFu}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PackageIndex index = file.index;
        index.*c.place = c.moved;
        const UpdatePackage package = Load(WithIndex(file, index));
        const bool resourceBad = c.place == &PackageIndex::resource;
        const bool databaseBad = c.place == &PackageIndex::database;
        const bool mainPairBad = c.place == &PackageIndex::altMain;
        const bool regionalPairBad = c.place == &PackageIndex::regionalAltMain;
        EXPECT_NE(package.resource.Loaded(), resourceBad);
        EXPECT_NE(package.database.Loaded(), databaseBad);
        // A failure on the second image of a pair releases the first as well.
        EXPECT_NE(package.main.Loaded(), mainPairBad);
        EXPECT_NE(package.altMain.Loaded(), mainPairBad);
        EXPECT_NE(package.regionalMain.Loaded(), regionalPairBad);
        EXPECT_NE(package.regionalAltMain.Loaded(), regionalPairBad);
        EXPECT_TRUE(package.base.Loaded());
        EXPECT_EQ(package.models.size(), contents.models.size());
        EXPECT_EQ(package.provinces.size(), contents.provinces.size());
    }
}

TEST(LoadPackage, AOneEntryModelTableServesEveryModel) {
    PackageContents contents;
    contents.hasModelTable = true;
    contents.extendedModelTable = false;
    contents.models.push_back({.modelId = 0x31305641, .data = Pattern(100)});
    const UpdatePackage package = Load(WritePackage(contents).bytes);
    ASSERT_EQ(package.models.size(), 1u);
    EXPECT_EQ(FindModelEntry(package, 0x31305641), &package.models[0]);
    EXPECT_EQ(FindModelEntry(package, 0xDEADBEEF), &package.models[0]);
    EXPECT_EQ(FindModelEntry(package, 0), &package.models[0]);
}

TEST(LoadPackage, AModelEntryWhoseDataCannotFitTheFlashImageKeepsNoData) {
    PackageContents contents;
    contents.hasModelTable = true;
    contents.models.push_back({.modelId = 1, .data = Pattern(32768)});
    contents.models.push_back({.modelId = 2, .data = Pattern(32769), .firstLayoutWord = 7});
    contents.models.push_back({.modelId = 3, .data = {}});
    const UpdatePackage package = Load(WritePackage(contents).bytes);
    ASSERT_EQ(package.models.size(), 3u);
    EXPECT_EQ(package.models[0].data.recordedSize, 32768u);
    EXPECT_EQ(package.models[0].flashImage.size(), 0x9000u);
    EXPECT_EQ(package.models[0].flashImage.back(), contents.models[0].data.back());
    for (std::size_t i : {1u, 2u}) {
        SCOPED_TRACE(i);
        const ModelEntry& refused = package.models[i];
        EXPECT_EQ(refused.modelId, i + 1);
        EXPECT_FALSE(refused.data.Loaded());
        EXPECT_EQ(refused.data.recordedSize, 0u);
        EXPECT_EQ(refused.data.checksum, 0u);
        EXPECT_EQ(GetU32(refused.blockHeader.data() + 4), 0u);
        EXPECT_EQ(GetU32(refused.blockHeader.data() + 8), 0u);
        EXPECT_EQ(refused.flashImage.size(), 0x9000u);
    }
    EXPECT_EQ(package.models[1].firstLayoutWord, 7u);
    EXPECT_EQ(FindModelEntry(package, 2), &package.models[1]);
}

TEST(LoadPackage, AModelTableRunningPastTheFileOrOverTheEntryLimitIsLeftOut) {
    PackageContents contents;
    contents.base = Pattern(16);
    contents.hasModelTable = true;
    contents.extendedModelTable = false;
    contents.models.push_back({.modelId = 1, .data = Pattern(10)});
    const WrittenPackage file = WritePackage(contents, {.order = {PackagePart::kModelTable}});
    for (std::uint32_t count : {100u, kModelEntryLimit + 1, 0xFFFFFFFFu}) {
        SCOPED_TRACE(count);
        std::vector<std::uint8_t> bytes(file.bytes.begin(), file.bytes.end() - 520);
        PutU32(bytes.data() + file.index.modelTable.offset, count);
        // Room for every entry, so only the limit stands in the way.
        if (count == kModelEntryLimit + 1) bytes.resize(bytes.size() + count * 16, 0);
        bytes.insert(bytes.end(), file.bytes.end() - 520, file.bytes.end());
        const UpdatePackage package = Load(bytes);
        EXPECT_FALSE(package.modelTablePresent);
        EXPECT_TRUE(package.models.empty());
        EXPECT_TRUE(package.base.Loaded());
    }
}

TEST(LoadPackage, ProvinceRecordsRunningPastTheFileLeaveTheTableEmpty) {
    PackageContents contents = test::SmallContents();
    const WrittenPackage file = WritePackage(contents);
    std::vector<std::uint8_t> bytes = file.bytes;
    // The last entry's record count, far beyond what the file holds.
    const std::size_t lastCountAt =
        file.index.provinceTable.offset + 8 + 33 * 54 + kProvinceNameBytes;
    PutU32(bytes.data() + lastCountAt, 0x20000000);
    const UpdatePackage package = Load(bytes);
    EXPECT_FALSE(package.HasProvinceTable());
    EXPECT_TRUE(package.database.Loaded());
    EXPECT_TRUE(package.regionalMain.Loaded());
}

TEST(LoadPackage, AProvinceNameFillingItsWholeFieldStaysWithinIt) {
    PackageContents contents;
    contents.base = Pattern(16);
    contents.hasProvinceTable = true;
    contents.provinces.push_back({.name = std::string(50, 'A'), .records = Pattern(24)});
    const UpdatePackage package = Load(WritePackage(contents).bytes);
    ASSERT_EQ(package.provinces.size(), 1u);
    EXPECT_EQ(package.provinces[0].name[49], 'A');
    EXPECT_EQ(package.provinces[0].name[50], 0);
    EXPECT_EQ(package.provinces[0].name[51], 0);
    EXPECT_EQ(package.provinces[0].records, contents.provinces[0].records);
}

TEST(LoadPackage, LoadingAgainReplacesSectionBySectionAndReleaseEmptiesThePackage) {
    PackageContents first = test::SmallContents();
    PackageContents second;
    second.database = Pattern(300, 77);
    UpdatePackage package;
    ASSERT_TRUE(LoadPackageBytes(package, WritePackage(first).bytes));
    ASSERT_TRUE(LoadPackageBytes(package, WritePackage(second, {.form = IndexForm::kShort}).bytes));
    EXPECT_EQ(package.indexForm, IndexForm::kShort);
    ExpectPlainRuleSection(package.database, second.database);
    ExpectPlainRuleSection(package.base, first.base);  // absent from the second file: kept
    package.Release();
    EXPECT_FALSE(package.base.Loaded());
    EXPECT_FALSE(package.database.Loaded());
    EXPECT_TRUE(package.models.empty());
    EXPECT_TRUE(package.provinces.empty());
    EXPECT_EQ(package.mainDate, BuildDate{});
    ASSERT_TRUE(LoadPackageBytes(package, WritePackage(first).bytes));
    ExpectModels(package, first);
}

TEST(LoadPackage, OpensAFileByAWideNameWithChineseCharacters) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("kivrel-load-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::wstring name = L"\u5347\u7EA7 update.qdx";  // 升级
    const std::string utf8 = WideToUtf8((dir.wstring() + L"/" + name));
    const WrittenPackage file = WritePackage(test::SmallContents());
    {
        std::ofstream out(std::filesystem::path(std::u8string(utf8.begin(), utf8.end())),
                          std::ios::binary);
        out.write(reinterpret_cast<const char*>(file.bytes.data()),
                  static_cast<std::streamsize>(file.bytes.size()));
    }
    UpdatePackage package;
    EXPECT_TRUE(LoadPackage(package, Utf8ToWide(utf8)));
    EXPECT_TRUE(package.database.Loaded());
    EXPECT_FALSE(LoadPackage(package, dir.wstring() + L"/missing.qdx"));
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace kivrel
