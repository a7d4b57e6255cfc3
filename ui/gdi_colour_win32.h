#pragma once
// Windows only: the controls' portable colours and rectangles as GDI takes them.

#include <windows.h>

#include "ui/colour.h"

namespace kivrel {

[[nodiscard]] inline Colour ToColour(COLORREF colour) noexcept {
    return {GetRValue(colour), GetGValue(colour), GetBValue(colour)};
}
[[nodiscard]] inline COLORREF ToColorRef(Colour colour) noexcept {
    return RGB(colour.r, colour.g, colour.b);
}
[[nodiscard]] inline RECT ToRect(const PixelRect& rect) noexcept {
    return {rect.left, rect.top, rect.right, rect.bottom};
}
[[nodiscard]] inline PixelRect ToPixelRect(const RECT& rect) noexcept {
    return {rect.left, rect.top, rect.right, rect.bottom};
}

// Fills a rectangle with one colour without making a brush.
inline void FillSolid(HDC dc, const RECT& rect, COLORREF colour) {
    if (rect.right <= rect.left || rect.bottom <= rect.top) return;
    const COLORREF previous = ::SetBkColor(dc, colour);
    ::ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &rect, nullptr, 0, nullptr);
    ::SetBkColor(dc, previous);
}

}  // namespace kivrel
