#pragma once
// ASCII-only case folding and the "extension is X" test. Only ASCII letters are folded:
// the names compared this way (file extensions, device names, province names in GBK) are
// ASCII or carry bytes that must not change.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace kivrel {

template <typename Char>
[[nodiscard]] constexpr Char FoldAscii(Char c) noexcept {
    return (c >= Char('A') && c <= Char('Z')) ? static_cast<Char>(c - Char('A') + Char('a')) : c;
}

template <typename Char>
[[nodiscard]] constexpr bool EqualsIgnoringAsciiCase(std::basic_string_view<Char> a,
                                                     std::basic_string_view<Char> b) noexcept {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
    }
    return true;
}
[[nodiscard]] constexpr bool EqualsIgnoringAsciiCase(std::wstring_view a,
                                                     std::wstring_view b) noexcept {
    return EqualsIgnoringAsciiCase<wchar_t>(a, b);
}
[[nodiscard]] constexpr bool EqualsIgnoringAsciiCase(std::string_view a,
                                                     std::string_view b) noexcept {
    return EqualsIgnoringAsciiCase<char>(a, b);
}
[[nodiscard]] constexpr bool EqualsIgnoringAsciiCase(std::span<const std::uint8_t> a,
                                                     std::span<const std::uint8_t> b) noexcept {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
    }
    return true;
}

// The text after the last "." (the whole text when there is none).
[[nodiscard]] constexpr std::wstring_view ExtensionOf(std::wstring_view name) noexcept {
    const std::size_t dot = name.rfind(L'.');
    return dot == std::wstring_view::npos ? name : name.substr(dot + 1);
}

// True when the text after the last "." equals `extension` ignoring ASCII case; a name
// without a dot is compared whole, so "qdx" alone counts as having the extension "qdx".
[[nodiscard]] constexpr bool ExtensionIs(std::wstring_view name,
                                         std::wstring_view extension) noexcept {
    return EqualsIgnoringAsciiCase(ExtensionOf(name), extension);
}

}  // namespace kivrel
