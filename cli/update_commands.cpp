// `kivrel update` and `kivrel check`: the whole update run from a local file or from the
// newest online database, and the online version check.

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "base/disk_space.h"
#include "base/native_path.h"
#include "base/temp_folder.h"
#include "base/text.h"
#include "cli/cli_prompts.h"
#include "cli/cli_text.h"
#include "cli/cli_vendor.h"
#include "cli/commands.h"
#include "cli/device_open.h"
#include "cli/plan_text.h"
#include "cli/progress_renderer.h"
#include "cli/terminal.h"
#include "cli/trust_options.h"
#include "cli/unit_json.h"
#include "cli/update_record.h"
#include "device/gps_unit.h"
#include "net/archive_check.h"
#include "net/http_download.h"
#include "net/version_check.h"
#include "net/version_trust.h"
#include "package/province_names.h"
#include "package/update_package.h"
#include "package/vendor_config.h"
#include "update/archive_unpack.h"
#include "update/archivers.h"
#include "update/prompts.h"
#include "update/staging_files.h"
#include "update/update_run.h"

namespace kivrel::cli {
namespace {

struct UpdateArgs {
    std::string file;
    bool national = false;
    std::string provinces;
    bool provincesGiven = false;
    bool online = false;
    std::string versionUrl;
    bool dryRun = false;
    TrustOptions trust;
};

// Room the unpacked files may need beyond the unit's two banks: the update file's index and
// tables, and the odd text file beside it.
constexpr std::uint64_t kUnpackSlack = std::uint64_t{1} << 20;

// The command line's side of the run: progress on stderr, the province choice from the
// options, and a failed archive download noted as the window notes it.
class CliRunHost : public ProgressRenderer, public UpdateRunView {
public:
    CliRunHost(UpdateRunShared& shared, bool chooseProvinces,
               const std::array<std::int32_t, kProvinceCount>& flags)
        : ProgressRenderer(stderr, StderrIsTerminal()),
          shared(shared),
          chooseProvinces(chooseProvinces),
          flags(flags) {}

    int AskProvinces() override {
        asked = true;
        shared.provinceMode = chooseProvinces ? 1 : 0;
        if (chooseProvinces) shared.provinceFlags = flags;
        return 0;
    }
    void DownloadFinished(std::uint32_t result, std::uint32_t value) override {
        ProgressRenderer::DownloadFinished(result, value);
        if (result != 0 && result != 6) {
            std::fprintf(stderr, "Download failed (result %u, %u)\n", result, value);
            shared.SetDownloadErrorText(std::wstring(kTextDownloadFailed));
        }
    }

    void TransferStart(std::uint32_t totalBytes) override {
        transferStarted = true;
        ProgressRenderer::TransferStart(totalBytes);
    }
    // The archive's size is known before any of it is written: a disk without room for it
    // and its unpacked files stops the download here.
    void DownloadSize(std::uint32_t contentLength, std::uint32_t resumeOffset) override {
        if (roomCheck && downloader != nullptr) {
            roomCause = roomCheck(contentLength);
            if (!roomCause.empty()) {
                downloader->RequestCancel();
                return;
            }
        }
        ProgressRenderer::DownloadSize(contentLength, resumeOffset);
    }

    void EnableButtons(bool) override {}
    void SetProgressText(std::wstring_view text) override {
        Finish();
        if (!text.empty()) PrintLine(stderr, text);
    }
    void SetProgressPosition(std::uint32_t) override {}
    void ShowTransferProgress() override { Finish(); }
    void OpenFolder(const std::wstring& folder) override {
        std::fprintf(stderr, "The downloaded files are in %s\n", WideToUtf8(folder).c_str());
    }
    void RunFinished() override {}

    bool asked = false;
    bool transferStarted = false;
    std::function<std::string(std::uint32_t)> roomCheck;
    CHttpDownload* downloader = nullptr;
    std::string roomCause;  // why the download was stopped for want of room

private:
    UpdateRunShared& shared;
    bool chooseProvinces;
    std::array<std::int32_t, kProvinceCount> flags;
};

// Records how the version file's download ended.
class VersionFileSink : public NullEventSink {
public:
    void DownloadFinished(std::uint32_t result, std::uint32_t) override { code = result; }
    std::uint32_t code = 0xFFFFFFFFu;
};

struct OnlineSource {
    std::wstring archiveUrl;
    std::int32_t onlineVersion = 0;  // 0: the address is the archive itself
    std::string versionText;         // line 1 of the version file
    VersionVerdict verdict;          // whether to believe it, and what it announced
};

// The version check: which version file, fetched and read. Empty on success, else the text
// to show.
std::wstring FetchOnlineSource(const CGpsUnit& unit, const std::string& versionUrlOption,
                               const NetworkSettings& network, const VersionTrustPolicy& trust,
                               OnlineSource& source) {
    std::wstring url = versionUrlOption.empty()
                           ? SelectVersionFileUrl(unit.identity, CliVendorConfig().toolTag,
                                                  CliVendorConfig().versionSources)
                           : Utf8ToWide(versionUrlOption);
    if (url.empty()) return L"No online database is known for this unit; give --version-url.";
    if (IsArchiveAddress(url)) {
        source.verdict = CheckArchiveAddress(trust);
        if (source.verdict.trust == VersionTrust::kRefused) return source.verdict.refusal;
        source.archiveUrl = url;
        return {};
    }
    std::wstring whyNot;
    const std::wstring folder = TempFolder(whyNot);
    if (folder.empty()) return whyNot;
    const std::wstring versionFile = folder + std::wstring(kVersionFileName);

    PrintLine(stderr, kTextSearchingVersion);
    VersionFileSink sink;
    CHttpDownload downloader;
    downloader.SetNetworkSettings(network);
    downloader.SetParameters(&sink, url, versionFile, L"", L"", L"", L"", L"", 0, 0, 0, 0, 0.0, 0);
    downloader.SetBounds(kVersionFileBounds);
    const std::wstring startError = downloader.Start(true);
    if (!startError.empty()) return startError;
    if (sink.code != 0) return std::wstring(kTextAccessFailed);
    const auto parsed = ParseVersionFile(versionFile);
    if (!parsed) return std::wstring(kTextAccessFailed);
    source.verdict = CheckVersionFile(*parsed, trust);
    if (source.verdict.trust == VersionTrust::kRefused) return source.verdict.refusal;
    source.archiveUrl = parsed->archiveUrl;
    source.onlineVersion = parsed->version;
    source.versionText = parsed->firstLine;
    return {};
}

void PrintUnitState(const CGpsUnit& unit) {
    std::fprintf(
        stderr, "The unit now holds: main %s, resource %s, database %s; %s layout record\n",
        FormatDate(unit.mainDate).c_str(), FormatDate(unit.resourceDate).c_str(),
        FormatDate(unit.databaseDate).c_str(), unit.HasLayoutRecord() ? "with a" : "without a");
}

// Room on the disk of the staging folders for a download of `archiveBytes` (0: not given)
// and its unpacked files. Empty when there is room or the system cannot tell; else why not
// and what to do.
std::string RoomForDownload(const std::wstring& folder, std::uint32_t archiveBytes,
                            std::uint32_t capacity) {
    // An update file a unit can take holds at most its two banks' worth of sections, besides
    // its index and tables, and a database archive holds little more; the unpacker stops at
    // its own limit in any case. An archive of unknown size is taken to be as large as what
    // it unpacks to: packing rarely makes a file larger.
    const std::uint64_t unpacked =
        std::min<std::uint64_t>(2 * std::uint64_t{capacity} + kUnpackSlack, kMaxUnpackedBytes);
    const std::uint64_t archive = archiveBytes != 0 ? archiveBytes : unpacked;
    const auto free = FreeDiskSpace(folder);
    if (!free || *free >= archive + unpacked) return {};
    return "There is not enough free space for the download in " + WideToUtf8(folder) + ": " +
           FormatSize(*free) + " free, and the archive (" +
           (archiveBytes != 0 ? FormatSize(archive)
                              : "size not given: up to " + FormatSize(archive)) +
           ") and its unpacked files (up to " + FormatSize(unpacked) + ") need " +
           FormatSize(archive + unpacked) +
           ". Free some space and try again, or update from a file you have.";
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
                  const std::array<std::int32_t, kProvinceCount>& flags)
        : options(options),
          args(args),
          flags(flags),
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
    int ChooseOnlineSource(bool& stop);
    int Report(const UpdateRunOutcome& outcome);
    void PrintDryRun(const UpdateRunOutcome& outcome) const;
    [[nodiscard]] nlohmann::ordered_json ProvincesJson() const;

    const GlobalOptions& options;
    const UpdateArgs& args;
    std::array<std::int32_t, kProvinceCount> flags;
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
    if (LoadUpdateFile(package, WidePathFromArgument(args.file), CliVendorConfig(), cause)) {
        shared.loadedPackage = std::move(package);  // the run sends what was checked here
        return kExitOk;
    }
    return Fail(WideToUtf8(kTextOpenFailed), WideToUtf8(cause));
}

int UpdateCommand::OpenUnit() {
    if (std::string error =
            OpenUnitForCli(options, unit, &host, record ? &record->Trace() : nullptr);
        !error.empty()) {
        return Fail(error);
    }
    if (record) {
        if (std::string error = ReadOpenedUnit(unit); !error.empty()) return Fail(error);
        record->Started(unit);
        return kExitOk;
    }
    // A dry run only looks: a unit of another vendor is not sent AbandonUnit.
    bool refused = false;
    if (std::string error = ReadOpenedUnitUnchanged(unit, refused); !error.empty()) {
        return Fail(error);
    }
    if (refused) {
        return Fail(std::string(kTextUnitRefused),
                    "Dry run: the unit was only read. An update would send it AbandonUnit and "
                    "stop there; use the tool made for this unit's brand.");
    }
    return kExitOk;
}

int UpdateCommand::ChooseOnlineSource(bool& stop) {
    OnlineSource source;
    VersionTrustPolicy trust;
    if (const std::string error = MakeTrustPolicy(args.trust, CliVendorConfig(), trust);
        !error.empty()) {
        return Fail(error);
    }
    if (const std::wstring error =
            FetchOnlineSource(unit, args.versionUrl, options.network, trust, source);
        !error.empty()) {
        return Fail(WideToUtf8(error), WideToUtf8(source.verdict.cause));
    }
    if (!source.versionText.empty()) {
        PrintLine(args.dryRun ? stderr : stdout,
                  std::wstring(kTextOnlineVersion) + Utf8ToWide(source.versionText));
    }
    std::fprintf(args.dryRun ? stderr : stdout, "%s\n", SignatureLine(source.verdict).c_str());
    if (AskBeforeUpdate(DatabaseVersionNumber(unit.databaseDate), source.onlineVersion)) {
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

nlohmann::ordered_json UpdateCommand::ProvincesJson() const {
    if (!host.asked) return "no province table";
    if (!args.provincesGiven) return "national";
    nlohmann::ordered_json chosen = nlohmann::ordered_json::array();
    for (std::size_t i = 0; i < kProvinceCount; ++i) {
        if (flags[i] != 0) chosen.push_back({{"index", i}, {"name", kProvinceNames[i].utf8}});
    }
    return chosen;
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
        if (const int status = ChooseOnlineSource(stop); status != kExitOk || stop) return status;
        tempFolder = TempFolder(tempProblem);
        host.roomCheck = [&tempFolder, this](std::uint32_t archiveBytes) {
            return RoomForDownload(tempFolder, archiveBytes, unit.capacity);
        };
    } else {
        shared.localFilePath = WidePathFromArgument(args.file);
    }

    auto archivers = MakeSystemArchivers();
    CHttpDownload downloader;
    downloader.SetNetworkSettings(options.network);
    host.downloader = &downloader;
    UpdateRunServices services{unit,       downloader, *archivers, SystemStagingFiles(),
                               host,       prompts,    host,       CliVendorConfig(),
                               tempFolder, tempProblem};
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
        PrintDryRun(outcome);
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
    const bool readAgain =
        (unit.Connected() ? ReadOpenedUnit(unit) : OpenAndReadUnit(options, unit, nullptr)).empty();
    if (readAgain) {
        PrintUnitState(unit);
    } else {
        std::fprintf(stderr,
                     "The unit cannot be read now; check its connection before trying again.\n");
    }
    return kExitFailure;
}

void UpdateCommand::PrintDryRun(const UpdateRunOutcome& outcome) const {
    const UpdatePlan& plan = *outcome.plan;
    const bool settingsErase = !KeepsSettingsAfterUpdate(CliVendorConfig());
    if (options.json) {
        nlohmann::ordered_json json;
        json["dry_run"] = true;
        json["unit"] = UnitInfoJson(unit);
        if (outcome.file) {
            json["file"] = {{"name", WideToUtf8(outcome.file->name)},
                            {"size", outcome.file->size},
                            {"byte_sum_hex", Hex32(outcome.file->byteSum)}};
        }
        json["provinces"] = ProvincesJson();
        json["plan"] = PlanJson(plan);
        json["settings_sector_erase"] =
            settingsErase
                ? nlohmann::ordered_json{{"first_sector", kSettingsAddress / kSectorBytes},
                                         {"sectors", 1}}
                : nlohmann::ordered_json(nullptr);
        json["finish_update"] = true;
        std::printf("%s\n", JsonText(json).c_str());
        return;
    }
    std::printf("Dry run: the unit was read, and nothing that changes it was sent.\n");
    std::printf("Unit:      boot version %d, capacity %u bytes, model %s, layout record: %s\n",
                unit.bootVersion, static_cast<unsigned>(unit.capacity), Hex32(unit.modelId).c_str(),
                unit.HasLayoutRecord() ? "yes" : "no");
    if (outcome.file) {
        std::printf("File:      %s, %llu bytes, byte sum %s\n",
                    WideToUtf8(outcome.file->name).c_str(),
                    static_cast<unsigned long long>(outcome.file->size),
                    Hex32(outcome.file->byteSum).c_str());
    }
    const nlohmann::ordered_json provinces = ProvincesJson();
    std::string provinceText = provinces.is_string() ? provinces.get<std::string>() : "";
    for (const auto& chosen : provinces.is_array() ? provinces : nlohmann::ordered_json::array()) {
        provinceText += (provinceText.empty() ? "" : ", ") +
                        std::to_string(chosen["index"].get<std::size_t>()) + " " +
                        chosen["name"].get<std::string>();
    }
    std::printf("Provinces: %s\n", provinceText.c_str());
    if (plan.modelEntry >= 0) {
        std::printf("Model:     entry %d of the file's model table (%s)\n", plan.modelEntry,
                    Hex32(plan.modelEntryId).c_str());
    } else {
        std::printf("Model:     no entry of the file's model table\n");
    }
    std::fflush(stdout);
    PrintPlan(stdout, plan);
    std::printf("Then the unit is read again, %sand FinishUpdate is sent.\n",
                settingsErase ? "its settings sector (17, at 0x011000) is erased, " : "");
}

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
    if (const std::string error = MakeTrustPolicy(args.trust, CliVendorConfig(), trust);
        !error.empty()) {
        std::fprintf(stderr, "kivrel update: %s\n", error.c_str());
        return kExitUsage;
    }
    UpdateCommand command(options, args, flags);
    return command.Run();
}

int RunCheck(const GlobalOptions& options, const std::string& versionUrl,
             const TrustOptions& trustOptions) {
    VersionTrustPolicy trust;
    if (const std::string error = MakeTrustPolicy(trustOptions, CliVendorConfig(), trust);
        !error.empty()) {
        std::fprintf(stderr, "kivrel check: %s\n", error.c_str());
        return kExitUsage;
    }
    CGpsUnit unit;
    if (const std::string error = OpenAndReadUnit(options, unit, nullptr); !error.empty()) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return kExitFailure;
    }
    OnlineSource source;
    if (const std::wstring error =
            FetchOnlineSource(unit, versionUrl, options.network, trust, source);
        !error.empty()) {
        PrintLine(stderr, error);
        if (!source.verdict.cause.empty()) PrintLine(stderr, source.verdict.cause);
        return kExitFailure;
    }
    const std::uint32_t unitVersion = DatabaseVersionNumber(unit.databaseDate);
    const bool newer = !AskBeforeUpdate(unitVersion, source.onlineVersion);
    if (options.json) {
        nlohmann::ordered_json out;
        out["online_version"] = source.onlineVersion;
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

}  // namespace

void RegisterUpdateCommands(CLI::App& app, GlobalOptions& options, CommandTable& commands) {
    auto args = std::make_shared<UpdateArgs>();
    CLI::App* update = app.add_subcommand(
        "update", "write an update file, or the newest online database, into the unit");
    CLI::Option* file = update->add_option("FILE", args->file, "the update file (*.qdx)");
    CLI::Option* national =
        update->add_flag("--national", args->national, "send the national package (default)");
    CLI::Option* provinces = update->add_option(
        "--provinces", args->provinces,
        "send only these provinces' data: 1 to 12 indices (0-33) or names, comma separated");
    provinces->excludes(national);
    provinces->each([args](const std::string&) { args->provincesGiven = true; });
    CLI::Option* online =
        update->add_flag("--online", args->online, "download the newest database and send it");
    online->excludes(file);
    update->add_flag("--dry-run", args->dryRun,
                     "read the unit, load the file and print the plan; send nothing that "
                     "changes the unit");
    update
        ->add_option("--version-url", args->versionUrl,
                     "the version file (or archive) to use instead of the unit's own")
        ->needs(online);
    AddTrustOptions(*update, args->trust);
    commands.emplace_back(update, [&options, args] { return RunUpdate(options, *args); });

    auto versionUrl = std::make_shared<std::string>();
    auto trust = std::make_shared<TrustOptions>();
    CLI::App* check =
        app.add_subcommand("check", "compare the newest online database with the unit's");
    check->add_option("--version-url", *versionUrl,
                      "the version file to use instead of the unit's own");
    AddTrustOptions(*check, *trust);
    commands.emplace_back(
        check, [&options, versionUrl, trust] { return RunCheck(options, *versionUrl, *trust); });
}

}  // namespace kivrel::cli
