#include "net/version_sources.h"

namespace kivrel {
namespace {

// Fictional brands and companies in GBK, and addresses under the reserved .example domain.
constexpr VersionSource kSources[] = {
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
     "\xBF\xAD\xCE\xAC\xC0\xD7\xB6\xFB\xB5\xE7\xD7\xD3",  // 凯维雷尔电子
     L"http://update.kivrel.example/oem/version.txt"},
};

}  // namespace

std::span<const VersionSource> VersionSources() noexcept {
    return kSources;
}

}  // namespace kivrel
