#pragma once
// The online version check for the unit read, on this thread, as `update --online` and `check`
// run it: the shared check with the command line's temp folder and its "searching" line.

#include <string>

#include "cli/cli_options.h"
#include "procedures/online_check.h"

namespace kivrel {
class CGpsUnit;
}  // namespace kivrel

namespace kivrel::cli {

// `versionUrlOption` (UTF-8) replaces the vendor table's address when not empty. Empty on
// success, else the text to show.
[[nodiscard]] std::wstring FetchOnlineVersion(const GlobalOptions& options, const CGpsUnit& unit,
                                              const std::string& versionUrlOption,
                                              const VersionTrustPolicy& trust,
                                              AnnouncedDatabase& found);

}  // namespace kivrel::cli
