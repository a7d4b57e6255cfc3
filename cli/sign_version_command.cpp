// `kivrel sign-version`: the signed version file a vendor's server publishes for an archive.
// Linux and macOS (libcrypto signs); the Windows tool only checks signatures.

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "base/crypto.h"
#include "base/crypto_signing.h"
#include "base/native_path.h"
#include "base/text.h"
#include "cli/commands.h"
#include "cli/trust_options.h"
#include "net/url_parts.h"
#include "net/version_check.h"
#include "package/package_source.h"
#include "update/archive_names.h"

namespace kivrel::cli {
namespace {

// A version line or address longer than this would be split by readers that take 259
// characters a line, the line end included.
constexpr std::size_t kMaxLineChars = 258;

// The archive's size and sha256, read in pieces.
bool HashArchive(const std::wstring& path, std::uint64_t& size, Sha256Digest& digest) {
    FileByteSource source;
    if (!source.Open(path)) return false;
    size = source.Size();
    Sha256 hash;
    std::vector<std::uint8_t> piece(256 * 1024);
    for (std::uint64_t at = 0; at < size; at += piece.size()) {
        const auto length =
            static_cast<std::size_t>(std::min<std::uint64_t>(piece.size(), size - at));
        if (!source.ReadAt(at, std::span(piece).first(length))) return false;
        hash.Update(std::span(piece).first(length));
    }
    const auto finished = hash.Finish();
    if (!finished) return false;
    digest = *finished;
    return true;
}

int Usage(const std::string& why) {
    std::fprintf(stderr, "kivrel sign-version: %s\n", why.c_str());
    return kExitUsage;
}

}  // namespace

int RunSignVersion(const SignArgs& args) {
    if (args.version.size() != 8 ||
        args.version.find_first_not_of("0123456789") != std::string::npos) {
        return Usage("--version must be the database's date as YYYYMMDD, e.g. 20240601");
    }
    const std::optional<UrlParts> url = ParseUrl(Utf8ToWide(args.url));
    if (!url || args.url.size() > kMaxLineChars) {
        return Usage("--url must be an http:// or https:// address of at most " +
                     std::to_string(kMaxLineChars) + " characters");
    }
    const std::wstring archiveName(ArchiveNameFromUrl(Utf8ToWide(args.url)));
    if (!IsSafeArchiveName(archiveName) || ArchiveTypeOf(archiveName) == ArchiveType::None) {
        return Usage("--url must end in the archive's file name (.zip, .7z or .rar)");
    }

    FileByteSource keyFile;
    std::string pem;
    if (!keyFile.Open(WidePathFromArgument(args.key)) || keyFile.Size() > kMaxKeyFileBytes) {
        return Usage("--key " + args.key + ": the file cannot be read");
    }
    pem.resize(static_cast<std::size_t>(keyFile.Size()));
    if (!keyFile.ReadAt(0, std::span(reinterpret_cast<std::uint8_t*>(pem.data()), pem.size()))) {
        return Usage("--key " + args.key + ": the file cannot be read");
    }

    std::uint64_t size = 0;
    Sha256Digest digest{};
    if (!HashArchive(WidePathFromArgument(args.archive), size, digest)) {
        std::fprintf(stderr, "kivrel sign-version: %s cannot be read\n", args.archive.c_str());
        return kExitFailure;
    }
    if (size == 0) {
        std::fprintf(stderr, "kivrel sign-version: %s is empty\n", args.archive.c_str());
        return kExitFailure;
    }
    const std::string body = WriteVersionText(args.version, args.url, digest, size);
    const auto bodyDigest =
        Sha256Of(std::span(reinterpret_cast<const std::uint8_t*>(body.data()), body.size()));
    std::string error;
    const std::vector<std::uint8_t> signature =
        bodyDigest ? SignP256Digest(pem, *bodyDigest, error) : std::vector<std::uint8_t>{};
    if (signature.empty()) {
        std::fprintf(stderr, "kivrel sign-version: --key %s: %s\n", args.key.c_str(),
                     error.empty() ? "the file could not be signed" : error.c_str());
        return kExitFailure;
    }
    const std::string text = body + WriteSignatureLine(signature);
    std::fwrite(text.data(), 1, text.size(), stdout);
    return std::fflush(stdout) == 0 ? kExitOk : kExitFailure;
}

}  // namespace kivrel::cli
