#include "cli/trust_options.h"

#include <vector>

#include "base/native_path.h"
#include "base/text.h"
#include "net/version_trust.h"
#include "package/package_source.h"

namespace kivrel::cli {
namespace {

std::string FileName(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::string MakeTrustPolicy(const TrustOptions& options, const VendorConfig& vendor,
                            VersionTrustPolicy& policy) {
    policy = TrustPolicyFor(vendor);
    policy.requireSigned = options.requireSigned;
    for (const std::string& path : options.trustedKeyFiles) {
        FileByteSource source;
        std::string text;
        if (source.Open(WidePathFromArgument(path)) && source.Size() <= kMaxKeyFileBytes) {
            text.resize(static_cast<std::size_t>(source.Size()));
            if (!source.ReadAt(
                    0, std::span(reinterpret_cast<std::uint8_t*>(text.data()), text.size()))) {
                text.clear();
            }
        } else {
            return "--trusted-key " + path + ": the file cannot be read";
        }
        if (!AddTrustedKey(policy, Utf8ToWide(FileName(path)), text)) {
            return "--trusted-key " + path +
                   ": it holds no P-256 public key (PEM \"PUBLIC KEY\", as `openssl ec -pubout` "
                   "writes it)";
        }
    }
    return {};
}

std::string SignatureLine(const VersionVerdict& verdict) {
    if (verdict.trust == VersionTrust::kSigned) {
        return "Signature: signed by " + WideToUtf8(verdict.signer);
    }
    return "Signature: unsigned (no key is built in or given to check it with; see "
           "--trusted-key)";
}

}  // namespace kivrel::cli
