// The index decides where every byte of an update comes from: each form must be found, checked
// and normalized exactly, and a damaged one refused.

#include "package/package_index.h"

#include <gtest/gtest.h>

#include "base/byte_sum.h"
#include "base/le_bytes.h"
#include "package/package_source.h"
#include "package/scrambler.h"

namespace kivrel {
namespace {

PackageIndex SampleIndex() {
    PackageIndex index;
    index.formatVersion = 7;
    for (std::size_t i = 0; i < index.identity.size(); ++i) {
        index.identity[i] = static_cast<std::uint8_t>(i * 7);
    }
    index.base = {0x10, 0x8000};
    index.modelTable = {0x20, 1};
    index.resource = {0x30, 0xC8000};
    index.main = {0x40, 0x200000};
    index.database = {0x50, 0x522000};
    index.auxiliary = {0x60, 6};
    index.altMain = {0x70, 7};
    index.provinceTable = {0x80, 1};
    index.regionalMain = {0x90, 9};
    index.regionalAltMain = {0xA0, 10};
    return index;
}

TEST(PackageIndex, EveryFormRoundTripsAndIsNormalized) {
    const PackageIndex full = SampleIndex();
    struct Case {
        IndexForm form;
        std::uint32_t lengthWord;
        std::uint32_t version;
        bool laterPairsKept;
    };
    constexpr Case cases[] = {
        {IndexForm::kFull, 516, 7, true},
        {IndexForm::kMedium, 520, 3, false},
        {IndexForm::kShort, 304, 1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(IndexFormName(c.form));
        const std::vector<std::uint8_t> stored = WritePackageIndex(full, c.form);
        ASSERT_EQ(stored.size(), IndexFormBytes(c.form));
        PackageIndex parsed;
        ASSERT_TRUE(ParsePackageIndex(stored, c.form, parsed));
        PackageIndex expected = full;
        expected.lengthWord = c.lengthWord;
        expected.formatVersion = c.version;
        if (!c.laterPairsKept) {
            expected.auxiliary = expected.altMain = expected.provinceTable = {};
            expected.regionalMain = expected.regionalAltMain = {};
        }
        EXPECT_EQ(parsed, expected);
        // What was accepted writes back to the same stored bytes.
        EXPECT_EQ(WritePackageIndex(parsed, c.form), stored);
    }
}

// Rewrites one plain word of a stored index and, unless told not to, fixes up its sum.
std::vector<std::uint8_t> WithWord(const PackageIndex& index, IndexForm form, std::size_t at,
                                   std::uint32_t value, bool fixSum = true) {
    std::vector<std::uint8_t> block = WritePackageIndex(index, form);
    XorIndexKey(block);
    PutU32(block.data() + at, value);
    const std::size_t sumAt = block.size() - 4;
    if (fixSum) PutU32(block.data() + sumAt, ByteSum({block.data(), sumAt}));
    XorIndexKey(block);
    return block;
}

TEST(PackageIndex, RefusesDamagedOrOversizedIndexes) {
    PackageIndex small = SampleIndex();
    small.main.size = 100;
    struct Case {
        const char* what;
        IndexForm form;
        std::size_t at;
        std::uint32_t value;
        bool fixSum;
        bool accepted;
    };
    const Case cases[] = {
        {"full: wrong length word", IndexForm::kFull, 0, 520, true, false},
        {"full: wrong magic", IndexForm::kFull, 512, 0x12345679, true, false},
        {"full: wrong sum", IndexForm::kFull, 300, 1, false, false},
        {"full: base 32769", IndexForm::kFull, 268, 0x8001, true, false},
        {"full: main of any size", IndexForm::kFull, 292, 0xFFFFFFFF, true, true},
        {"full: reserved bytes are not checked", IndexForm::kFull, 400, 5, true, true},
        {"medium: wrong length word", IndexForm::kMedium, 0, 516, true, false},
        {"medium: wrong sum", IndexForm::kMedium, 8, 1, false, false},
        {"medium: base 32769", IndexForm::kMedium, 268, 0x8001, true, false},
        {"medium: resource 819201", IndexForm::kMedium, 284, 0xC8001, true, false},
        {"medium: main 2 MiB + 1", IndexForm::kMedium, 292, 0x200001, true, false},
        {"medium: database 5382145", IndexForm::kMedium, 300, 0x522001, true, false},
        {"medium: unused words are ignored", IndexForm::kMedium, 308, 0xDEAD, true, true},
        {"short: wrong length word", IndexForm::kShort, 0, 304, true, false},
        {"short: base 32769", IndexForm::kShort, 264, 0x8001, true, false},
        {"short: database 5382145", IndexForm::kShort, 296, 0x522001, true, false},
        {"short: sizes compared unsigned", IndexForm::kShort, 288, 0x80000000, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PackageIndex parsed;
        EXPECT_EQ(
            ParsePackageIndex(WithWord(small, c.form, c.at, c.value, c.fixSum), c.form, parsed),
            c.accepted);
    }
}

TEST(PackageIndex, ReadingTriesFullThenMediumThenShortAtTheEndOfTheFile) {
    const PackageIndex index = SampleIndex();
    for (IndexForm form : {IndexForm::kFull, IndexForm::kMedium, IndexForm::kShort}) {
        SCOPED_TRACE(IndexFormName(form));
        std::vector<std::uint8_t> file(1000, 0x5A);
        const std::vector<std::uint8_t> stored = WritePackageIndex(index, form);
        file.insert(file.end(), stored.begin(), stored.end());
        MemoryByteSource source(file);
        PackageIndex parsed;
        IndexForm found = IndexForm::kFull;
        ASSERT_TRUE(ReadPackageIndex(source, parsed, found));
        EXPECT_EQ(found, form);
        EXPECT_EQ(parsed.identity, index.identity);
    }
}

TEST(PackageIndex, AFileShorterThanTheShortFormHasNoIndex) {
    const std::vector<std::uint8_t> stored = WritePackageIndex(SampleIndex(), IndexForm::kShort);
    for (std::size_t cut : {1u, 303u}) {
        SCOPED_TRACE(cut);
        const std::vector<std::uint8_t> file(stored.begin() + static_cast<std::ptrdiff_t>(cut),
                                             stored.end());
        MemoryByteSource source(file);
        PackageIndex parsed;
        IndexForm found = IndexForm::kFull;
        EXPECT_FALSE(ReadPackageIndex(source, parsed, found));
    }
}

}  // namespace
}  // namespace kivrel
