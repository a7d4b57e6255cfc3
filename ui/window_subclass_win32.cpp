#include "ui/window_subclass_win32.h"

#include <commctrl.h>

namespace kivrel {

SubclassedControl::~SubclassedControl() {
    Detach();
}

bool SubclassedControl::Attach(HWND window) {
    if (window == nullptr || hwnd != nullptr) return false;
    if (!::SetWindowSubclass(window, &ControlProc, reinterpret_cast<UINT_PTR>(this),
                             reinterpret_cast<DWORD_PTR>(this))) {
        return false;
    }
    hwnd = window;
    OnAttached();
    return true;
}

void SubclassedControl::Detach() {
    if (parent != nullptr) {
        ::RemoveWindowSubclass(parent, &ParentSubclassProc, reinterpret_cast<UINT_PTR>(this));
        parent = nullptr;
    }
    if (hwnd != nullptr) {
        ::RemoveWindowSubclass(hwnd, &ControlProc, reinterpret_cast<UINT_PTR>(this));
        hwnd = nullptr;
    }
}

LRESULT SubclassedControl::Default(UINT message, WPARAM wParam, LPARAM lParam) {
    return ::DefSubclassProc(hwnd, message, wParam, lParam);
}

bool SubclassedControl::WatchParent() {
    if (hwnd == nullptr || parent != nullptr) return parent != nullptr;
    HWND owner = ::GetParent(hwnd);
    // One subclass per control: several controls may watch the same parent.
    if (owner == nullptr ||
        !::SetWindowSubclass(owner, &ParentSubclassProc, reinterpret_cast<UINT_PTR>(this),
                             reinterpret_cast<DWORD_PTR>(this))) {
        return false;
    }
    parent = owner;
    return true;
}

LRESULT CALLBACK SubclassedControl::ControlProc(HWND window, UINT message, WPARAM wParam,
                                                LPARAM lParam, UINT_PTR, DWORD_PTR self) {
    auto* control = reinterpret_cast<SubclassedControl*>(self);
    if (message == WM_NCDESTROY) {
        // The window goes; so does our link to it (and to its parent).
        control->Detach();
        return ::DefSubclassProc(window, message, wParam, lParam);
    }
    try {
        return control->WindowProc(message, wParam, lParam);
    } catch (...) {
        // A window procedure is the last line: nothing may cross into the system's code.
        return ::DefSubclassProc(window, message, wParam, lParam);
    }
}

LRESULT CALLBACK SubclassedControl::ParentSubclassProc(HWND window, UINT message, WPARAM wParam,
                                                       LPARAM lParam, UINT_PTR id, DWORD_PTR self) {
    auto* control = reinterpret_cast<SubclassedControl*>(self);
    if (message == WM_NCDESTROY) {
        ::RemoveWindowSubclass(window, &ParentSubclassProc, id);
        control->parent = nullptr;
        return ::DefSubclassProc(window, message, wParam, lParam);
    }
    LRESULT result = 0;
    try {
        if (control->ParentProc(message, wParam, lParam, result)) return result;
    } catch (...) {
    }
    return ::DefSubclassProc(window, message, wParam, lParam);
}

}  // namespace kivrel
