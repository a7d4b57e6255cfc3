#include "package/province_names.h"

#include <algorithm>
#include <cstdio>

namespace kivrel {
namespace {

constexpr std::uint8_t FoldCase(std::uint8_t c) noexcept {
    return c >= 'a' && c <= 'z' ? static_cast<std::uint8_t>(c - 'a' + 'A') : c;
}

// The bytes before the field's first zero, bounded by the field.
std::span<const std::uint8_t> NameBytes(std::span<const std::uint8_t> field) noexcept {
    const auto end = std::find(field.begin(), field.end(), std::uint8_t{0});
    return field.first(static_cast<std::size_t>(end - field.begin()));
}

}  // namespace

bool ProvinceNameEquals(std::span<const std::uint8_t> field, std::string_view name) noexcept {
    const std::span<const std::uint8_t> bytes = NameBytes(field);
    if (bytes.size() != name.size()) return false;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (FoldCase(bytes[i]) != FoldCase(static_cast<std::uint8_t>(name[i]))) return false;
    }
    return true;
}

int FindProvinceName(std::span<const std::uint8_t> field) noexcept {
    for (std::size_t i = 0; i < kProvinceNames.size(); ++i) {
        if (ProvinceNameEquals(field, kProvinceNames[i].gbk)) return static_cast<int>(i);
    }
    return -1;
}

std::string ProvinceNameForDisplay(std::span<const std::uint8_t> field) {
    const int known = FindProvinceName(field);
    if (known >= 0) return std::string(kProvinceNames[static_cast<std::size_t>(known)].utf8);
    std::string text;
    for (std::uint8_t c : NameBytes(field)) {
        if (c >= 0x20 && c < 0x7F) {
            text += static_cast<char>(c);
        } else {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", unsigned{c});
            text += escaped;
        }
    }
    return text;
}

}  // namespace kivrel
