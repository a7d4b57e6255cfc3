// What an installed archiver lists describes an archive from the server: a listing is parsed
// in both forms, and a listing judged safe holds only plain entries with safe names.

#include <cstdint>
#include <string_view>

#include "update/archive_listing.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    for (const kivrel::ListingForm form :
         {kivrel::ListingForm::kSevenZip, kivrel::ListingForm::kRar}) {
        const auto entries = kivrel::ParseArchiveListing(form, text);
        if (!entries) continue;
        if (entries->empty()) __builtin_trap();
        if (!kivrel::ListingIsSafe(*entries)) continue;
        for (const auto& entry : *entries) {
            if (!entry.plain || entry.name.empty() || entry.name.find("..") != std::string::npos ||
                entry.name.find(':') != std::string::npos || entry.name.front() == '/' ||
                entry.name.front() == '\\') {
                __builtin_trap();
            }
        }
    }
    return 0;
}
