#include "ui/grey_icon.h"

namespace kivrel {

std::uint8_t GreyLevel(Colour colour) noexcept {
    // In thousandths, so the weights are exact and the result truncates as the formula says.
    const unsigned level = 299u * colour.r + 587u * colour.g + 114u * colour.b;
    return static_cast<std::uint8_t>(level / 1000u);
}

void GreyPixels(std::span<std::uint8_t> bgra) noexcept {
    for (std::size_t i = 0; i + 4 <= bgra.size(); i += 4) {
        const Colour colour{bgra[i + 2], bgra[i + 1], bgra[i]};
        if (colour == Colour{}) continue;
        const std::uint8_t level = GreyLevel(colour);
        bgra[i] = bgra[i + 1] = bgra[i + 2] = level;
    }
}

}  // namespace kivrel
