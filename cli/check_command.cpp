// `kivrel check`: the newest online database against the unit's.

#include <cstdio>
#include <nlohmann/json.hpp>

#include "base/text.h"
#include "cli/cli_prompts.h"
#include "cli/cli_text.h"
#include "cli/commands.h"
#include "cli/device_open.h"
#include "cli/online_version.h"
#include "cli/trust_options.h"
#include "device/gps_unit.h"
#include "net/version_check.h"

namespace kivrel::cli {

int RunCheck(const GlobalOptions& options, const CheckArgs& args) {
    VersionTrustPolicy trust;
    if (const std::string error = MakeTrustPolicy(args.trust, options.Vendor(), trust);
        !error.empty()) {
        std::fprintf(stderr, "kivrel check: %s\n", error.c_str());
        return kExitUsage;
    }
    CGpsUnit unit;
    if (const std::string error = OpenAndReadUnit(options, unit, nullptr); !error.empty()) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return kExitFailure;
    }
    AnnouncedDatabase source;
    if (const std::wstring error =
            FetchOnlineVersion(options, unit, args.versionUrl, trust, source);
        !error.empty()) {
        PrintLine(stderr, error);
        if (!source.verdict.cause.empty()) PrintLine(stderr, source.verdict.cause);
        return kExitFailure;
    }
    const std::uint32_t unitVersion = DatabaseVersionNumber(unit.databaseDate);
    const bool newer = !AskBeforeUpdate(unitVersion, source.version);
    if (options.json) {
        nlohmann::ordered_json out;
        out["online_version"] = source.version;
        out["archive_url"] = WideToUtf8(source.archiveUrl);
        out["unit_database_version"] = unitVersion;
        out["update_available"] = newer;
        out["signature"] = source.verdict.trust == VersionTrust::kSigned ? "signed" : "unsigned";
        if (source.verdict.trust == VersionTrust::kSigned) {
            out["signed_by"] = WideToUtf8(source.verdict.signer);
        }
        std::printf("%s\n", out.dump(2).c_str());
        return kExitOk;
    }
    if (!source.versionText.empty()) {
        PrintLine(stdout, std::wstring(kTextOnlineVersion) + Utf8ToWide(source.versionText));
    }
    const std::wstring unitDate = DatabaseDateText(unit.databaseDate);
    std::printf("Unit database: %s\n",
                unitDate.empty() ? "none (blank)" : WideToUtf8(unitDate).c_str());
    std::printf("Archive: %s\n", WideToUtf8(source.archiveUrl).c_str());
    std::printf("%s\n", SignatureLine(source.verdict).c_str());
    std::printf("%s\n",
                newer ? "An update is available." : "The unit already has the newest database.");
    return kExitOk;
}

}  // namespace kivrel::cli
