#pragma once
// The options `check` and `update --online` take about signed version files, and what the
// command line says of a version file's signature.

#include <cstdint>
#include <string>
#include <vector>

namespace kivrel {
struct VendorConfig;
struct VersionTrustPolicy;
struct VersionVerdict;
}  // namespace kivrel

namespace kivrel::cli {

// A PEM key is a few hundred bytes; a key file larger than this holds no key.
inline constexpr std::uint64_t kMaxKeyFileBytes = 64 * 1024;

struct TrustOptions {
    std::vector<std::string> trustedKeyFiles;  // --trusted-key, PEM files
    bool requireSigned = false;                // --require-signed
};

// The vendor's built-in keys and the ones given for this run. Empty on success, else why a
// key file cannot be used (wrong usage).
[[nodiscard]] std::string MakeTrustPolicy(const TrustOptions& options, const VendorConfig& vendor,
                                          VersionTrustPolicy& policy);

// "Signature: signed by NAME (fingerprint)" or "Signature: unsigned ...".
[[nodiscard]] std::string SignatureLine(const VersionVerdict& verdict);

}  // namespace kivrel::cli
