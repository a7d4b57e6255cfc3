#pragma once

#include <string>
#include <string_view>

namespace kivrel {

// Paths and user-visible texts are wide strings; terminals, JSON and POSIX file names want
// UTF-8. Invalid sequences become U+FFFD rather than being dropped silently.
[[nodiscard]] std::string WideToUtf8(std::wstring_view text);
[[nodiscard]] std::wstring Utf8ToWide(std::string_view text);

// One code point, encoded.
void AppendUtf8(std::string& out, char32_t codePoint);
// The length of the well-formed UTF-8 sequence at the start of `text` (not empty), with its
// code point; 0 when it is not one (overlong forms, surrogates and values past Unicode
// included).
[[nodiscard]] std::size_t DecodeUtf8(std::string_view text, char32_t& codePoint) noexcept;

}  // namespace kivrel
