#include "net/version_check.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <vector>

#include "base/ascii_text.h"
#include "base/local_file.h"
#include "base/text.h"
#include "net/signature_encoding.h"

namespace kivrel {
namespace {

// Each line read takes at most this many characters, as a 260-character buffer allows.
constexpr std::size_t kLineChars = 259;
constexpr std::string_view kSignatureKey = "signature=";

[[nodiscard]] bool BeginsWith(std::span<const std::uint8_t> bytes, std::string_view tag) noexcept {
    if (tag.empty() || bytes.size() < tag.size()) return false;
    for (std::size_t i = 0; i < tag.size(); ++i) {
        if (bytes[i] != static_cast<std::uint8_t>(tag[i])) return false;
    }
    return true;
}

// Reads one line the way a text-mode fgets into a 260-character buffer does.
class TextLines {
public:
    explicit TextLines(std::span<const std::uint8_t> data) : bytes(data) {}

    // Where the next read starts.
    [[nodiscard]] std::size_t Position() const noexcept { return position; }

    [[nodiscard]] std::string Next() {
        std::string line;
        while (line.size() < kLineChars && position < bytes.size()) {
            char c = static_cast<char>(bytes[position++]);
            if (c == '\r' && position < bytes.size() && bytes[position] == '\n') {
                c = '\n';
                ++position;
            }
            line += c;
            if (c == '\n') break;
        }
        // What C string handling would see.
        if (const std::size_t zero = line.find('\0'); zero != std::string::npos) {
            line.resize(zero);
        }
        return line;
    }

private:
    std::span<const std::uint8_t> bytes;
    std::size_t position = 0;
};

// The decimal number at the start of the text: leading white space and a sign allowed, 0
// when there are no digits, clamped to the 32-bit range rather than overflowing.
[[nodiscard]] std::int32_t LeadingNumber(std::string_view text) noexcept {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    std::int64_t value = 0;
    constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = std::min<std::int64_t>(value * 10 + (text[i] - '0'), kLimit);
    }
    if (negative) value = -value;
    value = std::clamp<std::int64_t>(value, std::numeric_limits<std::int32_t>::min(),
                                     std::numeric_limits<std::int32_t>::max());
    return static_cast<std::int32_t>(value);
}

[[nodiscard]] std::string WithoutLineEnds(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

[[nodiscard]] int HexValue(char c) noexcept {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

[[nodiscard]] std::optional<Sha256Digest> ParseDigest(std::string_view text) noexcept {
    Sha256Digest digest{};
    if (text.size() != 2 * digest.size()) return std::nullopt;
    for (std::size_t i = 0; i < digest.size(); ++i) {
        const int high = HexValue(text[2 * i]);
        const int low = HexValue(text[2 * i + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        digest[i] = static_cast<std::uint8_t>(high << 4 | low);
    }
    return digest;
}

// Digits only, no sign, no blanks, no overflow; 0 is no archive.
[[nodiscard]] std::optional<std::uint64_t> ParseSize(std::string_view text) noexcept {
    if (text.empty() || text.size() > 19) return std::nullopt;
    std::uint64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (value == 0) return std::nullopt;
    return value;
}

// The lines after the first two reads: the archive's announcement and the signature.
void ParseAnnouncement(std::span<const std::uint8_t> bytes, std::size_t from, VersionFile& file) {
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    std::size_t signatureAt = std::string_view::npos;
    bool sha256Seen = false;
    bool sizeSeen = false;
    const auto problem = [&](std::wstring_view why) {
        if (file.announcementProblem.empty()) file.announcementProblem = why;
    };
    for (std::size_t at = from; at < text.size();) {
        const std::size_t end = std::min(text.find('\n', at), text.size());
        std::string_view line = text.substr(at, end - at);
        const std::size_t lineStart = at;
        at = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (signatureAt != std::string_view::npos) {
            if (!line.empty()) problem(L"Text follows the signature line.");
            continue;
        }
        const std::size_t equals = line.find('=');
        const std::string_view key = line.substr(0, equals == std::string_view::npos ? 0 : equals);
        const std::string_view value =
            equals == std::string_view::npos ? std::string_view{} : line.substr(equals + 1);
        if (key == "sha256") {
            file.archiveSha256 = ParseDigest(value);
            if (sha256Seen || !file.archiveSha256) problem(L"Its sha256 line does not read.");
            sha256Seen = true;
        } else if (key == "size") {
            file.archiveSize = ParseSize(value);
            if (sizeSeen || !file.archiveSize) problem(L"Its size line does not read.");
            sizeSeen = true;
        } else if (line.substr(0, kSignatureKey.size()) == kSignatureKey) {
            signatureAt = lineStart;
            // An empty one still marks the file signed, and unreadably so.
            const std::string_view signature = line.substr(kSignatureKey.size());
            file.signatureText.assign(signature.empty() ? std::string_view("=") : signature);
        }
    }
    if (signatureAt != std::string_view::npos) {
        file.signedBytes.assign(bytes.begin(),
                                bytes.begin() + static_cast<std::ptrdiff_t>(signatureAt));
    }
}

}  // namespace

std::wstring SelectVersionFileUrl(std::span<const std::uint8_t> identity,
                                  std::span<const std::uint8_t> toolTag,
                                  std::span<const VersionSource> sources) {
    for (const VersionSource& source : sources) {
        const std::span<const std::uint8_t> subject =
            source.kind == VersionRuleKind::kUnitBegins ? identity : toolTag;
        if (BeginsWith(subject, source.tag)) return std::wstring(source.url);
    }
    return {};
}

std::wstring DatabaseDateText(const BuildDate& databaseDate) {
    // A unit with no database has no date to show, and nothing newer than any version.
    if (IsErasedDate(databaseDate)) return {};
    char text[32];
    std::snprintf(text, sizeof text, "%d%02d%02d", int{databaseDate.year}, int{databaseDate.month},
                  int{databaseDate.day});
    return Utf8ToWide(text);
}

std::uint32_t DatabaseVersionNumber(const BuildDate& databaseDate) {
    std::uint64_t value = 0;
    for (const wchar_t c : DatabaseDateText(databaseDate)) {
        value = std::min<std::uint64_t>(value * 10 + static_cast<std::uint64_t>(c - L'0'),
                                        std::numeric_limits<std::uint32_t>::max());
    }
    return static_cast<std::uint32_t>(value);
}

std::optional<VersionFile> ParseVersionText(std::span<const std::uint8_t> bytes) {
    TextLines lines(bytes);
    const std::string first = lines.Next();
    std::string second = lines.Next();
    if (first.empty() || second.empty()) return std::nullopt;
    if (second.back() == '\r' || second.back() == '\n') second.pop_back();
    // A blank second line names no archive; taking it would only fail later and less clearly.
    if (second.empty()) return std::nullopt;
    VersionFile file;
    file.version = LeadingNumber(first);
    file.firstLine = WithoutLineEnds(first);
    file.archiveUrl = Utf8ToWide(second);
    ParseAnnouncement(bytes, lines.Position(), file);
    return file;
}

std::string WriteVersionText(std::string_view versionLine, std::string_view archiveUrl,
                             const std::optional<Sha256Digest>& sha256,
                             std::optional<std::uint64_t> size) {
    std::string text = std::string(versionLine) + "\n" + std::string(archiveUrl) + "\n";
    if (sha256) {
        text += "sha256=";
        for (const std::uint8_t byte : *sha256) {
            text += HexDigit(byte >> 4);
            text += HexDigit(byte);
        }
        text += "\n";
    }
    if (size) text += "size=" + std::to_string(*size) + "\n";
    return text;
}

std::string WriteSignatureLine(std::span<const std::uint8_t> derSignature) {
    return std::string(kSignatureKey) + EncodeBase64(derSignature) + "\n";
}

std::optional<VersionFile> ParseVersionFile(const std::wstring& path) {
    std::vector<std::uint8_t> bytes;
    if (!ReadFilePrefix(path, kMaxVersionFileBytes, bytes)) return std::nullopt;
    RemoveFile(path);
    return ParseVersionText(bytes);
}

bool AskBeforeUpdate(std::uint32_t unitVersion, std::int32_t onlineVersion) noexcept {
    return onlineVersion > 0 && unitVersion > 0 &&
           unitVersion >= static_cast<std::uint32_t>(onlineVersion);
}

bool IsArchiveAddress(std::wstring_view url) noexcept {
    return ExtensionIs(url, L"zip") || ExtensionIs(url, L"7z") || ExtensionIs(url, L"rar");
}

}  // namespace kivrel
