#pragma once
// CCeXDib: a device-independent bitmap of 1, 4 or 8 bits per pixel held in one block (the
// 40-byte information header, the colour table, then the pixel rows bottom-up, each padded to
// four bytes), which Windows paints as it is. Painting lives in ce_xdib_win32.h.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "ui/colour.h"

namespace kivrel {

class CCeXDib {
public:
    // Largest side accepted; a button face is far smaller.
    static constexpr int kMaxSide = 8192;

    // A new picture, all pixels index 0 and the colour table black. False (and empty) for
    // sizes out of range or bit counts other than 1, 4 and 8.
    bool Create(int width, int height, int bitsPerPixel);
    void Clear() noexcept;

    [[nodiscard]] bool IsValid() const noexcept { return !block.empty(); }
    [[nodiscard]] int Width() const noexcept { return width; }
    [[nodiscard]] int Height() const noexcept { return height; }
    [[nodiscard]] int BitsPerPixel() const noexcept { return bits; }
    [[nodiscard]] int ColourCount() const noexcept { return bits > 0 ? 1 << bits : 0; }
    [[nodiscard]] std::size_t RowBytes() const noexcept { return RowBytesFor(width, bits); }
    [[nodiscard]] static constexpr std::size_t RowBytesFor(int width, int bitsPerPixel) noexcept {
        return (static_cast<std::size_t>(width) * bitsPerPixel + 31) / 32 * 4;
    }

    // Colour table entries; indices outside the table are ignored (and read as black).
    void SetPaletteIndex(int index, Colour colour) noexcept;
    [[nodiscard]] Colour PaletteIndex(int index) const noexcept;
    // Moves every colour table entry `percent` per cent toward `colour`.
    void BlendPalette(Colour colour, int percent) noexcept;

    // Pixels by colour index; rows are counted from the bottom, as the block stores them.
    // Positions outside the picture are ignored (and read as 0).
    void SetPixelIndex(int x, int y, std::uint8_t index) noexcept;
    [[nodiscard]] std::uint8_t PixelIndex(int x, int y) const noexcept;

    // The header and colour table together (a BITMAPINFO), and the pixel rows.
    [[nodiscard]] std::span<const std::uint8_t> Info() const noexcept;
    [[nodiscard]] std::span<const std::uint8_t> Rows() const noexcept;

private:
    static constexpr std::size_t kHeaderBytes = 40;
    [[nodiscard]] std::size_t PaletteBytes() const noexcept { return 4u * ColourCount(); }
    [[nodiscard]] bool Inside(int x, int y) const noexcept {
        return x >= 0 && y >= 0 && x < width && y < height;
    }

    std::vector<std::uint8_t> block;
    int width = 0;
    int height = 0;
    int bits = 0;
};

}  // namespace kivrel
