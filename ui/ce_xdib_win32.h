#pragma once
// Windows only: painting a CCeXDib. The device-independent section and its memory drawing
// context are made on the first paint and kept; each paint copies the pixel rows (and colour
// table) in and transfers the section unscaled.

#include <windows.h>

#include "ui/ce_xdib.h"
#include "ui/scoped_gdi_win32.h"

namespace kivrel {

class DibSurface {
public:
    DibSurface() = default;
    DibSurface(const DibSurface&) = delete;
    DibSurface& operator=(const DibSurface&) = delete;

    // Paints the picture with its top-left corner at (x, y). Nothing for an empty picture.
    void Draw(HDC target, int x, int y, const CCeXDib& picture);

private:
    bool Prepare(HDC target, const CCeXDib& picture);
    void Release() noexcept;

    // Released in reverse: the section comes out of the context, then both are deleted.
    UniqueBitmap section;
    UniqueMemoryDc memory;
    ScopedSelect selection;
    void* bits = nullptr;  // the section's pixels
    int width = 0;
    int height = 0;
    int bitsPerPixel = 0;
};

}  // namespace kivrel
