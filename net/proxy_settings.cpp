#include "net/proxy_settings.h"

#include "base/ascii_text.h"
#include "base/text.h"
#include "net/url_parts.h"

namespace kivrel {
namespace {

[[nodiscard]] int HexValue(char c) noexcept {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// "%40" and the like, as user information in an address is written.
[[nodiscard]] std::optional<std::wstring> PercentDecoded(std::wstring_view text) {
    const std::string utf8 = WideToUtf8(text);
    std::string out;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        if (utf8[i] != '%') {
            out += utf8[i];
            continue;
        }
        const int high = i + 2 < utf8.size() ? HexValue(utf8[i + 1]) : -1;
        const int low = i + 2 < utf8.size() ? HexValue(utf8[i + 2]) : -1;
        if (high < 0 || low < 0) return std::nullopt;
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return Utf8ToWide(out);
}

[[nodiscard]] const char* FirstSet(const EnvironmentLookup& lookup,
                                   std::initializer_list<const char*> names) {
    for (const char* name : names) {
        const char* value = lookup(name);
        if (value != nullptr && *value != '\0') return value;
    }
    return nullptr;
}

}  // namespace

std::optional<ProxyServer> ParseProxyAddress(std::wstring_view text) {
    std::wstring_view rest = text;
    if (const std::size_t scheme = rest.find(L"://"); scheme != std::wstring_view::npos) {
        if (!EqualsIgnoringAsciiCase(rest.substr(0, scheme), L"http")) return std::nullopt;
        rest.remove_prefix(scheme + 3);
    }
    if (!rest.empty() && rest.back() == L'/') rest.remove_suffix(1);

    ProxyServer server;
    if (const std::size_t at = rest.rfind(L'@'); at != std::wstring_view::npos) {
        const std::wstring_view userInfo = rest.substr(0, at);
        const std::size_t colon = userInfo.find(L':');
        std::optional<std::wstring> user = PercentDecoded(userInfo.substr(0, colon));
        std::optional<std::wstring> password = PercentDecoded(
            colon == std::wstring_view::npos ? std::wstring_view{} : userInfo.substr(colon + 1));
        if (!user || user->empty() || !password) return std::nullopt;
        server.user = std::move(*user);
        server.password = std::move(*password);
        rest.remove_prefix(at + 1);
    }
    // Only a host and a port: anything after them would be silently dropped otherwise.
    if (rest.find_first_of(L"/?#") != std::wstring_view::npos) return std::nullopt;
    const std::optional<UrlParts> parts = ParseUrl(L"http://" + std::wstring(rest));
    if (!parts) return std::nullopt;
    const bool ipv6 = parts->serverName.find(L':') != std::wstring::npos;
    server.hostPort = (ipv6 ? L"[" + parts->serverName + L"]" : parts->serverName) + L":" +
                      std::to_wstring(parts->port);
    return server;
}

EnvironmentProxy ProxyFromEnvironment(bool secure, const EnvironmentLookup& lookup) {
    const char* proxy = nullptr;
    if (secure) {
        proxy = FirstSet(lookup, {"https_proxy", "HTTPS_PROXY"});
    } else {
        proxy = FirstSet(lookup, {"http_proxy"});
        if (proxy == nullptr && lookup("REQUEST_METHOD") == nullptr) {
            proxy = FirstSet(lookup, {"HTTP_PROXY"});
        }
    }
    if (proxy == nullptr) proxy = FirstSet(lookup, {"all_proxy", "ALL_PROXY"});
    const char* noProxy = FirstSet(lookup, {"no_proxy", "NO_PROXY"});
    return {proxy != nullptr ? proxy : "", noProxy != nullptr ? noProxy : ""};
}

}  // namespace kivrel
