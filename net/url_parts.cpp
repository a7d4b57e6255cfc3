#include "net/url_parts.h"

#include "base/ascii_text.h"
#include "base/text.h"

namespace kivrel {
namespace {

[[nodiscard]] wchar_t Lower(wchar_t c) noexcept {
    return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

[[nodiscard]] bool EqualsIgnoringCase(std::wstring_view a, std::wstring_view b) noexcept {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i])) return false;
    }
    return true;
}

[[nodiscard]] bool IsAsciiAlnum(wchar_t c) noexcept {
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9');
}

[[nodiscard]] bool IsHostName(std::wstring_view host) noexcept {
    if (host.empty()) return false;
    for (const wchar_t c : host) {
        if (!IsAsciiAlnum(c) && c != L'-' && c != L'.' && c != L'_') return false;
    }
    return true;
}

[[nodiscard]] bool IsIpv6Text(std::wstring_view host) noexcept {
    if (host.find(L':') == std::wstring_view::npos) return false;
    for (const wchar_t c : host) {
        const bool hex =
            (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F');
        if (!hex && c != L':' && c != L'.') return false;
    }
    return true;
}

[[nodiscard]] std::optional<std::uint16_t> ParsePort(std::wstring_view text) noexcept {
    if (text.empty() || text.size() > 5) return std::nullopt;
    std::uint32_t value = 0;
    for (const wchar_t c : text) {
        if (c < L'0' || c > L'9') return std::nullopt;
        value = value * 10 + static_cast<std::uint32_t>(c - L'0');
    }
    if (value == 0 || value > 65535) return std::nullopt;
    return static_cast<std::uint16_t>(value);
}

// Servers and both client libraries want plain ASCII on the request line.
[[nodiscard]] std::optional<std::wstring> EncodePath(std::wstring_view path) {
    static constexpr std::string_view kEscaped = " \"<>\\^`{|}";
    std::wstring out;
    for (const char ch : WideToUtf8(path)) {
        const auto byte = static_cast<unsigned char>(ch);
        if (byte < 0x20 || byte == 0x7F) return std::nullopt;
        if (byte >= 0x80 || kEscaped.find(ch) != std::string_view::npos) {
            out += L'%';
            out += static_cast<wchar_t>(HexDigit(byte >> 4, true));
            out += static_cast<wchar_t>(HexDigit(byte, true));
        } else {
            out += static_cast<wchar_t>(byte);
        }
    }
    if (out.empty() || out.front() != L'/') out.insert(out.begin(), L'/');
    return out;
}

}  // namespace

std::optional<UrlParts> ParseUrl(std::wstring_view url) {
    const std::size_t schemeEnd = url.find(L"://");
    if (schemeEnd == std::wstring_view::npos) return std::nullopt;
    UrlParts parts;
    const std::wstring_view scheme = url.substr(0, schemeEnd);
    std::uint16_t defaultPort = 80;
    if (EqualsIgnoringCase(scheme, L"https")) {
        parts.serviceType = kServiceHttps;
        defaultPort = 443;
    } else if (!EqualsIgnoringCase(scheme, L"http")) {
        return std::nullopt;
    }

    std::wstring_view rest = url.substr(schemeEnd + 3);
    if (const std::size_t hash = rest.find(L'#'); hash != std::wstring_view::npos) {
        rest = rest.substr(0, hash);
    }
    const std::size_t pathStart = rest.find_first_of(L"/?");
    const std::wstring_view authority = rest.substr(0, pathStart);
    const std::wstring_view path =
        pathStart == std::wstring_view::npos ? std::wstring_view{} : rest.substr(pathStart);
    if (authority.find(L'@') != std::wstring_view::npos) return std::nullopt;

    std::wstring_view host;
    std::optional<std::wstring_view> portText;
    if (!authority.empty() && authority.front() == L'[') {
        const std::size_t close = authority.find(L']');
        if (close == std::wstring_view::npos) return std::nullopt;
        host = authority.substr(1, close - 1);
        const std::wstring_view after = authority.substr(close + 1);
        if (!after.empty()) {
            if (after.front() != L':') return std::nullopt;
            portText = after.substr(1);
        }
        if (!IsIpv6Text(host)) return std::nullopt;
    } else {
        const std::size_t colon = authority.find(L':');
        host = authority.substr(0, colon);
        if (colon != std::wstring_view::npos) portText = authority.substr(colon + 1);
        if (!IsHostName(host)) return std::nullopt;
    }
    const std::optional<std::uint16_t> port = portText ? ParsePort(*portText) : defaultPort;
    if (!port) return std::nullopt;
    std::optional<std::wstring> objectPath = EncodePath(path);
    if (!objectPath) return std::nullopt;

    parts.serverName.assign(host);
    parts.port = *port;
    parts.objectPath = std::move(*objectPath);
    return parts;
}

std::optional<UrlParts> ResolveLocation(const UrlParts& base, std::string_view location) {
    for (const char c : location) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) return std::nullopt;
    }
    const std::wstring target = Utf8ToWide(location);
    if (target.empty()) return std::nullopt;
    if (target.find(L"://") != std::wstring::npos &&
        target.find(L"://") < target.find_first_of(L"/?#")) {
        return ParseUrl(target);
    }
    const std::string origin = UrlText({base.serviceType, base.serverName, L"/", base.port});
    const std::wstring scheme = base.Secure() ? L"https:" : L"http:";
    if (target.rfind(L"//", 0) == 0) return ParseUrl(scheme + target);
    // The origin without its closing "/".
    const std::wstring root = Utf8ToWide(origin.substr(0, origin.size() - 1));
    if (target.front() == L'/') return ParseUrl(root + target);
    std::wstring path = base.objectPath.substr(0, base.objectPath.find(L'?'));
    path.resize(path.rfind(L'/') + 1);
    return ParseUrl(root + path + target);
}

std::string UrlText(const UrlParts& parts) {
    std::string text = parts.Secure() ? "https://" : "http://";
    const std::string host = WideToUtf8(parts.serverName);
    const bool bracketed = host.find(':') != std::string::npos;
    if (bracketed) text += '[';
    text += host;
    if (bracketed) text += ']';
    const std::uint16_t defaultPort = parts.Secure() ? 443 : 80;
    if (parts.port != defaultPort) {
        text += ':';
        text += std::to_string(parts.port);
    }
    text += WideToUtf8(parts.objectPath);
    return text;
}

}  // namespace kivrel
