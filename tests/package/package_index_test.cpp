// The index decides where every byte of an update comes from: each form must be found, checked
// and normalized exactly, and a damaged one refused.

#include "package/package_index.h"

#include <gtest/gtest.h>

#include <span>
#include <vector>

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

// Indexes laid out by hand at the documented offsets, so a parser and writer that agree on a
// wrong layout do not pass: every field holds a value no other field holds.
struct HandField {
    std::size_t at;
    std::uint32_t value;
    SectionPlace PackageIndex::*place;  // null: a word the index keeps to itself
    bool isSize;
};

constexpr std::uint8_t HandIdentityByte(std::size_t i) {
    return static_cast<std::uint8_t>(0xA0 ^ i);
}

std::vector<std::uint8_t> HandBuiltIndex(std::size_t length, std::size_t identityAt,
                                         std::span<const HandField> fields) {
    std::vector<std::uint8_t> block(length, 0);
    const auto put = [&block](std::size_t at, std::uint32_t value) {
        for (std::size_t i = 0; i < 4; ++i) {
            block[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
        }
    };
    for (std::size_t i = 0; i < kIdentityBytes; ++i) block[identityAt + i] = HandIdentityByte(i);
    for (const HandField& f : fields) put(f.at, f.value);
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i + 4 < length; ++i) sum += block[i];
    put(length - 4, sum);
    const char key[] = "TRELVINX";
    for (std::size_t k = 0; k < length; ++k) block[k] ^= static_cast<std::uint8_t>(key[k % 8]);
    return block;
}

TEST(PackageIndex, ReadsEveryFieldOfAHandBuiltIndexFromItsDocumentedOffset) {
    using P = PackageIndex;
    const HandField full[] = {
        {0, 516, nullptr, false},
        {4, 0x00000405, nullptr, false},  // format version
        {264, 0x01000264, &P::base, false},
        {268, 0x00007F68, &P::base, true},
        {272, 0x01000272, &P::modelTable, false},
        {276, 0x00000276, &P::modelTable, true},
        {280, 0x01000280, &P::resource, false},
        {284, 0x02000284, &P::resource, true},
        {288, 0x01000288, &P::main, false},
        {292, 0x02000292, &P::main, true},
        {296, 0x01000296, &P::database, false},
        {300, 0x02000300, &P::database, true},
        {304, 0x01000304, &P::auxiliary, false},
        {308, 0x02000308, &P::auxiliary, true},
        {312, 0x01000312, &P::altMain, false},
        {316, 0x02000316, &P::altMain, true},
        {320, 0x01000320, &P::provinceTable, false},
        {324, 0x00000324, &P::provinceTable, true},
        {328, 0x01000328, &P::regionalMain, false},
        {332, 0x02000332, &P::regionalMain, true},
        {336, 0x01000336, &P::regionalAltMain, false},
        {340, 0x02000340, &P::regionalAltMain, true},
        {512, 0x12345678, nullptr, false},
    };
    const HandField shortForm[] = {
        {0, 300, nullptr, false},
        {260, 0x01000260, &P::base, false},
        {264, 0x00007F64, &P::base, true},
        {268, 0x01000268, &P::modelTable, false},
        {272, 0x00000272, &P::modelTable, true},
        {276, 0x01000276, &P::resource, false},
        {280, 0x00080280, &P::resource, true},
        {284, 0x01000284, &P::main, false},
        {288, 0x00100288, &P::main, true},
        {292, 0x01000292, &P::database, false},
        {296, 0x00400296, &P::database, true},
    };
    struct Case {
        IndexForm form;
        std::size_t identityAt;
        std::span<const HandField> fields;
        std::uint32_t lengthWord;  // normalized
        std::uint32_t version;
    };
    const Case cases[] = {
        {IndexForm::kFull, 8, full, 516, 0x405},
        {IndexForm::kShort, 4, shortForm, 304, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(IndexFormName(c.form));
        const std::vector<std::uint8_t> stored =
            HandBuiltIndex(IndexFormBytes(c.form), c.identityAt, c.fields);
        PackageIndex parsed;
        ASSERT_TRUE(ParsePackageIndex(stored, c.form, parsed));
        EXPECT_EQ(parsed.lengthWord, c.lengthWord);
        EXPECT_EQ(parsed.formatVersion, c.version);
        for (const HandField& f : c.fields) {
            if (f.place == nullptr) continue;
            SCOPED_TRACE(f.at);
            const SectionPlace& place = parsed.*f.place;
            EXPECT_EQ(f.isSize ? place.size : place.offset, f.value);
        }
        for (std::size_t i = 0; i < kIdentityBytes; ++i) {
            EXPECT_EQ(parsed.identity[i], HandIdentityByte(i)) << i;
        }
        // The writer lays it out the same way, byte for byte.
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
