#pragma once
// A rectangle in pixels, free of any OS type: the windows' and controls' layout decisions use
// it, and the Win32 views turn it into a RECT.

namespace kivrel {

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

}  // namespace kivrel
