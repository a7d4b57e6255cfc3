#include "cli/online_version.h"

#include <cstdio>

#include "base/temp_folder.h"
#include "base/text.h"
#include "cli/cli_prompts.h"
#include "device/gps_unit.h"

namespace kivrel::cli {

std::wstring FetchOnlineVersion(const GlobalOptions& options, const CGpsUnit& unit,
                                const std::string& versionUrlOption,
                                const VersionTrustPolicy& trust, AnnouncedDatabase& found) {
    std::wstring whyNot;
    std::wstring folder = TempFolder(whyNot);
    return CheckOnlineVersion(
        unit.identity, options.Vendor(), Utf8ToWide(versionUrlOption), trust, options.network,
        {std::move(folder), std::move(whyNot)},
        [](std::wstring_view text) { PrintLine(stderr, text); }, found);
}

}  // namespace kivrel::cli
