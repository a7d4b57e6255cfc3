#pragma once
// Windows only: a control class over an existing window (a dialog template's control), by
// window subclassing. The object must outlive its window or Detach before it goes.

#include <windows.h>

namespace kivrel {

class SubclassedControl {
public:
    SubclassedControl() = default;
    virtual ~SubclassedControl();
    SubclassedControl(const SubclassedControl&) = delete;
    SubclassedControl& operator=(const SubclassedControl&) = delete;

    // Starts handling the window's messages. False when the window is null, this object is
    // already attached, or the subclass could not be installed.
    bool Attach(HWND window);
    // Stops handling them; the window keeps working as its own class. Safe to repeat.
    void Detach();
    [[nodiscard]] HWND Window() const noexcept { return hwnd; }

protected:
    // One message for the window; hand what is not handled to Default.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) = 0;
    // The window's own class (or the next subclass) handles the message.
    LRESULT Default(UINT message, WPARAM wParam, LPARAM lParam);
    // Called once attached, before any message arrives.
    virtual void OnAttached() {}

    // Also sees the parent's messages first (for what a control's parent is told about it:
    // owner drawing, notifications). Return a result to keep the message from the parent.
    bool WatchParent();
    virtual bool ParentProc(UINT /*message*/, WPARAM /*wParam*/, LPARAM /*lParam*/,
                            LRESULT& /*result*/) {
        return false;
    }

private:
    static LRESULT CALLBACK ControlProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                        UINT_PTR id, DWORD_PTR self);
    static LRESULT CALLBACK ParentSubclassProc(HWND window, UINT message, WPARAM wParam,
                                               LPARAM lParam, UINT_PTR id, DWORD_PTR self);

    HWND hwnd = nullptr;
    HWND parent = nullptr;
};

}  // namespace kivrel
