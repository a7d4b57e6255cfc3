#include "ui/ce_xdib_win32.h"

#include <cstring>

namespace kivrel {

DibSurface::~DibSurface() {
    Release();
}

void DibSurface::Release() noexcept {
    if (memory != nullptr) {
        ::SelectObject(memory, previous);
        ::DeleteDC(memory);
    }
    if (section != nullptr) ::DeleteObject(section);
    memory = nullptr;
    section = nullptr;
    bits = nullptr;
    width = height = bitsPerPixel = 0;
}

bool DibSurface::Prepare(HDC target, const CCeXDib& picture) {
    if (section != nullptr && width == picture.Width() && height == picture.Height() &&
        bitsPerPixel == picture.BitsPerPixel()) {
        return true;
    }
    Release();
    const auto* info = reinterpret_cast<const BITMAPINFO*>(picture.Info().data());
    section = ::CreateDIBSection(target, info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (section == nullptr) return false;
    memory = ::CreateCompatibleDC(target);
    if (memory == nullptr) {
        Release();
        return false;
    }
    previous = ::SelectObject(memory, section);
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
    ::SetDIBColorTable(memory, 0, static_cast<UINT>(picture.ColourCount()), table);
    ::BitBlt(target, x, y, width, height, memory, 0, 0, SRCCOPY);
}

}  // namespace kivrel
