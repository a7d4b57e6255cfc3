#include "net/version_trust.h"

#include "base/text.h"
#include "net/signature_encoding.h"
#include "package/vendor_config.h"

namespace kivrel {
namespace {

[[nodiscard]] std::wstring NamedKey(std::wstring_view name, const P256PublicPoint& point) {
    return std::wstring(name) + L" (" + Utf8ToWide(KeyFingerprint(point)) + L")";
}

[[nodiscard]] std::wstring SignerNames(const VersionTrustPolicy& policy) {
    if (policy.keys.empty()) return L"a key this tool trusts";
    std::wstring names;
    for (std::size_t i = 0; i < policy.keys.size(); ++i) {
        if (i > 0) names += i + 1 == policy.keys.size() ? L" or " : L", ";
        names += policy.keys[i].name;
    }
    return names;
}

[[nodiscard]] VersionVerdict NotSigned(const VersionTrustPolicy& policy, std::wstring cause) {
    VersionVerdict verdict;
    verdict.refusal = std::wstring(kTextNotSignedBy) + SignerNames(policy) + L".";
    verdict.cause = std::move(cause);
    return verdict;
}

// The name of the key that signed `signedBytes`, or nullopt.
[[nodiscard]] std::optional<std::wstring> Signer(const VersionFile& file,
                                                 const VersionTrustPolicy& policy) {
    const auto der = DecodeBase64(file.signatureText);
    if (!der) return std::nullopt;
    const auto signature = ParseDerSignature(*der);
    const auto digest = Sha256Of(file.signedBytes);
    if (!signature || !digest) return std::nullopt;
    for (const TrustedKey& key : policy.keys) {
        if (VerifyP256Signature(key.point, *digest, *signature)) return key.name;
    }
    return std::nullopt;
}

}  // namespace

VersionTrustPolicy TrustPolicyFor(const VendorConfig& vendor) {
    VersionTrustPolicy policy;
    for (const VendorSigningKey& key : vendor.signingKeys) {
        policy.keyed = true;
        (void)AddTrustedKey(policy, Utf8ToWide(std::string(key.name)), key.publicKeyPem);
    }
    return policy;
}

bool AddTrustedKey(VersionTrustPolicy& policy, std::wstring_view name, std::string_view pem) {
    const auto point = ParseP256PublicKeyPem(pem);
    if (!point) return false;
    policy.keys.push_back({NamedKey(name, *point), *point});
    policy.keyed = true;
    return true;
}

VersionVerdict CheckVersionFile(const VersionFile& file, const VersionTrustPolicy& policy) {
    VersionVerdict verdict;
    const bool enforced = policy.keyed || policy.requireSigned;
    if (enforced) {
        if (file.signatureText.empty()) {
            return NotSigned(policy, L"Its version file carries no signature.");
        }
        const auto signer = Signer(file, policy);
        if (!signer) {
            return NotSigned(policy, policy.keys.empty()
                                         ? L"No key is built in or given to check its "
                                           L"signature with (--trusted-key)."
                                         : L"Its version file's signature does not match: the "
                                           L"file was changed on the way, or signed with "
                                           L"another key.");
        }
        verdict.signer = *signer;
    }
    if (!file.announcementProblem.empty()) {
        verdict.refusal = kTextAccessFailed;
        verdict.cause = L"The version file cannot be read whole. " + file.announcementProblem;
        return verdict;
    }
    if (enforced && !file.archiveSha256) {
        return NotSigned(policy,
                         L"Its signed version file does not give the archive's sha256, so the "
                         L"archive could not be checked.");
    }
    verdict.trust = enforced ? VersionTrust::kSigned : VersionTrust::kUnsigned;
    verdict.archive = {file.archiveSha256, file.archiveSize};
    return verdict;
}

VersionVerdict CheckArchiveAddress(const VersionTrustPolicy& policy) {
    if (policy.keyed || policy.requireSigned) {
        return NotSigned(policy,
                         L"The address names the archive itself: there is no signed version "
                         L"file to check it by.");
    }
    VersionVerdict verdict;
    verdict.trust = VersionTrust::kUnsigned;
    return verdict;
}

}  // namespace kivrel
