#pragma once
// Colours and rectangles as the controls' drawing decisions use them, free of any OS type.

#include <cstdint>

#include "base/pixel_rect.h"

namespace kivrel {

struct Colour {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;
    friend constexpr bool operator==(Colour, Colour) = default;
};

// `old` moved `percent` per cent toward `toward`, per channel, truncated.
[[nodiscard]] constexpr Colour BlendToward(Colour old, Colour toward, int percent) noexcept {
    const auto mix = [percent](std::uint8_t to, std::uint8_t from) {
        return static_cast<std::uint8_t>((percent * to + (100 - percent) * from) / 100);
    };
    return {mix(toward.r, old.r), mix(toward.g, old.g), mix(toward.b, old.b)};
}

struct PixelSize {
    int width = 0;
    int height = 0;
    friend constexpr bool operator==(PixelSize, PixelSize) = default;
};

}  // namespace kivrel
