#pragma once
// ASCII-only case folding, the "extension is X" test, and bytes shown as printable text. Only
// ASCII letters are folded: the names compared this way (file extensions, device names,
// province names in GBK) are ASCII or carry bytes that must not change.

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

// The hexadecimal digit of the low four bits of `value`.
[[nodiscard]] constexpr char HexDigit(unsigned value, bool upperCase = false) noexcept {
    return (upperCase ? "0123456789ABCDEF" : "0123456789abcdef")[value & 0xF];
}

// Appends the byte as it is when it is printable ASCII, otherwise as the four characters \xNN
// (upper-case digits). A backslash is escaped too, so that the text reads back unambiguously.
inline void AppendPrintable(std::string& text, std::uint8_t byte) {
    if (byte >= 0x20 && byte < 0x7F && byte != '\\') {
        text += static_cast<char>(byte);
        return;
    }
    text += "\\x";
    text += HexDigit(byte >> 4, true);
    text += HexDigit(byte, true);
}

// The text without the blanks and tabs at its two ends.
[[nodiscard]] constexpr std::string_view TrimBlanks(std::string_view text) noexcept {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

// Every byte as AppendPrintable shows it.
[[nodiscard]] inline std::string Printable(std::span<const std::uint8_t> bytes) {
    std::string text;
    for (const std::uint8_t byte : bytes) AppendPrintable(text, byte);
    return text;
}

}  // namespace kivrel
