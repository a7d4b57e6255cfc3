#pragma once
// The update pipeline's vendor check of a unit, installed as the unit object's acceptance
// hook: the window and the command-line tool both read units through it.

#include "device/gps_unit.h"

namespace kivrel {

struct VendorConfig;

// A hook that runs AcceptUnitVendor on the unit's identity block (it may mark a blank or an
// old unit for the identity write). `config` must outlive the hook.
[[nodiscard]] CGpsUnit::AcceptanceHook VendorAcceptanceHook(const VendorConfig& config);

}  // namespace kivrel
