#pragma once
// Which update files and which units this build's vendor values allow.

#include <cstdint>
#include <span>

#include "package/update_package.h"
#include "package/vendor_config.h"

namespace kivrel {

// What the unit check needs of a unit, so it does not depend on the device code. `identity`
// is the unit object's copy of its identity block, which the check may change (a blank or an
// old unit gets the tool's tag); `identityPending` then is set to 1, so the update writes the
// file's identity block to the unit. It may be null when no one will write.
struct UnitVendorView {
    std::span<std::uint8_t, kIdentityBytes> identity;
    std::int32_t settingsFormat = -1;
    std::int32_t* identityPending = nullptr;
};

// Whether the loaded file's vendor tag (the start of its identity block) suits this tool.
[[nodiscard]] bool CheckPackageVendor(const UpdatePackage& package,
                                      const VendorConfig& config) noexcept;

// The acceptance hook run after the unit's identity block is read: true to work with the unit.
[[nodiscard]] bool AcceptUnitVendor(const VendorConfig& config, UnitVendorView unit) noexcept;

}  // namespace kivrel
