#include "ui/shade.h"

#include <random>

namespace kivrel {
namespace {

Colour Mix(Colour a, int weightA, Colour b, int weightB, int total) noexcept {
    const auto channel = [&](std::uint8_t x, std::uint8_t y) {
        return static_cast<std::uint8_t>((weightA * x + weightB * y) / total);
    };
    return {channel(a.r, b.r), channel(a.g, b.g), channel(a.b, b.b)};
}

}  // namespace

std::array<Colour, 256> ShadeRamp(const ShadeColours& colours) noexcept {
    std::array<Colour, 256> ramp{};
    for (int g = 0; g <= 128; ++g) {
        ramp[static_cast<std::size_t>(g)] = Mix(colours.face, g, colours.shadow, 128 - g, 128);
    }
    for (int t = 1; t <= 128; ++t) {
        ramp[static_cast<std::size_t>(127 + t)] =
            Mix(colours.highlight, t, colours.face, 128 - t, 128);
    }
    return ramp;
}

ShadeFaces MakeShadeFaces(int width, int height, const ShadeColours& colours, std::uint32_t seed) {
    ShadeFaces faces;
    if (!faces.face.Create(width, height, 8)) return faces;

    const std::array<Colour, 256> ramp = ShadeRamp(colours);
    for (int i = 0; i < 256; ++i) faces.face.SetPaletteIndex(i, ramp[static_cast<std::size_t>(i)]);

    // Rows count from the bottom: dark at the bottom, light at the top, and a grain of up to
    // 16 steps on every pixel. 239 + 16 stays inside the table.
    std::minstd_rand random(seed);
    for (int y = 0; y < height; ++y) {
        const int base = y * 239 / height;
        for (int x = 0; x < width; ++x) {
            const int grain = static_cast<int>(random() % 32768) / 2047;
            faces.face.SetPixelIndex(x, y, static_cast<std::uint8_t>(base + grain));
        }
    }
    faces.face.BlendPalette(kShadeTint, kShadeTintPercent);

    faces.hover = faces.face;
    faces.hover.BlendPalette(colours.highlight, kHoverLightPercent);
    return faces;
}

}  // namespace kivrel
