#pragma once
// The shaded face of CShadeButtonST: a 256-colour ramp from the system's button shadow through
// the face colour to the highlight, tinted toward blue, painted bottom (dark) to top (light)
// with grain; and the hover variant, lighter still.

#include <array>
#include <cstdint>

#include "ui/ce_xdib.h"
#include "ui/colour.h"

namespace kivrel {

struct ShadeColours {
    Colour shadow;
    Colour face;
    Colour highlight;
};

inline constexpr Colour kShadeTint{55, 57, 255};
inline constexpr int kShadeTintPercent = 5;
inline constexpr int kHoverLightPercent = 20;

// The ramp before the tint: entries 0-128 from shadow to face, then 128-255 from face toward
// the highlight (entry 128 belongs to the second half).
[[nodiscard]] std::array<Colour, 256> ShadeRamp(const ShadeColours& colours) noexcept;

struct ShadeFaces {
    CCeXDib face;
    CCeXDib hover;
};
// Both pictures for a button of width x height pixels (8 bits per pixel). `seed` drives the
// grain, so two buttons (or two runs) differ slightly. Empty pictures for an empty size.
[[nodiscard]] ShadeFaces MakeShadeFaces(int width, int height, const ShadeColours& colours,
                                        std::uint32_t seed);

}  // namespace kivrel
