#pragma once

#include <string>
#include <string_view>

namespace kivrel {

// Paths and user-visible texts are wide strings; terminals, JSON and POSIX file names want
// UTF-8. Invalid sequences become U+FFFD rather than being dropped silently.
[[nodiscard]] std::string WideToUtf8(std::wstring_view text);
[[nodiscard]] std::wstring Utf8ToWide(std::string_view text);

}  // namespace kivrel
