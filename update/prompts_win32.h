#pragma once
// Message boxes over a window. Windows only.

#include <windows.h>

#include "update/prompts.h"

namespace kivrel {

class MessageBoxPrompts : public Prompts {
public:
    explicit MessageBoxPrompts(HWND owner = nullptr) noexcept : owner(owner) {}
    void SetOwner(HWND window) noexcept { owner = window; }

    // Error icon, the system's default caption.
    void ShowError(std::wstring_view text) override;
    void ShowInformation(std::wstring_view text, std::wstring_view caption) override;
    [[nodiscard]] bool AskYesNo(std::wstring_view text, std::wstring_view caption) override;

private:
    HWND owner;
};

}  // namespace kivrel
