// The section scrambler must match the unit bit for bit: a wrong byte order, key carry or tail
// rule corrupts every update.

#include "package/scrambler.h"

#include <gtest/gtest.h>

#include <vector>

#include "base/byte_sum.h"
#include "base/le_bytes.h"
#include "package_test_support.h"

namespace kivrel {
namespace {

TEST(Scrambler, ScramblesAWordWithTheKeyThenFoldsItsHalves) {
    std::vector<std::uint8_t> bytes = {0x01, 0x02, 0x03, 0x04};
    ScrambleBuffer(bytes);
    // 0x04030201 ^ 0x12345678 = 0x16375479; then b2 ^= b0, b3 ^= b1.
    EXPECT_EQ(bytes, (std::vector<std::uint8_t>{0x79, 0x54, 0x37 ^ 0x79, 0x16 ^ 0x54}));
    UnscrambleBuffer(bytes);
    EXPECT_EQ(bytes, (std::vector<std::uint8_t>{0x01, 0x02, 0x03, 0x04}));
}

TEST(Scrambler, EachBlockAfterTheFirstIsKeyedByThePreviousBlocksPlainSum) {
    std::vector<std::uint8_t> plain(512 + 8, 0);
    for (std::size_t i = 0; i < 256; i += 4) PutU32(plain.data() + i, 0x01000001);  // 64 words
    std::vector<std::uint8_t> stored = plain;
    ScrambleBuffer(stored);
    // Block 2 is all zero words, so its stored words are the folded key 64 * 0x01000001;
    // block 3's key is the sum of block 2's plain words, 0.
    const std::uint32_t key2 = 64u * 0x01000001u;
    EXPECT_EQ(GetU32(stored.data() + 256), key2 ^ (key2 << 16));
    EXPECT_EQ(GetU32(stored.data() + 512), 0u);
}

TEST(Scrambler, LeavesTheBytesAfterTheLastWholeWordUntouched) {
    for (const bool scramble : {true, false}) {
        SCOPED_TRACE(scramble ? "scramble" : "unscramble");
        std::vector<std::uint8_t> three = {0xAA, 0xBB, 0xCC};
        std::vector<std::uint8_t> seven = {1, 2, 3, 4, 0xAA, 0xBB, 0xCC};
        if (scramble) {
            ScrambleBuffer(three);
            ScrambleBuffer(seven);
        } else {
            UnscrambleBuffer(three);
            UnscrambleBuffer(seven);
        }
        EXPECT_EQ(three, (std::vector<std::uint8_t>{0xAA, 0xBB, 0xCC}));
        EXPECT_NE(std::vector<std::uint8_t>(seven.begin(), seven.begin() + 4),
                  (std::vector<std::uint8_t>{1, 2, 3, 4}));
        EXPECT_EQ(std::vector<std::uint8_t>(seven.begin() + 4, seven.end()),
                  (std::vector<std::uint8_t>{0xAA, 0xBB, 0xCC}));
    }
}

TEST(Scrambler, KeepsItsStateAcrossPiecesOfWholeWords) {
    const std::vector<std::uint8_t> plain = test::Pattern(1003);
    std::vector<std::uint8_t> whole = plain;
    ScrambleBuffer(whole);

    std::vector<std::uint8_t> pieces = plain;
    Scrambler scrambler;
    std::size_t done = 0;
    for (std::size_t piece : {4u, 252u, 8u, 260u, 12u}) {
        scrambler.Scramble({pieces.data() + done, piece});
        done += piece;
    }
    scrambler.Scramble({pieces.data() + done, pieces.size() - done});
    EXPECT_EQ(pieces, whole);

    scrambler.Reset();
    scrambler.Unscramble({pieces.data(), 256});
    scrambler.Unscramble({pieces.data() + 256, pieces.size() - 256});
    EXPECT_EQ(pieces, plain);
}

TEST(Scrambler, UnscrambledSumEqualsTheSumOfAnUnscrambledCopy) {
    for (std::size_t size : {0u, 3u, 256u, 4095u, 4097u, 10001u}) {
        SCOPED_TRACE(size);
        const std::vector<std::uint8_t> stored = test::Pattern(size, 9);
        std::vector<std::uint8_t> copy = stored;
        UnscrambleBuffer(copy);
        EXPECT_EQ(UnscrambledByteSum(stored), ByteSum(copy));
    }
}

TEST(Scrambler, IndexKeyRepeatsEveryEightBytes) {
    std::vector<std::uint8_t> block(17, 0);
    XorIndexKey(block);
    EXPECT_EQ(std::string(block.begin(), block.begin() + 8), "TRELVINX");
    EXPECT_EQ(block[8], 'T');
    EXPECT_EQ(block[16], 'T');
    XorIndexKey(block);
    EXPECT_EQ(block, std::vector<std::uint8_t>(17, 0));
}

}  // namespace
}  // namespace kivrel
