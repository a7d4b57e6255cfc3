#include "ui/mem_dc_win32.h"

namespace kivrel {

CMemDC::CMemDC(HDC targetDc) : target(targetDc) {
    if (::GetDeviceCaps(target, TECHNOLOGY) == DT_RASPRINTER) return;
    ::GetClipBox(target, &area);
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    if (width <= 0 || height <= 0) return;
    UniqueMemoryDc surface(::CreateCompatibleDC(target));
    UniqueBitmap picture(::CreateCompatibleBitmap(target, width, height));
    if (!surface.Valid() || !picture.Valid()) return;  // drawn straight onto the target
    memory = std::move(surface);
    bitmap = std::move(picture);
    selection = ScopedSelect(memory.Get(), bitmap.Get());
    ::SetWindowOrgEx(memory.Get(), area.left, area.top, nullptr);
}

CMemDC::~CMemDC() {
    if (!memory.Valid()) return;
    ::BitBlt(target, area.left, area.top, area.right - area.left, area.bottom - area.top,
             memory.Get(), area.left, area.top, SRCCOPY);
}

}  // namespace kivrel
