#pragma once
// Paths as the system names files. Windows names are UTF-16, as our wide strings. POSIX names
// are bytes: names that are not UTF-8 (an archive made on a GBK system) still have to be found,
// loaded and deleted, so bytes that are not UTF-8 travel through wide strings as
// U+DC80..U+DCFF and come back unchanged.

#include <filesystem>
#include <string>
#include <string_view>

namespace kivrel {

// A path for the standard library's files and streams.
[[nodiscard]] std::filesystem::path NativePath(std::wstring_view path);
// A wide path from a command-line argument: UTF-8 on Windows (converted from UTF-16 by the
// tool's entry), the system's bytes elsewhere.
[[nodiscard]] std::wstring WidePathFromArgument(std::string_view argument);

#ifndef _WIN32
[[nodiscard]] std::wstring WideFromNative(std::string_view native);
// False when the text holds a code point that has no encoding (neither UTF-8 nor an escaped
// byte, or a zero); `native` is then unchanged.
[[nodiscard]] bool NativeFromWide(std::wstring_view wide, std::string& native);
#endif

}  // namespace kivrel
