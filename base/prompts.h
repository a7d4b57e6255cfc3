#pragma once
// Message boxes and questions, as a seam: Win32 message boxes in the window, stdin or --yes
// on the command line, scripted answers in tests.

#include <string_view>

namespace kivrel {

inline constexpr std::wstring_view kToolCaption = L"Update Tool";

class Prompts {
public:
    virtual ~Prompts() = default;
    // An error box: error icon and the system's default caption.
    virtual void ShowError(std::wstring_view text) = 0;
    // An information box with the given caption.
    virtual void ShowInformation(std::wstring_view text, std::wstring_view caption) = 0;
    // A plain box with an OK button and no icon, with the given caption. Implementations
    // that have no such box show it as an information box.
    virtual void ShowMessage(std::wstring_view text, std::wstring_view caption) {
        ShowInformation(text, caption);
    }
    // A Yes/No question; true only for Yes.
    [[nodiscard]] virtual bool AskYesNo(std::wstring_view text, std::wstring_view caption) = 0;
};

}  // namespace kivrel
