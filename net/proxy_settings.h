#pragma once
// How a downloader reaches the network when its caller asks for the system's settings: a
// proxy given by the owner (the command line's --proxy), the certificate authorities HTTPS
// servers are checked against, and, where libcurl does the work, the proxy environment
// variables.

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace kivrel {

struct ProxyServer {
    std::wstring hostPort;  // "host:port" ("[v6]:port"), as both libraries take a proxy name
    std::wstring user;      // answers a 407; empty: none
    std::wstring password;
    friend bool operator==(const ProxyServer&, const ProxyServer&) = default;
};

struct NetworkSettings {
    // Replaces the system's proxy settings; none: the system's (Windows) or the environment's.
    std::optional<ProxyServer> proxy;
    // PEM certificate authorities to check HTTPS servers against instead of the system's
    // bundle (libcurl only: Windows checks against its own certificate store). Empty: the
    // system's.
    std::wstring caFile;
};

// "http://[user:password@]host[:port]" or "[user:password@]host[:port]" (port 80 when none);
// user and password may be percent-encoded. Refuses another scheme, a path, an empty host
// and a bad port.
[[nodiscard]] std::optional<ProxyServer> ParseProxyAddress(std::wstring_view text);

// What the environment asks for an address of this scheme, as libcurl is to be told:
// `proxy` from https_proxy (for https) or http_proxy, else all_proxy, lower case before
// upper case, empty for none; `noProxy` from no_proxy or NO_PROXY. HTTP_PROXY is not read
// when REQUEST_METHOD is set: a web server running us as a CGI program fills it from the
// request's own "Proxy:" header.
struct EnvironmentProxy {
    std::string proxy;
    std::string noProxy;
    friend bool operator==(const EnvironmentProxy&, const EnvironmentProxy&) = default;
};
using EnvironmentLookup = std::function<const char*(const char* name)>;
[[nodiscard]] EnvironmentProxy ProxyFromEnvironment(bool secure, const EnvironmentLookup& lookup);

}  // namespace kivrel
