#include "package/vendor_check.h"

#include <algorithm>

namespace kivrel {
namespace {

constexpr std::size_t kNeutralBlanks = 21;
constexpr std::size_t kTagCompareBytes = 16;
constexpr std::size_t kRewrittenBytes = 5;

// True when `bytes` begins with `tag`, compared over the tag's own width.
bool BeginsWith(std::span<const std::uint8_t> bytes, std::string_view tag) noexcept {
    return !tag.empty() && tag.size() <= bytes.size() &&
           std::equal(tag.begin(), tag.end(), bytes.begin(),
                      [](char t, std::uint8_t b) { return static_cast<std::uint8_t>(t) == b; });
}

bool IsNeutral(const VendorConfig& config) noexcept {
    return std::all_of(config.toolTag.begin(), config.toolTag.begin() + kNeutralBlanks,
                       [](std::uint8_t c) { return c == ' '; });
}

bool BeginsWithToolTag(std::span<const std::uint8_t> identity,
                       const VendorConfig& config) noexcept {
    return std::equal(config.toolTag.begin(), config.toolTag.begin() + kTagCompareBytes,
                      identity.begin());
}

}  // namespace

bool CheckPackageVendor(const UpdatePackage& package, const VendorConfig& config) noexcept {
    if (IsNeutral(config)) return true;
    const std::span<const std::uint8_t> identity(package.identity);
    if (BeginsWithToolTag(identity, config)) return true;
    const std::span<const std::uint8_t> tool(config.toolTag);
    if (BeginsWith(tool, config.brandK)) {
        return BeginsWith(identity, config.brandK) || BeginsWith(identity, config.brandZ);
    }
    if (BeginsWith(tool, config.companyC1) || BeginsWith(tool, config.companyC2)) {
        return BeginsWith(identity, config.brandS) || BeginsWith(identity, config.companyC1) ||
               BeginsWith(identity, config.companyC2);
    }
    return false;
}

bool AcceptUnitVendor(const VendorConfig& config, UnitVendorView unit) noexcept {
    if (IsNeutral(config)) return true;
    const auto markPending = [&unit] {
        if (unit.identityPending != nullptr) *unit.identityPending = 1;
    };
    if (std::all_of(unit.identity.begin(), unit.identity.end(),
                    [](std::uint8_t c) { return c == 0xFF; })) {
        std::copy_n(config.toolTag.begin(), kTagCompareBytes, unit.identity.begin());
        markPending();
        return true;
    }
    if (BeginsWithToolTag(unit.identity, config)) return true;

    const std::span<const std::uint8_t> tool(config.toolTag);
    for (const CompatibilityRow& row : config.compatibility) {
        if (!BeginsWith(tool, row.toolTag)) continue;
        for (std::string_view vendorTag : row.vendorTags) {
            if (!BeginsWith(unit.identity, vendorTag)) continue;
            if (row.kind == CompatibilityKind::kAccept) return true;
            if (unit.settingsFormat <= 1) {
                std::copy_n(config.toolTag.begin(), kRewrittenBytes, unit.identity.begin());
                markPending();
                return true;
            }
        }
    }
    return false;
}

}  // namespace kivrel
