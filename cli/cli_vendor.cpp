#include "cli/cli_vendor.h"

#include "package/vendor_config.h"

namespace kivrel::cli {
namespace {

const VendorConfig* chosen = nullptr;

}  // namespace

const VendorConfig& CliVendorConfig() noexcept {
    return chosen != nullptr ? *chosen : DefaultVendorConfig();
}

void SetCliVendorConfig(const VendorConfig* config) noexcept {
    chosen = config;
}

}  // namespace kivrel::cli
