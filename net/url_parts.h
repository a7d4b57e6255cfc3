#pragma once
// Splitting a download address into what a connection needs. Addresses come from the version
// file on a server, so they are untrusted text.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kivrel {

inline constexpr std::uint32_t kServiceHttp = 3;
inline constexpr std::uint32_t kServiceHttps = 4107;

struct UrlParts {
    std::uint32_t serviceType = kServiceHttp;  // kServiceHttp or kServiceHttps
    std::wstring serverName;                   // host name, IPv4 or bracketless IPv6 text
    std::wstring objectPath;                   // "/..." with the query; never empty
    std::uint16_t port = 80;

    [[nodiscard]] bool Secure() const noexcept { return serviceType == kServiceHttps; }
    friend bool operator==(const UrlParts&, const UrlParts&) = default;
};

// Parses "http://host[:port][/path][?query]" or the same with "https". The scheme is matched
// without regard to case; a fragment is dropped; characters outside printable ASCII in the
// path are sent percent-encoded as UTF-8. Refuses (nullopt) any other scheme, a missing
// scheme, user information, an empty or malformed host, a port outside 1-65535, and control
// characters anywhere.
[[nodiscard]] std::optional<UrlParts> ParseUrl(std::wstring_view url);

// Where a redirect's Location (untrusted header text) leads from `base`: an absolute address,
// one without a scheme ("//host/path", the base's scheme), a path ("/path") or a relative
// reference (beside the base's path; its query dropped). nullopt when it does not parse as
// ParseUrl would take it.
[[nodiscard]] std::optional<UrlParts> ResolveLocation(const UrlParts& base,
                                                      std::string_view location);

// The address a client library is given for the parts: scheme, host (bracketed when it is
// IPv6), the port when it is not the scheme's default, and the object path.
[[nodiscard]] std::string UrlText(const UrlParts& parts);

}  // namespace kivrel
