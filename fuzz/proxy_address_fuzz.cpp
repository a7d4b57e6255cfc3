// A proxy address comes from the command line or from http_proxy and its kin, which other
// programs set for us. What parses must be a bare host and port that libcurl and WinInet take
// as they are, and must read back the same.

#include <cstdint>
#include <string>
#include <string_view>

#include "base/text.h"
#include "net/proxy_settings.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::wstring text =
        kivrel::Utf8ToWide(std::string_view(reinterpret_cast<const char*>(data), size));
    const auto server = kivrel::ParseProxyAddress(text);
    if (!server) return 0;  // refusing is always allowed
    const std::wstring& hostPort = server->hostPort;
    const std::size_t colon = hostPort.rfind(L':');
    if (colon == std::wstring::npos || colon == 0 || colon + 1 == hostPort.size()) {
        __builtin_trap();
    }
    if (hostPort.find_first_of(L"/?#@ \t\r\n") != std::wstring::npos) __builtin_trap();
    unsigned long port = 0;
    for (std::size_t i = colon + 1; i < hostPort.size(); ++i) {
        if (hostPort[i] < L'0' || hostPort[i] > L'9') __builtin_trap();
        port = port * 10 + static_cast<unsigned long>(hostPort[i] - L'0');
        if (port > 65535) __builtin_trap();
    }
    if (port == 0) __builtin_trap();
    if (!server->password.empty() && server->user.empty()) __builtin_trap();

    const auto again = kivrel::ParseProxyAddress(L"http://" + hostPort);
    if (!again || again->hostPort != hostPort || !again->user.empty()) __builtin_trap();
    return 0;
}
