#pragma once
// The automatic grey rest-state icon: every non-black pixel of the colour image becomes the
// grey of its luminance; black (the transparent part of a classic icon) stays black.

#include <cstdint>
#include <span>

#include "ui/colour.h"

namespace kivrel {

// 0.299 R + 0.587 G + 0.114 B, truncated to a byte.
[[nodiscard]] std::uint8_t GreyLevel(Colour colour) noexcept;

// Greys 32-bit pixels in place, stored blue, green, red, alpha (a DIB's order); alpha is kept.
// A trailing partial pixel is left alone.
void GreyPixels(std::span<std::uint8_t> bgra) noexcept;

}  // namespace kivrel
