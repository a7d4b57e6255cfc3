#pragma once
// Whether a version file may be believed: which keys it must be signed with, and the verdict
// on one file. The caller runs the check after parsing the file and before it takes the
// archive's address from it; the run then checks the archive against what the file announced
// (archive_check.h).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/crypto.h"
#include "net/version_check.h"

namespace kivrel {

struct VendorConfig;

// The user's own texts for a refused version file or archive.
inline constexpr std::wstring_view kTextNotSignedBy = L"The database is not signed by ";
inline constexpr std::wstring_view kTextNotAnnounced =
    L"The downloaded database is not the one the server announced.";

struct TrustedKey {
    std::wstring name;  // as the user is told, with the key's fingerprint
    P256PublicPoint point{};
};

struct VersionTrustPolicy {
    std::vector<TrustedKey> keys;
    // A key was named (built in or given), whether or not it loaded: files must be signed.
    bool keyed = false;
    // Unsigned files refused even without a key (`--require-signed`).
    bool requireSigned = false;
};

// What a version file says the archive is; what it does not say is not checked.
struct ArchiveAnnouncement {
    std::optional<Sha256Digest> sha256;
    std::optional<std::uint64_t> size;
    friend bool operator==(const ArchiveAnnouncement&, const ArchiveAnnouncement&) = default;
};

enum class VersionTrust {
    kSigned,    // signed by one of the policy's keys
    kUnsigned,  // no key to check with and none required: taken as before
    kRefused,   // not to be used: `refusal` says why
};

struct VersionVerdict {
    VersionTrust trust = VersionTrust::kRefused;
    std::wstring signer;   // kSigned: the key's name
    std::wstring refusal;  // kRefused: the text to show
    std::wstring cause;    // kRefused: why, in a sentence for the line after it
    ArchiveAnnouncement archive;
};

// The vendor's built-in keys. A key that does not load still makes the policy keyed, so that
// a broken build refuses every file rather than taking unsigned ones.
[[nodiscard]] VersionTrustPolicy TrustPolicyFor(const VendorConfig& vendor);
// Adds a key given as PEM text ("PUBLIC KEY", P-256); false, leaving the policy as it was,
// when the text holds no such key. The name is shown with the key's fingerprint.
[[nodiscard]] bool AddTrustedKey(VersionTrustPolicy& policy, std::wstring_view name,
                                 std::string_view pem);

// The verdict on a parsed version file. With keys, the signature is checked first (so a file
// changed anywhere is refused as not signed), then the announcement: a signed file must give
// the archive's sha256. A file whose announcement does not read is refused either way.
[[nodiscard]] VersionVerdict CheckVersionFile(const VersionFile& file,
                                              const VersionTrustPolicy& policy);
// An address that names the archive itself has no version file, and so no signature.
[[nodiscard]] VersionVerdict CheckArchiveAddress(const VersionTrustPolicy& policy);

}  // namespace kivrel
