#include "net/http_headers.h"

#include <cstdio>
#include <limits>

#include "base/ascii_text.h"

namespace kivrel {
namespace {

[[nodiscard]] bool IsTokenChar(char c) noexcept {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
    return std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

// Printable ASCII and blanks only: such a value can be written back into a request header
// without letting the server inject lines.
[[nodiscard]] bool IsPlainValue(std::string_view value) noexcept {
    for (const char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte > 0x7E) return false;
    }
    return true;
}

[[nodiscard]] char Lower(char c) noexcept {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

StatusClass ClassifyStatus(std::uint32_t status) noexcept {
    switch (status) {
        case 200:
        case 206:
            return StatusClass::kBody;
        case 401:
            return StatusClass::kServerAuth;
        case 407:
            return StatusClass::kProxyAuth;
        default:
            return StatusClass::kRefused;
    }
}

std::string RangeHeader(std::uint32_t offset) {
    if (offset == 0) return {};
    // Unsigned: offsets past 2 GiB must not turn into a negative range.
    char text[48];
    std::snprintf(text, sizeof text, "Range: bytes=%lu-\r\n", static_cast<unsigned long>(offset));
    return text;
}

std::optional<HeaderField> ParseHeaderLine(std::string_view line) {
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0) return std::nullopt;
    const std::string_view name = line.substr(0, colon);
    for (const char c : name) {
        if (!IsTokenChar(c)) return std::nullopt;
    }
    const std::string_view value = TrimBlanks(line.substr(colon + 1));
    for (const char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte < 0x20 && c != '\t') || byte == 0x7F) return std::nullopt;
    }
    return HeaderField{std::string(name), std::string(value)};
}

bool HeaderNameIs(std::string_view name, std::string_view expected) noexcept {
    if (name.size() != expected.size()) return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (Lower(name[i]) != Lower(expected[i])) return false;
    }
    return true;
}

std::optional<std::uint64_t> ParseDecimalCount(std::string_view text) noexcept {
    if (text.empty()) return std::nullopt;
    constexpr std::uint64_t kLimit = std::numeric_limits<std::int64_t>::max();
    std::uint64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        const auto digit = static_cast<std::uint64_t>(c - '0');
        if (value > (kLimit - digit) / 10) return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

std::optional<ContentRange> ParseContentRange(std::string_view value) noexcept {
    value = TrimBlanks(value);
    constexpr std::string_view kUnit = "bytes ";
    if (value.size() < kUnit.size()) return std::nullopt;
    for (std::size_t i = 0; i < kUnit.size(); ++i) {
        if (Lower(value[i]) != kUnit[i]) return std::nullopt;
    }
    value = TrimBlanks(value.substr(kUnit.size()));
    const std::size_t dash = value.find('-');
    const std::size_t slash = value.find('/');
    if (dash == std::string_view::npos || slash == std::string_view::npos || slash < dash) {
        return std::nullopt;
    }
    const auto first = ParseDecimalCount(value.substr(0, dash));
    const auto last = ParseDecimalCount(value.substr(dash + 1, slash - dash - 1));
    if (!first || !last || *first > *last) return std::nullopt;
    ContentRange range{*first, *last, std::nullopt};
    const std::string_view totalText = value.substr(slash + 1);
    if (totalText != "*") {
        const auto total = ParseDecimalCount(totalText);
        if (!total || *last >= *total) return std::nullopt;
        range.total = *total;
    }
    return range;
}

std::optional<std::string> ResumeValidator(std::string_view etag, std::string_view lastModified) {
    etag = TrimBlanks(etag);
    // A weak tag only says "equivalent", which is not enough to splice bytes together.
    if (etag.size() >= 2 && etag.front() == '"' && etag.back() == '"' && IsPlainValue(etag)) {
        return std::string(etag);
    }
    lastModified = TrimBlanks(lastModified);
    if (!lastModified.empty() && IsPlainValue(lastModified)) return std::string(lastModified);
    return std::nullopt;
}

std::string IfRangeHeader(std::string_view validator) {
    if (validator.empty()) return {};
    return "If-Range: " + std::string(validator) + "\r\n";
}

}  // namespace kivrel
