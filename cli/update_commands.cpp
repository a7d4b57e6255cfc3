// `kivrel update` and `kivrel check`: the whole update run from a local file or from the
// newest online database, and the online version check.

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "base/native_path.h"
#include "base/temp_folder.h"
#include "base/text.h"
#include "cli/cli_prompts.h"
#include "cli/cli_text.h"
#include "cli/commands.h"
#include "cli/device_open.h"
#include "cli/progress_renderer.h"
#include "cli/terminal.h"
#include "device/gps_unit.h"
#include "net/http_download.h"
#include "net/version_check.h"
#include "update/prompts.h"
#include "package/province_names.h"
#include "update/archivers.h"
#include "update/staging_files.h"
#include "update/update_run.h"
#include "package/vendor_config.h"

namespace kivrel::cli {
namespace {

constexpr std::wstring_view kTextAccessFailed =
    L"Access database failed,please updated by local file!";
constexpr std::wstring_view kTextAlreadyNewest = L"Already the newest version,Updated or Not?";

struct UpdateArgs {
    std::string file;
    bool national = false;
    std::string provinces;
    bool provincesGiven = false;
    bool online = false;
    std::string versionUrl;
};

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
};

// The version check: which version file, fetched and read. Empty on success, else the text
// to show.
std::wstring FetchOnlineSource(const CGpsUnit& unit, const std::string& versionUrlOption,
                               const NetworkSettings& network, OnlineSource& source) {
    std::wstring url = versionUrlOption.empty()
                           ? SelectVersionFileUrl(unit.identity, DefaultVendorConfig().toolTag)
                           : Utf8ToWide(versionUrlOption);
    if (url.empty()) return L"No online database is known for this unit; give --version-url.";
    if (IsArchiveAddress(url)) {
        source.archiveUrl = url;
        return {};
    }
    std::wstring whyNot;
    const std::wstring folder = TempFolder(whyNot);
    if (folder.empty()) return whyNot;
    const std::wstring versionFile = folder + L"Tmp";

    PrintLine(stderr, L"Searching the database version now,please wait\u2026");
    VersionFileSink sink;
    CHttpDownload downloader;
    downloader.SetNetworkSettings(network);
    downloader.SetParameters(&sink, url, versionFile, L"", L"", L"", L"", L"", 0, 0, 0, 0, 0.0,
                             0);
    const std::wstring startError = downloader.Start(true);
    if (!startError.empty()) return startError;
    if (sink.code != 0) return std::wstring(kTextAccessFailed);
    const auto parsed = ParseVersionFile(versionFile);
    if (!parsed) return std::wstring(kTextAccessFailed);
    source.archiveUrl = parsed->archiveUrl;
    source.onlineVersion = parsed->version;
    source.versionText = parsed->firstLine;
    return {};
}

void PrintUnitState(const CGpsUnit& unit) {
    std::fprintf(stderr,
                 "The unit now holds: main %s, resource %s, database %s; %s layout record\n",
                 FormatDate(unit.mainDate).c_str(), FormatDate(unit.resourceDate).c_str(),
                 FormatDate(unit.databaseDate).c_str(),
                 unit.HasLayoutRecord() ? "with a" : "without a");
}

int RunUpdate(const GlobalOptions& options, const UpdateArgs& args) {
    std::array<std::int32_t, kProvinceCount> flags{};
    const bool chooseProvinces = args.provincesGiven;
    if (chooseProvinces) {
        if (const std::string error = ParseProvinceList(args.provinces, flags); !error.empty()) {
            std::fprintf(stderr, "kivrel update: %s\n", error.c_str());
            return kExitUsage;
        }
    }
    if (args.file.empty() && !args.online) {
        std::fprintf(stderr, "kivrel update: give an update file, or --online\n");
        return kExitUsage;
    }
    // Say which file, before the unit is touched; the run itself only says it failed.
    if (!args.file.empty() && !std::ifstream(ArgumentPath(args.file))) {
        std::fprintf(stderr, "kivrel update: cannot open %s\n", args.file.c_str());
        return kExitFailure;
    }

    UpdateRunShared shared;
    CliRunHost host(shared, chooseProvinces, flags);
    CGpsUnit unit;
    const VendorConfig& vendor = DefaultVendorConfig();
    if (const std::string error = OpenAndReadUnit(options, unit, &host); !error.empty()) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return kExitFailure;
    }

    CliPrompts prompts(options.yes);
    if (args.online) {
        OnlineSource source;
        if (const std::wstring error =
                FetchOnlineSource(unit, args.versionUrl, options.network, source);
            !error.empty()) {
            PrintLine(stderr, error);
            return kExitFailure;
        }
        if (!source.versionText.empty()) {
            PrintLine(stdout, L"Internet vesion:" + Utf8ToWide(source.versionText));
        }
        if (AskBeforeUpdate(DatabaseVersionNumber(unit.databaseDate), source.onlineVersion) &&
            !prompts.AskYesNo(kTextAlreadyNewest, kToolCaption)) {
            std::fprintf(stdout, "Not updated: the unit already has this database.\n");
            return kExitOk;
        }
        shared.archiveUrl = source.archiveUrl;
    } else {
        shared.localFilePath = WidePathFromArgument(args.file);
    }

    auto archivers = MakeSystemArchivers();
    CHttpDownload downloader;
    downloader.SetNetworkSettings(options.network);
    std::wstring tempProblem;
    const std::wstring tempFolder = args.online ? TempFolder(tempProblem) : std::wstring();
    UpdateRunServices services{unit,    downloader, *archivers, SystemStagingFiles(),
                               host,    prompts,    host,       vendor,
                               tempFolder, tempProblem};
    const UpdateRunOutcome outcome = UpdateWorker(shared, services);
    host.Finish();
    if (chooseProvinces && !host.asked) {
        std::fprintf(stderr, "The update file has no province table: its own database was sent.\n");
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
    const bool readAgain = (unit.Connected() ? ReadOpenedUnit(options, unit)
                                             : OpenAndReadUnit(options, unit, nullptr))
                               .empty();
    if (readAgain) {
        PrintUnitState(unit);
    } else {
        std::fprintf(stderr, "The unit cannot be read now; check its connection before trying again.\n");
    }
    return kExitFailure;
}

int RunCheck(const GlobalOptions& options, const std::string& versionUrl) {
    CGpsUnit unit;
    if (const std::string error = OpenAndReadUnit(options, unit, nullptr); !error.empty()) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return kExitFailure;
    }
    OnlineSource source;
    if (const std::wstring error = FetchOnlineSource(unit, versionUrl, options.network, source);
        !error.empty()) {
        PrintLine(stderr, error);
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
        std::printf("%s\n", out.dump(2).c_str());
        return kExitOk;
    }
    if (!source.versionText.empty()) {
        PrintLine(stdout, L"Internet vesion:" + Utf8ToWide(source.versionText));
    }
    const std::wstring unitDate = DatabaseDateText(unit.databaseDate);
    std::printf("Unit database: %s\n",
                unitDate.empty() ? "none (blank)" : WideToUtf8(unitDate).c_str());
    std::printf("Archive: %s\n", WideToUtf8(source.archiveUrl).c_str());
    std::printf("%s\n", newer ? "An update is available." : "The unit already has the newest database.");
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
    update->add_option("--version-url", args->versionUrl,
                       "the version file (or archive) to use instead of the unit's own")
        ->needs(online);
    commands.emplace_back(update, [&options, args] { return RunUpdate(options, *args); });

    auto versionUrl = std::make_shared<std::string>();
    CLI::App* check =
        app.add_subcommand("check", "compare the newest online database with the unit's");
    check->add_option("--version-url", *versionUrl,
                      "the version file to use instead of the unit's own");
    commands.emplace_back(check, [&options, versionUrl] { return RunCheck(options, *versionUrl); });
}

}  // namespace kivrel::cli
