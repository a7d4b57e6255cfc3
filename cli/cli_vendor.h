#pragma once
// The vendor values every command works by: the build's, unless a test sets others (a
// vendor-neutral build takes every file and every unit, so refusals need other values).

namespace kivrel {
struct VendorConfig;
}

namespace kivrel::cli {

[[nodiscard]] const VendorConfig& CliVendorConfig() noexcept;
// Null puts the build's values back. `config` must outlive the commands run with it.
void SetCliVendorConfig(const VendorConfig* config) noexcept;

}  // namespace kivrel::cli
