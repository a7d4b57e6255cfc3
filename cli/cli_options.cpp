#include "cli/cli_options.h"

#include "package/vendor_config.h"

namespace kivrel::cli {

const VendorConfig& GlobalOptions::Vendor() const noexcept {
    return environment.vendor != nullptr ? *environment.vendor : DefaultVendorConfig();
}

std::optional<std::uint64_t> GlobalOptions::FreeSpace(const std::wstring& folder) const {
    return environment.freeSpace != nullptr ? environment.freeSpace(folder)
                                            : SystemFreeDiskSpace(folder);
}

}  // namespace kivrel::cli
