#include "base/native_path.h"

#include <cstdint>

namespace kivrel {
namespace {

constexpr char32_t kEscapeBase = 0xDC00;  // escaped byte b is U+DC00 + b, for b >= 0x80

[[nodiscard]] bool IsContinuation(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

// Length of the well-formed UTF-8 sequence at `text`, with its code point; 0 when it is not one.
[[nodiscard]] std::size_t DecodeOne(std::string_view text, char32_t& codePoint) {
    const auto lead = static_cast<unsigned char>(text[0]);
    std::size_t length = 0;
    char32_t value = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2, value = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, value = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, value = lead & 0x07, minimum = 0x10000;
    } else {
        return 0;
    }
    if (text.size() < length) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (!IsContinuation(c)) return 0;
        value = (value << 6) | (c & 0x3F);
    }
    // Overlong forms, surrogates and values past Unicode are not UTF-8.
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
    codePoint = value;
    return length;
}

void Encode(char32_t c, std::string& out) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

}  // namespace

std::wstring WideFromNative(std::string_view native) {
    static_assert(sizeof(wchar_t) == 4, "POSIX wide strings hold whole code points");
    std::wstring wide;
    wide.reserve(native.size());
    while (!native.empty()) {
        char32_t codePoint = 0;
        std::size_t length = DecodeOne(native, codePoint);
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
            Encode(c, out);
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
