#pragma once
// The build's vendor values: who this tool is, which update files and which units it takes.
// All tags are GBK byte strings compared over their own width.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace kivrel {

// Room for the longest comparison made against the tool's tag (28 bytes), zero padded.
inline constexpr std::size_t kToolTagBytes = 32;
using ToolTag = std::array<std::uint8_t, kToolTagBytes>;

enum class CompatibilityKind {
    // Units whose identity block begins with a listed tag are accepted as they are.
    kAccept,
    // Units whose identity block begins with a listed tag and whose settings format is 1 or
    // less get the first 5 bytes of the tool's tag written over their tag, to be stored by
    // the update, and are accepted.
    kRewriteOldUnits,
};

// Other vendors' units this tool also takes.
struct CompatibilityRow {
    std::string_view toolTag;  // the row applies when the tool's tag begins with this
    CompatibilityKind kind = CompatibilityKind::kAccept;
    std::span<const std::string_view> vendorTags;  // 2 to 28 bytes each
};

enum class VersionRuleKind {
    kNeutralTool,  // the tool's tag begins with `tag` (21 blanks: the vendor-neutral build)
    kUnitBegins,   // the unit's identity block begins with `tag`
    kToolBegins,   // the tool's tag begins with `tag`
};

// Where a brand's version file is published: the first rule that holds gives the address.
struct VersionSource {
    VersionRuleKind kind;
    std::string_view tag;  // GBK bytes, compared over exactly their own length
    std::wstring_view url;
};

// A key this vendor signs its version files with (ECDSA P-256).
struct VendorSigningKey {
    std::string_view name;          // who signs, as the user is told: "Kivrel"
    std::string_view publicKeyPem;  // "-----BEGIN PUBLIC KEY-----" ... "-----END PUBLIC KEY-----"
};

struct VendorConfig {
    ToolTag toolTag{};
    std::string_view brandK;     // 8 bytes
    std::string_view brandZ;     // 4 bytes
    std::string_view brandS;     // 6 bytes
    std::string_view companyC1;  // 16 bytes
    std::string_view companyC2;  // 28 bytes
    std::span<const CompatibilityRow> compatibility;
    // A tool whose tag is exactly this code leaves the unit's settings sector alone after an
    // update.
    std::string_view keepSettingsCode;  // 3 characters
    // The eight version-file rules, in the order they are tried.
    std::span<const VersionSource> versionSources;
    // A layout-1 unit whose identity block begins with these 5 bytes has the five-band radar
    // list in its settings window.
    std::string_view fiveBandTag{};
    // With keys, a version file must be signed with one of them, and it must give the
    // archive's sha256; without, unsigned files are taken.
    std::span<const VendorSigningKey> signingKeys{};
};

// The vendor-neutral build: its tag is 21 blanks, so it takes every file and every unit.
[[nodiscard]] const VendorConfig& DefaultVendorConfig() noexcept;

// A tag from text, zero padded; text longer than the tag is cut.
[[nodiscard]] ToolTag MakeToolTag(std::string_view text) noexcept;

// True when the tool's tag (up to its first zero) is exactly the keep-settings code.
[[nodiscard]] bool KeepsSettingsAfterUpdate(const VendorConfig& config) noexcept;

}  // namespace kivrel
