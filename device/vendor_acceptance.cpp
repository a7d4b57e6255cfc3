#include "device/vendor_acceptance.h"

#include "package/vendor_check.h"

namespace kivrel {

CGpsUnit::AcceptanceHook VendorAcceptanceHook(const VendorConfig& config) {
    return [&config](CGpsUnit& unit) {
        return AcceptUnitVendor(config, UnitVendorView{unit.identity, unit.settingsFormat,
                                                       &unit.identityPending})
                   ? 1
                   : 0;
    };
}

}  // namespace kivrel
