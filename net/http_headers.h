#pragma once
// What the downloader makes of a server's answer: status classes and the few header values it
// uses. Everything here reads server text, which is untrusted.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kivrel {

// How the transfer treats a status code.
enum class StatusClass {
    kBody,        // 200 or 206: the body is the file
    kServerAuth,  // 401
    kProxyAuth,   // 407
    kRefused,     // anything else: the transfer ends with result 5
};
[[nodiscard]] StatusClass ClassifyStatus(std::uint32_t status) noexcept;

// The request header that asks for the rest of a file from `offset` on, CR LF included;
// empty for offset 0.
[[nodiscard]] std::string RangeHeader(std::uint32_t offset);

// "Name: value" of one header line, without its line end. Names are tokens; the value has its
// surrounding blanks removed. Refuses lines without a colon, with an empty or invalid name,
// or with control characters other than tab.
struct HeaderField {
    std::string name;
    std::string value;
};
[[nodiscard]] std::optional<HeaderField> ParseHeaderLine(std::string_view line);
[[nodiscard]] bool HeaderNameIs(std::string_view name, std::string_view expected) noexcept;

// A decimal count such as a Content-Length value: digits only, at most 2^63 - 1.
[[nodiscard]] std::optional<std::uint64_t> ParseDecimalCount(std::string_view text) noexcept;

// "bytes FIRST-LAST/TOTAL" (TOTAL may be "*"), with FIRST <= LAST < TOTAL.
struct ContentRange {
    std::uint64_t first = 0;
    std::uint64_t last = 0;
    std::optional<std::uint64_t> total;
};
[[nodiscard]] std::optional<ContentRange> ParseContentRange(std::string_view value) noexcept;

// A validator the server can compare in If-Range: a strong entity tag ("..." without W/) or
// a Last-Modified date. Returns the value to send, or nullopt when neither is usable.
[[nodiscard]] std::optional<std::string> ResumeValidator(std::string_view etag,
                                                         std::string_view lastModified);

// The If-Range line, CR LF included, for a validator from ResumeValidator.
[[nodiscard]] std::string IfRangeHeader(std::string_view validator);

}  // namespace kivrel
