#include "ui/ce_xdib.h"

#include "base/le_bytes.h"

namespace kivrel {

bool CCeXDib::Create(int newWidth, int newHeight, int bitsPerPixel) {
    Clear();
    if (newWidth <= 0 || newHeight <= 0 || newWidth > kMaxSide || newHeight > kMaxSide) {
        return false;
    }
    if (bitsPerPixel != 1 && bitsPerPixel != 4 && bitsPerPixel != 8) return false;
    width = newWidth;
    height = newHeight;
    bits = bitsPerPixel;
    const std::size_t imageBytes = RowBytes() * static_cast<std::size_t>(height);
    block.assign(kHeaderBytes + PaletteBytes() + imageBytes, 0);

    // BITMAPINFOHEADER: positive height, so rows run bottom-up; uncompressed.
    std::uint8_t* h = block.data();
    PutU32(h + 0, kHeaderBytes);
    PutU32(h + 4, static_cast<std::uint32_t>(width));
    PutU32(h + 8, static_cast<std::uint32_t>(height));
    PutU16(h + 12, 1);  // planes
    PutU16(h + 14, static_cast<std::uint16_t>(bits));
    PutU32(h + 20, static_cast<std::uint32_t>(imageBytes));
    PutU32(h + 32, static_cast<std::uint32_t>(ColourCount()));  // colours used
    return true;
}

void CCeXDib::Clear() noexcept {
    block.clear();
    block.shrink_to_fit();
    width = height = bits = 0;
}

void CCeXDib::SetPaletteIndex(int index, Colour colour) noexcept {
    if (index < 0 || index >= ColourCount()) return;
    std::uint8_t* entry = block.data() + kHeaderBytes + 4 * static_cast<std::size_t>(index);
    entry[0] = colour.b;  // RGBQUAD order
    entry[1] = colour.g;
    entry[2] = colour.r;
    entry[3] = 0;
}

Colour CCeXDib::PaletteIndex(int index) const noexcept {
    if (index < 0 || index >= ColourCount()) return {};
    const std::uint8_t* entry = block.data() + kHeaderBytes + 4 * static_cast<std::size_t>(index);
    return {entry[2], entry[1], entry[0]};
}

void CCeXDib::BlendPalette(Colour colour, int percent) noexcept {
    for (int i = 0; i < ColourCount(); ++i) {
        SetPaletteIndex(i, BlendToward(PaletteIndex(i), colour, percent));
    }
}

void CCeXDib::SetPixelIndex(int x, int y, std::uint8_t index) noexcept {
    if (!Inside(x, y)) return;
    std::uint8_t* row =
        block.data() + kHeaderBytes + PaletteBytes() + RowBytes() * static_cast<std::size_t>(y);
    const int perByte = 8 / bits;
    std::uint8_t& byte = row[x / perByte];
    // The leftmost pixel sits in the highest bits of its byte.
    const int shift = (perByte - 1 - x % perByte) * bits;
    const auto mask = static_cast<std::uint8_t>(((1u << bits) - 1) << shift);
    byte = static_cast<std::uint8_t>((byte & ~mask) | ((index << shift) & mask));
}

std::uint8_t CCeXDib::PixelIndex(int x, int y) const noexcept {
    if (!Inside(x, y)) return 0;
    const std::uint8_t* row =
        block.data() + kHeaderBytes + PaletteBytes() + RowBytes() * static_cast<std::size_t>(y);
    const int perByte = 8 / bits;
    const int shift = (perByte - 1 - x % perByte) * bits;
    return static_cast<std::uint8_t>((row[x / perByte] >> shift) & ((1u << bits) - 1));
}

std::span<const std::uint8_t> CCeXDib::Info() const noexcept {
    if (!IsValid()) return {};
    return std::span<const std::uint8_t>(block).first(kHeaderBytes + PaletteBytes());
}

std::span<const std::uint8_t> CCeXDib::Rows() const noexcept {
    if (!IsValid()) return {};
    return std::span<const std::uint8_t>(block).subspan(kHeaderBytes + PaletteBytes());
}

}  // namespace kivrel
