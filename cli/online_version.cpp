#include "cli/online_version.h"

#include <cstdio>

#include "base/temp_folder.h"
#include "base/text.h"
#include "cli/cli_prompts.h"
#include "cli/cli_vendor.h"
#include "device/gps_unit.h"

namespace kivrel::cli {

std::wstring FetchOnlineVersion(const CGpsUnit& unit, const std::string& versionUrlOption,
                                const NetworkSettings& network, AnnouncedDatabase& found) {
    std::wstring whyNot;
    std::wstring folder = TempFolder(whyNot);
    return CheckOnlineVersion(
        unit.identity, CliVendorConfig(), Utf8ToWide(versionUrlOption), network,
        {std::move(folder), std::move(whyNot)},
        [](std::wstring_view text) { PrintLine(stderr, text); }, found);
}

}  // namespace kivrel::cli
