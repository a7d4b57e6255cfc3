#pragma once
// The prompts seam as Win32 message boxes. Windows only.

#include <windows.h>

#include "base/prompts.h"

namespace kivrel {

class MessageBoxPrompts : public Prompts {
public:
    // Boxes are owned by `owner`; without one, by the thread's active window, so a box shown
    // from a modal dialog stays in front of that dialog.
    explicit MessageBoxPrompts(HWND owner = nullptr) noexcept : owner(owner) {}
    void SetOwner(HWND window) noexcept { owner = window; }

    void ShowError(std::wstring_view text) override;
    void ShowInformation(std::wstring_view text, std::wstring_view caption) override;
    void ShowMessage(std::wstring_view text, std::wstring_view caption) override;
    [[nodiscard]] bool AskYesNo(std::wstring_view text, std::wstring_view caption) override;

private:
    int Show(std::wstring_view text, const wchar_t* caption, UINT type);

    HWND owner;
};

}  // namespace kivrel
