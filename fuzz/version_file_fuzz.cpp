// The version file comes from a server: its two lines are parsed, and the archive address on
// line 2 is split for the download. What parses must round-trip through the address writer.

#include <cstdint>
#include <span>

#include "base/text.h"
#include "net/url_parts.h"
#include "net/version_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto file = kivrel::ParseVersionText(std::span<const std::uint8_t>(data, size));
    if (!file) return 0;  // refusing is always allowed
    if (file->archiveUrl.empty()) __builtin_trap();
    const std::string& first = file->firstLine;
    if (!first.empty() && (first.back() == '\r' || first.back() == '\n')) __builtin_trap();

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
    }
    return 0;
}
