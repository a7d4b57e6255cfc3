#include "cli/cli_text.h"

#include <cstdio>

#include "base/native_path.h"

namespace kivrel::cli {

std::string Hex(std::span<const std::uint8_t> bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (std::uint8_t b : bytes) {
        text += kDigits[b >> 4];
        text += kDigits[b & 0xF];
    }
    return text;
}

std::string Hex32(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(value));
    return text;
}

std::filesystem::path ArgumentPath(std::string_view argument) {
    return NativePath(WidePathFromArgument(argument));
}

}  // namespace kivrel::cli
