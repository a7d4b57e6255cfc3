#include "package/vendor_config.h"

#include <algorithm>

namespace kivrel {
namespace {

// Fictional brands and companies, in GBK. None of these five begins with another, so every
// rule of the file check decides cases of its own: brand K's tools take K and Z files, the
// company's tools (tag C1 or C2) take its brand S and its own files.
constexpr std::string_view kBrandK = "\xBF\xAD\xCE\xAC\xC0\xD7\xB6\xFB";  // 凯维雷尔
constexpr std::string_view kBrandZ = "\xD6\xC7\xD1\xDB";                  // 智眼
constexpr std::string_view kBrandS = "\xCB\xD9\xB0\xB2\xB4\xEF";          // 速安达
// 澜拓电子科技公司
constexpr std::string_view kCompanyC1 =
    "\xC0\xBD\xCD\xD8\xB5\xE7\xD7\xD3\xBF\xC6\xBC\xBC\xB9\xAB\xCB\xBE";
// 深圳澜拓电子科技股份有限公司
constexpr std::string_view kCompanyC2 =
    "\xC9\xEE\xDB\xDA\xC0\xBD\xCD\xD8\xB5\xE7\xD7\xD3\xBF\xC6\xBC\xBC\xB9\xC9\xB7\xDD"
    "\xD3\xD0\xCF\xDE\xB9\xAB\xCB\xBE";

// The company's tools also take the units of its brand, of the brand's older name, of its
// full name and of its export line.
constexpr std::string_view kCompanyAccepts[] = {
    kBrandS,
    "\xCB\xD9\xB0\xB2",  // 速安, the brand's older units
    kCompanyC2,
    "LT",
};
// Units sold under the old "KVR1" tag with early firmware carry the old settings layout and
// are re-tagged on their next update.
constexpr std::string_view kOldUnitTags[] = {"KVR1"};

// Fictional brands and companies in GBK, and addresses under the reserved .example domain.
// Rule 8 takes the company's tools, whose own units match none of rules 2 to 7.
constexpr VersionSource kVersionSources[] = {
    {VersionRuleKind::kNeutralTool, "                     ",  // 21 blanks
     L"http://update.kivrel.example/database/version.txt"},
    {VersionRuleKind::kUnitBegins, "GPS\xC0\xD7\xB4\xEF\xCE\xC0\xCA\xBF",  // GPS雷达卫士
     L"http://download.radar-guard.example/db/version.txt"},
    {VersionRuleKind::kUnitBegins, "KIVRL",  //
     L"http://update.kivrel.example/kivrl/version.txt"},
    {VersionRuleKind::kUnitBegins, "\xCB\xD9\xB0\xB2\xB4\xEF",  // 速安达
     L"http://www.suanda.example/update/version.txt"},
    {VersionRuleKind::kUnitBegins, "\xBF\xAD\xCE\xAC\xC0\xD7\xB6\xFB",  // 凯维雷尔
     L"http://update.kivrel.example/company/version.txt"},
    {VersionRuleKind::kUnitBegins, "\xD3\xA5\xD1\xDB\xD0\xD0\xB3\xB5\xB1\xA6",  // 鹰眼行车宝
     L"http://db.eagle-eye.example/camera/version.txt"},
    {VersionRuleKind::kUnitBegins, "\xD6\xC7\xD1\xDB",  // 智眼
     L"http://update.zhiyan.example/version.txt"},
    {VersionRuleKind::kToolBegins,
     "\xC0\xBD\xCD\xD8\xB5\xE7\xD7\xD3\xBF\xC6\xBC\xBC",  // 澜拓电子科技
     L"http://update.lantuo.example/oem/version.txt"},
};

constexpr CompatibilityRow kCompatibility[] = {
    {kCompanyC1, CompatibilityKind::kAccept, kCompanyAccepts},
    {"KIVRL", CompatibilityKind::kRewriteOldUnits, kOldUnitTags},
};

}  // namespace

ToolTag MakeToolTag(std::string_view text) noexcept {
    ToolTag tag{};
    std::copy_n(text.begin(), std::min(text.size(), tag.size()), tag.begin());
    return tag;
}

const VendorConfig& DefaultVendorConfig() noexcept {
    static const VendorConfig config{
        .toolTag = MakeToolTag("                     "),  // 21 blanks: vendor neutral
        .brandK = kBrandK,
        .brandZ = kBrandZ,
        .brandS = kBrandS,
        .companyC1 = kCompanyC1,
        .companyC2 = kCompanyC2,
        .compatibility = kCompatibility,
        .keepSettingsCode = "KVX",
        .versionSources = kVersionSources,
        .fiveBandTag = "KIVRL",  // what older units are re-tagged with on their next update
    };
    return config;
}

bool KeepsSettingsAfterUpdate(const VendorConfig& config) noexcept {
    const auto end = std::find(config.toolTag.begin(), config.toolTag.end(), std::uint8_t{0});
    const std::string_view tag(reinterpret_cast<const char*>(config.toolTag.data()),
                               static_cast<std::size_t>(end - config.toolTag.begin()));
    return !config.keepSettingsCode.empty() && tag == config.keepSettingsCode;
}

}  // namespace kivrel
