#include "ui/ce_xdib_win32.h"

#include <cstring>

namespace kivrel {

void DibSurface::Release() noexcept {
    selection.Restore();
    memory.Reset();
    section.Reset();
    bits = nullptr;
    width = height = bitsPerPixel = 0;
}

bool DibSurface::Prepare(HDC target, const CCeXDib& picture) {
    if (section.Valid() && width == picture.Width() && height == picture.Height() &&
        bitsPerPixel == picture.BitsPerPixel()) {
        return true;
    }
    Release();
    const auto* info = reinterpret_cast<const BITMAPINFO*>(picture.Info().data());
    void* sectionBits = nullptr;
    UniqueBitmap made(::CreateDIBSection(target, info, DIB_RGB_COLORS, &sectionBits, nullptr, 0));
    UniqueMemoryDc context(made.Valid() ? ::CreateCompatibleDC(target) : nullptr);
    if (!context.Valid()) return false;
    section = std::move(made);
    memory = std::move(context);
    selection = ScopedSelect(memory.Get(), section.Get());
    bits = sectionBits;
    width = picture.Width();
    height = picture.Height();
    bitsPerPixel = picture.BitsPerPixel();
    return true;
}

void DibSurface::Draw(HDC target, int x, int y, const CCeXDib& picture) {
    if (!picture.IsValid() || !Prepare(target, picture)) return;
    ::GdiFlush();  // GDI must be done with the section before its bits change
    const auto rows = picture.Rows();
    std::memcpy(bits, rows.data(), rows.size());
    // The colour table may have changed since the section was made (a blend).
    const auto info = picture.Info();
    const auto* table = reinterpret_cast<const RGBQUAD*>(info.data() + sizeof(BITMAPINFOHEADER));
    ::SetDIBColorTable(memory.Get(), 0, static_cast<UINT>(picture.ColourCount()), table);
    ::BitBlt(target, x, y, width, height, memory.Get(), 0, 0, SRCCOPY);
}

}  // namespace kivrel
