// `kivrel update`: the whole update run from a local file or from the newest online database,
// real or dry: the checks before the unit is touched, the reading, the run, and what is shown
// and kept of it.

#include <cstdio>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "base/native_path.h"
#include "base/prompts.h"
#include "base/temp_folder.h"
#include "base/text.h"
#include "cli/cli_prompts.h"
#include "cli/cli_text.h"
#include "cli/commands.h"
#include "cli/device_open.h"
#include "cli/dry_run_report.h"
#include "cli/online_version.h"
#include "cli/plan_text.h"
#include "cli/trust_options.h"
#include "cli/update_host.h"
#include "cli/update_record.h"
#include "device/gps_unit.h"
#include "net/http_download.h"
#include "net/version_check.h"
#include "package/update_package.h"
#include "procedures/unit_reading.h"
#include "procedures/update_run.h"
#include "update/archivers.h"
#include "update/staging_files.h"

namespace kivrel::cli {
namespace {

void PrintUnitState(const CGpsUnit& unit) {
    std::fprintf(
        stderr, "The unit now holds: main %s, resource %s, database %s; %s layout record\n",
        FormatDate(unit.mainDate).c_str(), FormatDate(unit.resourceDate).c_str(),
        FormatDate(unit.databaseDate).c_str(), unit.HasLayoutRecord() ? "with a" : "without a");
}

// The file name of a path or address, without its folders.
std::string LastComponent(std::string_view path) {
    const std::size_t slash = path.find_last_of("/\\");
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

// One `kivrel update`, real or dry: the checks before the unit is touched, the reading, the
// run, and what is shown and kept of it.
class UpdateCommand {
public:
    UpdateCommand(const GlobalOptions& options, const UpdateArgs& args,
                  const std::array<std::int32_t, kProvinceCount>& flags, VersionTrustPolicy trust)
        : options(options),
          args(args),
          flags(flags),
          trust(std::move(trust)),
          host(shared, args.provincesGiven, flags),
          prompts(options.yes) {
        if (!args.dryRun) record.emplace();
    }

    int Run();

private:
    // Prints the failure and its cause on the next line, and keeps them in the record.
    int Fail(const std::string& error, const std::string& cause = {}) {
        host.Finish();
        std::fprintf(stderr, "%s\n", error.c_str());
        if (!cause.empty()) std::fprintf(stderr, "%s\n", cause.c_str());
        if (record) record->Ended("failed", error, cause);
        return kExitFailure;
    }
    int CheckFile();
    int OpenUnit();
    // Online: the version check and the question; 0 to go on, else the exit status.
    int AskOnlineSource(bool& stop);
    int Report(const UpdateRunOutcome& outcome);

    const GlobalOptions& options;
    const UpdateArgs& args;
    std::array<std::int32_t, kProvinceCount> flags;
    VersionTrustPolicy trust;
    UpdateRunShared shared;
    CliRunHost host;
    CliPrompts prompts;
    CGpsUnit unit;
    std::optional<UpdateRecord> record;
};

int UpdateCommand::CheckFile() {
    // Before the unit is touched: the file loads and is this vendor's.
    UpdatePackage package;
    std::wstring cause;
    if (LoadUpdateFile(package, WidePathFromArgument(args.file), options.Vendor(), cause)) {
        shared.loadedPackage = std::move(package);  // the run sends what was checked here
        return kExitOk;
    }
    return Fail(WideToUtf8(kTextOpenFailed), WideToUtf8(cause));
}

int UpdateCommand::OpenUnit() {
    if (std::string error = kivrel::OpenUnit(unit, LinkOptionsOf(options), &host,
                                             record ? &record->Trace() : nullptr);
        !error.empty()) {
        return Fail(error);
    }
    // A dry run only looks: a unit of another vendor is not sent AbandonUnit.
    const bool dryRun = !record;
    const UnitReading reading =
        ReadUnit(unit, options.Vendor(), dryRun ? ReadingMode::kLookOnly : ReadingMode::kUse);
    if (dryRun && reading.result == ReadingResult::kRefused) {
        return Fail(std::string(kTextUnitRefused),
                    "Dry run: the unit was only read. An update would send it AbandonUnit and "
                    "stop there; use the tool made for this unit's brand.");
    }
    if (reading.result != ReadingResult::kRead) return Fail(ReadingFailureText(reading));
    if (record) record->Started(unit);
    return kExitOk;
}

int UpdateCommand::AskOnlineSource(bool& stop) {
    AnnouncedDatabase source;
    if (const std::wstring error =
            FetchOnlineVersion(options, unit, args.versionUrl, trust, source);
        !error.empty()) {
        return Fail(WideToUtf8(error), WideToUtf8(source.verdict.cause));
    }
    if (!source.versionText.empty()) {
        PrintLine(args.dryRun ? stderr : stdout,
                  std::wstring(kTextOnlineVersion) + Utf8ToWide(source.versionText));
    }
    std::fprintf(args.dryRun ? stderr : stdout, "%s\n", SignatureLine(source.verdict).c_str());
    if (AskBeforeUpdate(DatabaseVersionNumber(unit.databaseDate), source.version)) {
        if (args.dryRun) {
            std::fprintf(stderr,
                         "The unit already has this database; an update would ask "
                         "before going on.\n");
        } else if (!prompts.AskYesNo(kTextAlreadyNewest, kToolCaption)) {
            std::fprintf(stdout, "Not updated: the unit already has this database.\n");
            if (record) record->Ended("not updated", WideToUtf8(kTextAlreadyNewest), {});
            stop = true;
            return kExitOk;
        }
    }
    shared.archiveUrl = source.archiveUrl;
    shared.announcedArchive = source.verdict.archive;
    if (record) record->Set("archive", LastComponent(WideToUtf8(source.archiveUrl)));
    return kExitOk;
}

int UpdateCommand::Run() {
    shared.dryRun = args.dryRun;
    shared.wantFileFacts = true;  // for the printed result and the update record
    if (record) {
        record->Set("source", args.online ? "online" : "file");
        if (!args.online) record->Set("file", {{"name", LastComponent(args.file)}});
    }
    if (!args.online) {
        if (const int status = CheckFile(); status != kExitOk) return status;
    }
    if (const int status = OpenUnit(); status != kExitOk) return status;

    std::wstring tempProblem;
    std::wstring tempFolder;
    if (args.online) {
        bool stop = false;
        if (const int status = AskOnlineSource(stop); status != kExitOk || stop) return status;
        tempFolder = TempFolder(tempProblem);
        host.roomCheck = [&tempFolder, this](std::uint32_t archiveBytes) {
            return RoomForDownload(options, tempFolder, archiveBytes, unit.capacity);
        };
    } else {
        shared.localFilePath = WidePathFromArgument(args.file);
    }

    auto archivers = MakeSystemArchivers();
    CHttpDownload downloader;
    downloader.SetNetworkSettings(options.network);
    host.downloader = &downloader;
    UpdateRunServices services{unit,       downloader, *archivers, SystemStagingFiles(),
                               host,       prompts,    host,       options.Vendor(),
                               tempFolder, tempProblem};
    services.freeSpace = options.environment.freeSpace;
    const UpdateRunOutcome outcome = UpdateWorker(shared, services);
    host.Finish();
    return Report(outcome);
}

int UpdateCommand::Report(const UpdateRunOutcome& outcome) {
    // The run showed its own text; the cause goes on the next line.
    std::string cause = WideToUtf8(outcome.errorCause);
    if (cause.empty()) cause = host.roomCause;
    if (cause.empty() && outcome.plan) cause = PlanCause(*outcome.plan);
    if (!outcome.succeeded && !cause.empty()) std::fprintf(stderr, "%s\n", cause.c_str());
    if (record) record->Finished(outcome, cause);
    if (args.provincesGiven && !host.asked && !outcome.cancelled) {
        std::fprintf(stderr, args.dryRun ? "The update file has no province table: its own "
                                           "database would be sent.\n"
                                         : "The update file has no province table: its own "
                                           "database was sent.\n");
    }
    if (args.dryRun) {
        if (!outcome.succeeded || !outcome.plan) return kExitFailure;
        PrintDryRun(options, unit, outcome, {host.asked, args.provincesGiven, flags});
        return kExitOk;
    }
    if (outcome.succeeded) {
        // The update is in the unit; only what comes after the data went unconfirmed.
        if (outcome.unitSilentAtEnd) {
            std::fprintf(stderr,
                         "The unit stopped answering at the end of the update: replug it and "
                         "check it with `kivrel info`.\n");
        }
        return kExitOk;
    }

    // Once writing began, say where the unit stands before the user tries again.
    if (!host.transferStarted) return kExitFailure;
    const bool readAgain = unit.Connected()
                               ? ReadUnit(unit, options.Vendor()).result == ReadingResult::kRead
                               : OpenAndReadUnit(options, unit, nullptr).empty();
    if (readAgain) {
        PrintUnitState(unit);
    } else {
        std::fprintf(stderr,
                     "The unit cannot be read now; check its connection before trying again.\n");
    }
    return kExitFailure;
}

}  // namespace

int RunUpdate(const GlobalOptions& options, const UpdateArgs& args) {
    std::array<std::int32_t, kProvinceCount> flags{};
    if (args.provincesGiven) {
        if (const std::string error = ParseProvinceList(args.provinces, flags); !error.empty()) {
            std::fprintf(stderr, "kivrel update: %s\n", error.c_str());
            return kExitUsage;
        }
    }
    if (args.file.empty() && !args.online) {
        std::fprintf(stderr, "kivrel update: give an update file, or --online\n");
        return kExitUsage;
    }
    VersionTrustPolicy trust;
    if (const std::string error = MakeTrustPolicy(args.trust, options.Vendor(), trust);
        !error.empty()) {
        std::fprintf(stderr, "kivrel update: %s\n", error.c_str());
        return kExitUsage;
    }
    UpdateCommand command(options, args, flags, std::move(trust));
    return command.Run();
}

}  // namespace kivrel::cli
