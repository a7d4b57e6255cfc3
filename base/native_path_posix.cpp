#include <cstdint>

#include "base/native_path.h"
#include "base/text.h"

namespace kivrel {
namespace {

constexpr char32_t kEscapeBase = 0xDC00;  // escaped byte b is U+DC00 + b, for b >= 0x80

}  // namespace

std::wstring WideFromNative(std::string_view native) {
    static_assert(sizeof(wchar_t) == 4, "POSIX wide strings hold whole code points");
    std::wstring wide;
    wide.reserve(native.size());
    while (!native.empty()) {
        char32_t codePoint = 0;
        std::size_t length = DecodeUtf8(native, codePoint);
        if (length == 0) {
            codePoint = kEscapeBase + static_cast<unsigned char>(native[0]);
            length = 1;
        }
        wide += static_cast<wchar_t>(codePoint);
        native.remove_prefix(length);
    }
    return wide;
}

bool NativeFromWide(std::wstring_view wide, std::string& native) {
    std::string out;
    out.reserve(wide.size());
    for (wchar_t w : wide) {
        const auto c = static_cast<char32_t>(w);
        if (c >= kEscapeBase + 0x80 && c <= kEscapeBase + 0xFF) {
            out += static_cast<char>(c - kEscapeBase);
        } else if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF) || c == 0) {
            return false;
        } else {
            AppendUtf8(out, c);
        }
    }
    native = std::move(out);
    return true;
}

std::filesystem::path NativePath(std::wstring_view path) {
    std::string native;
    // A name that cannot be encoded names no file; an empty path opens nothing.
    if (!NativeFromWide(path, native)) return {};
    return std::filesystem::path(native);
}

std::wstring WidePathFromArgument(std::string_view argument) {
    return WideFromNative(argument);
}

}  // namespace kivrel
