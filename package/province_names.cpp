#include "package/province_names.h"

#include <algorithm>

#include "base/ascii_text.h"
#include "base/gbk_text.h"

namespace kivrel {
namespace {

// The bytes before the field's first zero, bounded by the field.
std::span<const std::uint8_t> NameBytes(std::span<const std::uint8_t> field) noexcept {
    const auto end = std::find(field.begin(), field.end(), std::uint8_t{0});
    return field.first(static_cast<std::size_t>(end - field.begin()));
}

std::span<const std::uint8_t> BytesOf(std::string_view text) noexcept {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

}  // namespace

bool ProvinceNameEquals(std::span<const std::uint8_t> field, std::string_view name) noexcept {
    return EqualsIgnoringAsciiCase(NameBytes(field), BytesOf(name));
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
    return GbkToUtf8(NameBytes(field));
}

std::optional<std::size_t> ParseProvince(std::string_view text) noexcept {
    for (std::size_t i = 0; i < kProvinceNames.size(); ++i) {
        if (text == kProvinceNames[i].utf8) return i;
    }
    if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos) {
        return std::nullopt;
    }
    std::size_t index = 0;
    for (const char digit : text) {
        index = index * 10 + static_cast<std::size_t>(digit - '0');
        if (index >= kProvinceCount) return std::nullopt;
    }
    return index;
}

std::string ParseProvinceList(std::string_view list,
                              std::array<std::int32_t, kProvinceCount>& flags) {
    flags.fill(0);
    std::size_t chosen = 0;
    while (true) {
        const std::size_t comma = list.find(',');
        const std::string_view item = TrimBlanks(list.substr(0, comma));
        if (!item.empty()) {
            const std::optional<std::size_t> index = ParseProvince(item);
            if (!index) {
                return "unknown province \"" + std::string(item) +
                       "\" (give 0-33 or a name such as " + std::string(kProvinceNames[27].utf8) +
                       ")";
            }
            if (flags[*index] == 0) ++chosen;
            flags[*index] = 1;
        }
        if (comma == std::string_view::npos) break;
        list.remove_prefix(comma + 1);
    }
    if (chosen == 0 || chosen > kMaxChosenProvinces) {
        return "choose 1 to " + std::to_string(kMaxChosenProvinces) + " provinces (" +
               std::to_string(chosen) + " given)";
    }
    return {};
}

}  // namespace kivrel
