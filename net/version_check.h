#pragma once
// The online version check: which version file to fetch for a unit, the unit's database
// version, the version file itself, and whether to ask before updating a current unit.
// Everything comes in as plain values, so nothing here talks to the unit.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/crypto.h"
#include "package/build_date.h"
#include "package/vendor_config.h"

namespace kivrel {

// The version check's texts, as the window and the command line show them.
inline constexpr std::wstring_view kTextSearchingVersion =
    L"Searching the database version now,please wait\u2026";
inline constexpr std::wstring_view kTextAccessFailed =
    L"Access database failed,please updated by local file!";
inline constexpr std::wstring_view kTextOnlineVersion = L"Internet vesion:";
inline constexpr std::wstring_view kTextAlreadyNewest =
    L"Already the newest version,Updated or Not?";
// The version file's name in the staging folder.
inline constexpr std::wstring_view kVersionFileName = L"Tmp";

// The address of the first rule of `sources` that holds for the unit's identity block and
// the tool's vendor tag, or empty when none does. A tag longer than the bytes it is compared
// with does not match.
[[nodiscard]] std::wstring SelectVersionFileUrl(
    std::span<const std::uint8_t> identity, std::span<const std::uint8_t> toolTag,
    std::span<const VersionSource> sources = DefaultVendorConfig().versionSources);

// The unit's database date as "%d%02d%02d" (2016-03-05 gives "20160305"); empty for an
// erased region, whose number is then 0.
[[nodiscard]] std::wstring DatabaseDateText(const BuildDate& databaseDate);
// The same text as a number; 0 for a date never read. Saturates instead of wrapping.
[[nodiscard]] std::uint32_t DatabaseVersionNumber(const BuildDate& databaseDate);

// The largest version file read (and downloaded): a few short lines.
inline constexpr std::size_t kMaxVersionFileBytes = 64 * 1024;

// A version file: line 1 the newest version (yyyymmdd), line 2 the archive's address. Lines
// after these may announce the archive ("sha256=<64 hex digits>", "size=<bytes>"), and a
// last line "signature=<base64>" may carry an ECDSA P-256 signature (SHA-256, DER) over every
// byte before it. Tools that read two lines pass over the rest; other lines are ignored.
struct VersionFile {
    std::int32_t version = 0;  // the decimal number at the start of line 1; 0 without one
    std::string firstLine;     // line 1 without its line end, for the status text
    std::wstring archiveUrl;   // line 2 without its line end

    std::optional<Sha256Digest> archiveSha256;
    std::optional<std::uint64_t> archiveSize;
    // Why the lines after the second cannot be taken (a sha256 or size that does not read,
    // a repeated line, text after the signature); empty when they can.
    std::wstring announcementProblem;
    // The signature line's base64 (empty: unsigned) and the bytes it signs.
    std::string signatureText;
    std::vector<std::uint8_t> signedBytes;
};
// Reads the two lines as the text-mode reads always have: CR LF counts as one line end,
// each read takes at most 259 characters (the rest of a longer line is the next line),
// text after a zero byte is not seen. The lines after them are split at LF (a CR before it
// dropped). nullopt when line 1 is empty or line 2 holds no address.
[[nodiscard]] std::optional<VersionFile> ParseVersionText(std::span<const std::uint8_t> bytes);
// The signed part of a version file as a vendor publishes it: the version, the archive's
// address and its announcement, each line ending in LF. The signature line follows it.
[[nodiscard]] std::string WriteVersionText(std::string_view versionLine,
                                           std::string_view archiveUrl,
                                           const std::optional<Sha256Digest>& sha256,
                                           std::optional<std::uint64_t> size);
// "signature=" and the base64 of a DER signature, with its LF.
[[nodiscard]] std::string WriteSignatureLine(std::span<const std::uint8_t> derSignature);

// Reads the file at `path` (at most kMaxVersionFileBytes), deletes it, and parses it. nullopt
// when it cannot be opened (it is then left alone) or does not parse.
[[nodiscard]] std::optional<VersionFile> ParseVersionFile(const std::wstring& path);

// The question before an update: asked only when both versions are known (above 0) and the
// unit's is not older, compared as unsigned numbers.
[[nodiscard]] bool AskBeforeUpdate(std::uint32_t unitVersion, std::int32_t onlineVersion) noexcept;

// True when the text after the address's last "." is "zip", "7z" or "rar" in any case: the
// address is an archive, not a version file.
[[nodiscard]] bool IsArchiveAddress(std::wstring_view url) noexcept;

}  // namespace kivrel
