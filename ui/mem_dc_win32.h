#pragma once
// Windows only. CMemDC: an off-screen surface over a drawing context, so a control's whole
// picture reaches the screen in one block transfer. On a printer it draws straight through.

#include <windows.h>

#include "ui/scoped_gdi_win32.h"

namespace kivrel {

class CMemDC {
public:
    // Covers the target's clip box, with the same origin, so drawing code uses the target's
    // coordinates unchanged.
    explicit CMemDC(HDC target);
    // Copies the picture to the target.
    ~CMemDC();
    CMemDC(const CMemDC&) = delete;
    CMemDC& operator=(const CMemDC&) = delete;

    // Where to draw: the memory surface, or the target itself on a printer (or when no
    // surface could be made).
    [[nodiscard]] HDC Get() const noexcept { return memory.Valid() ? memory.Get() : target; }
    operator HDC() const noexcept { return Get(); }

private:
    HDC target;
    RECT area{};
    // Released in reverse: the bitmap comes out of the context, then both are deleted.
    UniqueMemoryDc memory;
    UniqueBitmap bitmap;
    ScopedSelect selection;
};

}  // namespace kivrel
