// The shaded face and the grey icon are computed pixel by pixel: the palettes must follow the
// system colours and the two blends, the grain must stay inside the ramp, and the bitmap block
// must be laid out as Windows reads it.

#include "ui/shade.h"

#include <gtest/gtest.h>

#include <vector>

#include "ui/ce_xdib.h"
#include "ui/grey_icon.h"

namespace kivrel {
namespace {

constexpr ShadeColours kSystem{{160, 160, 160}, {240, 240, 240}, {255, 255, 255}};

TEST(Shade, RampRunsFromShadowThroughFaceToHighlight) {
    const ShadeColours colours{{100, 0, 50}, {200, 100, 150}, {255, 255, 255}};
    const auto ramp = ShadeRamp(colours);
    EXPECT_EQ(ramp[0], colours.shadow);
    EXPECT_EQ(ramp[64], (Colour{150, 50, 100}));
    EXPECT_EQ(ramp[127], (Colour{199, 99, 149}));  // (127 face + 1 shadow) / 128
    // Entry 128 belongs to the upper half: one step from the face toward the highlight.
    EXPECT_EQ(ramp[128], (Colour{200, 101, 150}));
    EXPECT_EQ(ramp[255], colours.highlight);
}

TEST(Shade, FacePaletteIsTintedAndHoverPaletteLighter) {
    const ShadeFaces faces = MakeShadeFaces(126, 45, kSystem, 1);
    ASSERT_TRUE(faces.face.IsValid());
    ASSERT_TRUE(faces.hover.IsValid());
    EXPECT_EQ(faces.face.BitsPerPixel(), 8);
    EXPECT_EQ(faces.face.Width(), 126);
    EXPECT_EQ(faces.face.Height(), 45);

    const auto ramp = ShadeRamp(kSystem);
    for (int i = 0; i < 256; ++i) {
        SCOPED_TRACE(i);
        const Colour tinted = BlendToward(ramp[static_cast<std::size_t>(i)], kShadeTint, 5);
        EXPECT_EQ(faces.face.PaletteIndex(i), tinted);
        EXPECT_EQ(faces.hover.PaletteIndex(i), BlendToward(tinted, kSystem.highlight, 20));
    }
    // Worked values: shadow 160 tinted is (5 x 55 + 95 x 160) / 100 per channel.
    EXPECT_EQ(faces.face.PaletteIndex(0), (Colour{154, 154, 164}));
    EXPECT_EQ(faces.hover.PaletteIndex(0), (Colour{174, 174, 182}));
}

TEST(Shade, RowsRiseFromDarkAtTheBottomWithBoundedGrain) {
    constexpr int kWidth = 84, kHeight = 45;
    const ShadeFaces faces = MakeShadeFaces(kWidth, kHeight, kSystem, 7);
    bool grainSeen = false;
    for (int y = 0; y < kHeight; ++y) {
        const int base = y * 239 / kHeight;
        for (int x = 0; x < kWidth; ++x) {
            const int index = faces.face.PixelIndex(x, y);
            ASSERT_GE(index, base);
            ASSERT_LE(index, base + 16);
            grainSeen = grainSeen || index != base;
            ASSERT_EQ(faces.hover.PixelIndex(x, y), index);  // same pixels, lighter colours
        }
    }
    EXPECT_TRUE(grainSeen);

    // Another seed gives other grain over the same ramp.
    const ShadeFaces other = MakeShadeFaces(kWidth, kHeight, kSystem, 8);
    int differing = 0;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            differing += other.face.PixelIndex(x, y) != faces.face.PixelIndex(x, y);
        }
    }
    EXPECT_GT(differing, kWidth * kHeight / 2);
    EXPECT_FALSE(MakeShadeFaces(0, 45, kSystem, 1).face.IsValid());
}

TEST(CeXDib, LaysOutHeaderColourTableAndPaddedRows) {
    struct Case {
        int width, bits;
        std::size_t rowBytes;
    };
    constexpr Case cases[] = {{1, 1, 4}, {32, 1, 4}, {33, 1, 8}, {7, 4, 4},
                              {9, 4, 8}, {3, 8, 4},  {5, 8, 8},  {126, 8, 128}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.bits);
        CCeXDib dib;
        ASSERT_TRUE(dib.Create(c.width, 3, c.bits));
        EXPECT_EQ(dib.RowBytes(), c.rowBytes);
        EXPECT_EQ(dib.Rows().size(), c.rowBytes * 3);
        EXPECT_EQ(dib.Info().size(), 40u + 4u * (1u << c.bits));
        const auto info = dib.Info();
        EXPECT_EQ(info[0], 40);
        EXPECT_EQ(info[4], c.width);
        EXPECT_EQ(info[8], 3);
        EXPECT_EQ(info[12], 1);
        EXPECT_EQ(info[14], c.bits);
    }
    CCeXDib dib;
    EXPECT_FALSE(dib.Create(4, 4, 24));
    EXPECT_FALSE(dib.Create(0, 4, 8));
    EXPECT_FALSE(dib.Create(4, CCeXDib::kMaxSide + 1, 8));
    EXPECT_FALSE(dib.IsValid());
    EXPECT_TRUE(dib.Info().empty());
}

TEST(CeXDib, PacksPixelsLeftmostInTheHighBits) {
    CCeXDib mono;
    ASSERT_TRUE(mono.Create(10, 2, 1));
    mono.SetPixelIndex(0, 1, 1);
    mono.SetPixelIndex(9, 1, 1);
    mono.SetPixelIndex(10, 1, 1);  // outside: ignored
    const auto rows = mono.Rows();
    EXPECT_EQ(rows[4], 0x80);  // row 1 starts after the 4-byte row 0
    EXPECT_EQ(rows[5], 0x40);
    EXPECT_EQ(mono.PixelIndex(9, 1), 1);
    EXPECT_EQ(mono.PixelIndex(8, 1), 0);

    CCeXDib nibbles;
    ASSERT_TRUE(nibbles.Create(3, 1, 4));
    nibbles.SetPixelIndex(0, 0, 0xA);
    nibbles.SetPixelIndex(1, 0, 0x5);
    nibbles.SetPixelIndex(2, 0, 0x1F);  // only the low four bits fit
    EXPECT_EQ(nibbles.Rows()[0], 0xA5);
    EXPECT_EQ(nibbles.Rows()[1], 0xF0);
    EXPECT_EQ(nibbles.PixelIndex(2, 0), 0xF);

    nibbles.SetPaletteIndex(15, {1, 2, 3});
    nibbles.SetPaletteIndex(16, {9, 9, 9});  // past the table: ignored
    EXPECT_EQ(nibbles.PaletteIndex(15), (Colour{1, 2, 3}));
    EXPECT_EQ(nibbles.Info()[40 + 15 * 4], 3);  // stored blue first
    nibbles.BlendPalette({101, 102, 103}, 50);
    EXPECT_EQ(nibbles.PaletteIndex(15), (Colour{51, 52, 53}));
    EXPECT_EQ(nibbles.PaletteIndex(0), (Colour{50, 51, 51}));
}

TEST(GreyIcon, NonBlackPixelsBecomeTheirLuminanceAndKeepAlpha) {
    struct Case {
        Colour colour;
        std::uint8_t grey;
    };
    constexpr Case cases[] = {{{255, 255, 255}, 255}, {{255, 0, 0}, 76},  {{0, 255, 0}, 149},
                              {{0, 0, 255}, 29},      {{10, 20, 30}, 18}, {{0, 0, 1}, 0},
                              {{200, 150, 30}, 151}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << int(c.colour.r) << "," << int(c.colour.g) << "," << int(c.colour.b));
        EXPECT_EQ(GreyLevel(c.colour), c.grey);
    }

    std::vector<std::uint8_t> pixels = {
        30, 150, 200, 255,  // blue, green, red, alpha
        0,  0,   0,   0,    // black: the transparent part stays black
        0,  0,   255, 128,  // half-transparent red
        7,  7,              // a stray partial pixel
    };
    GreyPixels(pixels);
    EXPECT_EQ(pixels,
              (std::vector<std::uint8_t>{151, 151, 151, 255, 0, 0, 0, 0, 76, 76, 76, 128, 7, 7}));
}

}  // namespace
}  // namespace kivrel
