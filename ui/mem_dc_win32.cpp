#include "ui/mem_dc_win32.h"

namespace kivrel {

CMemDC::CMemDC(HDC targetDc) : target(targetDc) {
    if (::GetDeviceCaps(target, TECHNOLOGY) == DT_RASPRINTER) return;
    ::GetClipBox(target, &area);
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    if (width <= 0 || height <= 0) return;
    memory = ::CreateCompatibleDC(target);
    bitmap = ::CreateCompatibleBitmap(target, width, height);
    if (memory == nullptr || bitmap == nullptr) {
        if (bitmap != nullptr) ::DeleteObject(bitmap);
        if (memory != nullptr) ::DeleteDC(memory);
        memory = nullptr;
        bitmap = nullptr;
        return;
    }
    previousBitmap = ::SelectObject(memory, bitmap);
    ::SetWindowOrgEx(memory, area.left, area.top, nullptr);
}

CMemDC::~CMemDC() {
    if (memory == nullptr) return;
    ::BitBlt(target, area.left, area.top, area.right - area.left, area.bottom - area.top, memory,
             area.left, area.top, SRCCOPY);
    ::SelectObject(memory, previousBitmap);
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
}

}  // namespace kivrel
