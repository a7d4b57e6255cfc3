#pragma once
// Windows only: GDI objects and drawing contexts owned by a scope, so that no way out of a
// drawing function (an early return included) leaks an object or leaves one selected.

#include <windows.h>

#include <utility>

#include "base/unique_resource.h"

namespace kivrel {

// A bitmap, font, brush or pen we made, deleted with DeleteObject. It must not be selected
// into a context when it goes: declare it before the ScopedSelect that selects it.
template <typename Handle>
struct GdiObjectTraits {
    using Native = Handle;
    static Native Invalid() noexcept { return nullptr; }
    static void Close(Native object) noexcept { ::DeleteObject(object); }
};
template <typename Handle>
using UniqueGdiObject = UniqueResource<GdiObjectTraits<Handle>>;
using UniqueBitmap = UniqueGdiObject<HBITMAP>;
using UniqueFont = UniqueGdiObject<HFONT>;

// A memory context from CreateCompatibleDC, deleted with DeleteDC.
struct MemoryDcTraits {
    using Native = HDC;
    static Native Invalid() noexcept { return nullptr; }
    static void Close(Native dc) noexcept { ::DeleteDC(dc); }
};
using UniqueMemoryDc = UniqueResource<MemoryDcTraits>;

// An icon of our own (not loaded with LR_SHARED), destroyed with DestroyIcon.
struct IconTraits {
    using Native = HICON;
    static Native Invalid() noexcept { return nullptr; }
    static void Close(Native icon) noexcept { ::DestroyIcon(icon); }
};
using UniqueIcon = UniqueResource<IconTraits>;

// The context of a window (null: the screen) from GetDC, released with ReleaseDC.
class WindowDc {
public:
    explicit WindowDc(HWND window) noexcept : window(window), dc(::GetDC(window)) {}
    ~WindowDc() {
        if (dc != nullptr) ::ReleaseDC(window, dc);
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;

    // Null when the system gave no context.
    [[nodiscard]] HDC Get() const noexcept { return dc; }

private:
    HWND window;
    HDC dc;
};

// Selects an object into a context and puts back the one it replaced when it goes (or on
// Restore). Selecting further objects into the same context within its scope is fine: the
// first one's predecessor is what comes back. Moves, never copies.
class ScopedSelect {
public:
    ScopedSelect() = default;
    // A failed selection (a null context or object) restores nothing.
    ScopedSelect(HDC dc, HGDIOBJ object) noexcept
        : dc(dc),
          previous(dc != nullptr && object != nullptr ? ::SelectObject(dc, object) : nullptr) {}
    ~ScopedSelect() { Restore(); }
    ScopedSelect(ScopedSelect&& other) noexcept
        : dc(std::exchange(other.dc, nullptr)), previous(std::exchange(other.previous, nullptr)) {}
    ScopedSelect& operator=(ScopedSelect&& other) noexcept {
        if (this != &other) {
            Restore();
            dc = std::exchange(other.dc, nullptr);
            previous = std::exchange(other.previous, nullptr);
        }
        return *this;
    }
    ScopedSelect(const ScopedSelect&) = delete;
    ScopedSelect& operator=(const ScopedSelect&) = delete;

    // Whether the object went in.
    [[nodiscard]] bool Selected() const noexcept { return previous != nullptr; }
    void Restore() noexcept {
        if (previous != nullptr) ::SelectObject(dc, previous);
        dc = nullptr;
        previous = nullptr;
    }

private:
    HDC dc = nullptr;
    HGDIOBJ previous = nullptr;
};

// SaveDC now, RestoreDC when it goes: the clip region, the origins, the colours and the
// selected objects all come back as they were.
class ScopedSaveDc {
public:
    explicit ScopedSaveDc(HDC dc) noexcept : dc(dc), saved(::SaveDC(dc)) {}
    ~ScopedSaveDc() {
        if (saved != 0) ::RestoreDC(dc, saved);
    }
    ScopedSaveDc(const ScopedSaveDc&) = delete;
    ScopedSaveDc& operator=(const ScopedSaveDc&) = delete;

private:
    HDC dc;
    int saved;
};

}  // namespace kivrel
