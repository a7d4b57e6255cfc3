#pragma once
// The tool's own list of the 34 provinces. Province flags are given in this order, and a
// regional database takes the update file's province entries whose names equal these.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace kivrel {

inline constexpr std::size_t kProvinceCount = 34;
inline constexpr std::size_t kProvinceNameTableBytes = 20;  // each name's field, zero-padded
inline constexpr std::size_t kMaxChosenProvinces = 12;      // what a unit takes at most

struct ProvinceName {
    std::string_view gbk;   // as compared with update files
    std::string_view utf8;  // for display
};

inline constexpr std::array<ProvinceName, kProvinceCount> kProvinceNames = {{
    {"\xB1\xB1\xBE\xA9", "\xE5\x8C\x97\xE4\xBA\xAC"},                      // 0 北京
    {"\xC9\xCF\xBA\xA3", "\xE4\xB8\x8A\xE6\xB5\xB7"},                      // 1 上海
    {"\xCC\xEC\xBD\xF2", "\xE5\xA4\xA9\xE6\xB4\xA5"},                      // 2 天津
    {"\xD6\xD8\xC7\xEC", "\xE9\x87\x8D\xE5\xBA\x86"},                      // 3 重庆
    {"\xBA\xDA\xC1\xFA\xBD\xAD", "\xE9\xBB\x91\xE9\xBE\x99\xE6\xB1\x9F"},  // 4 黑龙江
    {"\xBC\xAA\xC1\xD6", "\xE5\x90\x89\xE6\x9E\x97"},                      // 5 吉林
    {"\xC1\xC9\xC4\xFE", "\xE8\xBE\xBD\xE5\xAE\x81"},                      // 6 辽宁
    {"\xC4\xDA\xC3\xC9\xB9\xC5", "\xE5\x86\x85\xE8\x92\x99\xE5\x8F\xA4"},  // 7 内蒙古
    {"\xBA\xD3\xB1\xB1", "\xE6\xB2\xB3\xE5\x8C\x97"},                      // 8 河北
    {"\xC9\xBD\xCE\xF7", "\xE5\xB1\xB1\xE8\xA5\xBF"},                      // 9 山西
    {"\xC9\xC2\xCE\xF7", "\xE9\x99\x95\xE8\xA5\xBF"},                      // 10 陕西
    {"\xC9\xBD\xB6\xAB", "\xE5\xB1\xB1\xE4\xB8\x9C"},                      // 11 山东
    {"\xD0\xC2\xBD\xAE", "\xE6\x96\xB0\xE7\x96\x86"},                      // 12 新疆
    {"\xCE\xF7\xB2\xD8", "\xE8\xA5\xBF\xE8\x97\x8F"},                      // 13 西藏
    {"\xC7\xE0\xBA\xA3", "\xE9\x9D\x92\xE6\xB5\xB7"},                      // 14 青海
    {"\xB8\xCA\xCB\xE0", "\xE7\x94\x98\xE8\x82\x83"},                      // 15 甘肃
    {"\xC4\xFE\xCF\xC4", "\xE5\xAE\x81\xE5\xA4\x8F"},                      // 16 宁夏
    {"\xBA\xD3\xC4\xCF", "\xE6\xB2\xB3\xE5\x8D\x97"},                      // 17 河南
    {"\xBD\xAD\xCB\xD5", "\xE6\xB1\x9F\xE8\x8B\x8F"},                      // 18 江苏
    {"\xBA\xFE\xB1\xB1", "\xE6\xB9\x96\xE5\x8C\x97"},                      // 19 湖北
    {"\xD5\xE3\xBD\xAD", "\xE6\xB5\x99\xE6\xB1\x9F"},                      // 20 浙江
    {"\xB0\xB2\xBB\xD5", "\xE5\xAE\x89\xE5\xBE\xBD"},                      // 21 安徽
    {"\xB8\xA3\xBD\xA8", "\xE7\xA6\x8F\xE5\xBB\xBA"},                      // 22 福建
    {"\xBD\xAD\xCE\xF7", "\xE6\xB1\x9F\xE8\xA5\xBF"},                      // 23 江西
    {"\xBA\xFE\xC4\xCF", "\xE6\xB9\x96\xE5\x8D\x97"},                      // 24 湖南
    {"\xB9\xF3\xD6\xDD", "\xE8\xB4\xB5\xE5\xB7\x9E"},                      // 25 贵州
    {"\xCB\xC4\xB4\xA8", "\xE5\x9B\x9B\xE5\xB7\x9D"},                      // 26 四川
    {"\xB9\xE3\xB6\xAB", "\xE5\xB9\xBF\xE4\xB8\x9C"},                      // 27 广东
    {"\xD4\xC6\xC4\xCF", "\xE4\xBA\x91\xE5\x8D\x97"},                      // 28 云南
    {"\xB9\xE3\xCE\xF7", "\xE5\xB9\xBF\xE8\xA5\xBF"},                      // 29 广西
    {"\xBA\xA3\xC4\xCF", "\xE6\xB5\xB7\xE5\x8D\x97"},                      // 30 海南
    {"\xCF\xE3\xB8\xDB", "\xE9\xA6\x99\xE6\xB8\xAF"},                      // 31 香港
    {"\xB0\xC4\xC3\xC5", "\xE6\xBE\xB3\xE9\x97\xA8"},                      // 32 澳门
    {"\xCC\xA8\xCD\xE5", "\xE5\x8F\xB0\xE6\xB9\xBE"},                      // 33 台湾
}};

// Compares a province name field (GBK, ended by its first zero byte or by the end of the
// field, never read past) with a name, ASCII letters folded to one case.
[[nodiscard]] bool ProvinceNameEquals(std::span<const std::uint8_t> field,
                                      std::string_view name) noexcept;

// Index in kProvinceNames of the name in a field, or -1.
[[nodiscard]] int FindProvinceName(std::span<const std::uint8_t> field) noexcept;

// Display text of a name field, in UTF-8: the name decoded from GBK, with the bytes that are
// not GBK shown as \xNN (GbkToUtf8). The 34 names of the table need no converter.
[[nodiscard]] std::string ProvinceNameForDisplay(std::span<const std::uint8_t> field);

// The province a user names: its index 0-33 in decimal ("010" is 10) or its name in UTF-8 as
// in kProvinceNames. Nothing for any other text, blanks included.
[[nodiscard]] std::optional<std::size_t> ParseProvince(std::string_view text) noexcept;

// A comma-separated list of 1 to kMaxChosenProvinces provinces, each as ParseProvince reads
// it with blanks around it ignored, as one flag per entry of kProvinceNames (1 = chosen).
// Naming a province twice chooses it once. Empty on success; otherwise what is wrong, and
// `flags` is unspecified.
[[nodiscard]] std::string ParseProvinceList(std::string_view list,
                                            std::array<std::int32_t, kProvinceCount>& flags);

}  // namespace kivrel
