#pragma once
// Colours and rectangles as the controls' drawing decisions use them, free of any OS type.

#include <cstdint>

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

// Edges in pixels, right and bottom exclusive, as GDI counts them.
struct PixelRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    [[nodiscard]] constexpr int Width() const noexcept { return right - left; }
    [[nodiscard]] constexpr int Height() const noexcept { return bottom - top; }
    [[nodiscard]] constexpr PixelRect Offset(int dx, int dy) const noexcept {
        return {left + dx, top + dy, right + dx, bottom + dy};
    }
    [[nodiscard]] constexpr PixelRect Inset(int d) const noexcept {
        return {left + d, top + d, right - d, bottom - d};
    }
    friend constexpr bool operator==(const PixelRect&, const PixelRect&) = default;
};

struct PixelSize {
    int width = 0;
    int height = 0;
    friend constexpr bool operator==(PixelSize, PixelSize) = default;
};

}  // namespace kivrel
