#pragma once
// POSIX only: file names are bytes. Names that are not UTF-8 (an archive made on a GBK system)
// still have to be found and deleted, so bytes that are not UTF-8 travel through the wide
// strings as U+DC80..U+DCFF and come back unchanged.

#include <string>
#include <string_view>

namespace kivrel {

[[nodiscard]] std::wstring WideFromNative(std::string_view native);
// False when the text holds a code point that has no encoding (neither UTF-8 nor an escaped
// byte); `native` is then unchanged.
[[nodiscard]] bool NativeFromWide(std::wstring_view wide, std::string& native);

}  // namespace kivrel
