// The version file comes from a server: its two lines are parsed, and the archive address on
// line 2 is split for the download; the lines after them announce the archive and carry a
// signature, whose base64 and DER are decoded. What parses must round-trip through the
// writers; what the signature covers must be a prefix of the file.

#include <algorithm>
#include <cstdint>
#include <span>

#include "base/text.h"
#include "net/signature_encoding.h"
#include "net/url_parts.h"
#include "net/version_check.h"

namespace {

void CheckSignature(const kivrel::VersionFile& file, std::span<const std::uint8_t> bytes) {
    if (file.signatureText.empty()) {
        if (!file.signedBytes.empty()) __builtin_trap();
        return;
    }
    // Everything before the signature line, and nothing else.
    if (file.signedBytes.size() >= bytes.size() ||
        !std::equal(file.signedBytes.begin(), file.signedBytes.end(), bytes.begin())) {
        __builtin_trap();
    }
    const auto der = kivrel::DecodeBase64(file.signatureText);
    if (!der) return;
    if (kivrel::EncodeBase64(*der) != file.signatureText) __builtin_trap();
    const auto signature = kivrel::ParseDerSignature(*der);
    if (!signature) return;
    // Strict DER: one encoding per signature.
    if (kivrel::WriteDerSignature(*signature) != *der) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    // The bytes as a key file, too: a key that reads writes back the same.
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (const auto point = kivrel::ParseP256PublicKeyPem(text)) {
        const auto again = kivrel::ParseP256PublicKeyPem(kivrel::WriteP256PublicKeyPem(*point));
        if (!again || *again != *point) __builtin_trap();
    }

    const auto file = kivrel::ParseVersionText(bytes);
    if (!file) return 0;  // refusing is always allowed
    if (file->archiveUrl.empty()) __builtin_trap();
    const std::string& first = file->firstLine;
    if (!first.empty() && (first.back() == '\r' || first.back() == '\n')) __builtin_trap();
    CheckSignature(*file, bytes);
    if (file->announcementProblem.empty() && (file->archiveSha256 || file->archiveSize)) {
        // An announcement that reads, written again, reads the same.
        const std::string written = kivrel::WriteVersionText(
            "20240601", "http://h/db.zip", file->archiveSha256, file->archiveSize);
        const auto again = kivrel::ParseVersionText(
            std::span(reinterpret_cast<const std::uint8_t*>(written.data()), written.size()));
        if (!again || again->archiveSha256 != file->archiveSha256 ||
            again->archiveSize != file->archiveSize || !again->announcementProblem.empty()) {
            __builtin_trap();
        }
    }

    for (const std::wstring& url : {file->archiveUrl, L"http://" + file->archiveUrl}) {
        const auto parts = kivrel::ParseUrl(url);
        if (!parts) continue;
        if (parts->serverName.empty() || parts->objectPath.empty() ||
            parts->objectPath.front() != L'/' || parts->port == 0) {
            __builtin_trap();
        }
        // What we accept, we can write, and it reads back the same.
        const auto again = kivrel::ParseUrl(kivrel::Utf8ToWide(kivrel::UrlText(*parts)));
        if (!again || *again != *parts) __builtin_trap();
        // The address as a redirect's Location from there: it leads somewhere a download can go.
        if (const auto next = kivrel::ResolveLocation(*parts, kivrel::WideToUtf8(url))) {
            if (next->serverName.empty() || next->objectPath.empty()) __builtin_trap();
        }
    }
    return 0;
}
