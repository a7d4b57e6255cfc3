// kivrel: the command-line tool for Linux, macOS, Windows and scripts. The command line is
// read here, and only here: every command's options, their checks and help texts; the
// commands themselves (commands.h) take plain values.

#include "cli/main.h"

#include <CLI/CLI.hpp>
#include <memory>

#include "base/native_path.h"
#include "base/text.h"
#include "cli/cli_options.h"
#include "cli/commands.h"
#include "kivrel_version.h"

namespace kivrel::cli {

namespace {

void AddNetworkOptions(CLI::App& app, NetworkSettings& network) {
    app.add_option_function<std::string>(
           "--proxy",
           [&network](const std::string& text) {
               network.proxy = ParseProxyAddress(Utf8ToWide(text));
               if (!network.proxy) {
                   throw CLI::ValidationError("--proxy",
                                              "expected http://[user:password@]host:port");
               }
           },
           "download through this proxy instead of the system's settings")
        ->type_name("URL");
    CLI::Option* caFile = app.add_option_function<std::string>(
        "--ca-file",
        [&network](const std::string& file) {
#ifdef _WIN32
            (void)network;
            (void)file;
            throw CLI::ValidationError("--ca-file",
                                       "Windows checks servers against its own certificate "
                                       "store: add the authority there (certmgr.msc) instead");
#else
            network.caFile = WidePathFromArgument(file);
#endif
        },
        "check HTTPS servers against the certificate authorities in FILE (PEM)");
    caFile->type_name("FILE");
#ifndef _WIN32
    caFile->check(CLI::ExistingFile.description(""));
#endif
}

// CLI11 reads "/name" as an option on Windows; here such an argument is a path, as
// "/tmp/x.qdx" is. Subcommands copy the setting when made, so it is set on each of them.
void TreatSlashesAsPaths(CLI::App& app) {
    app.allow_windows_style_options(false);
    for (CLI::App* sub : app.get_subcommands([](CLI::App*) { return true; })) {
        TreatSlashesAsPaths(*sub);
    }
}

void AddInspectCommand(CLI::App& app, GlobalOptions& options, CommandTable& commands) {
    auto inspectFile = std::make_shared<std::string>();
    CLI::App* inspect = app.add_subcommand("inspect", "load an update file and describe it");
    inspect->add_option("FILE", *inspectFile, "the update file (*.qdx)")->required();
    inspect->footer(
        "With --json: one object (index_form, format_version, identity_hex, "
        "sections, dates, models, provinces).");
    commands.emplace_back(inspect,
                          [inspectFile, &options] { return RunInspect(*inspectFile, options); });
}

void AddPackCommand(CLI::App& app, CommandTable& commands) {
    auto pack = std::make_shared<PackOptions>();
    CLI::App* sub = app.add_subcommand(
        "pack", "build an update file from plain (unscrambled) parts; the inverse of inspect");
    sub->add_option("OUT", pack->out, "the update file to write")->required();
    sub->add_option("--form", pack->form, "index form: full (default), medium or short")
        ->check(CLI::IsMember({"full", "medium", "short"}));
    sub->add_option("--format-version", pack->formatVersion,
                    "format version of a full index (default 5; 5 or more carries the "
                    "alternate main images)");
    sub->add_flag("--sample", pack->sample,
                  "start from deterministic sample contents: every section, 2 models, the 34 "
                  "provinces (parts given below replace the sample's)");
    sub->add_option("--date", pack->sampleDate,
                    "date written into the sample sections, YYYY-MM-DD or \"YYYY-MM-DD "
                    "hh:mm:ss\" (default 2024-05-01 08:00:00)")
        ->needs("--sample");
    sub->add_option("--seed", pack->seed, "seed of the sample contents (default 1)");
    sub->add_option("--sample-models", pack->sampleModels,
                    "number of sample model entries, KV01, KV02, ... (default 2; a table of "
                    "one entry serves every unit)")
        ->check(CLI::Range(0u, 99u));
    sub->add_option("--omit", pack->omit,
                    "leave parts out: base, models, resource, main, database, auxiliary, "
                    "alt-main, provinces, regional-main, regional-alt-main")
        ->delimiter(',')
        ->allow_extra_args(false);
    sub->add_option("--vendor", pack->vendor,
                    "vendor tag: the first 16 bytes of the identity block, blank padded");
    sub->add_option("--identity", pack->identityFile, "the whole 256-byte identity block");
    sub->add_option("--base", pack->base, "plain base image");
    sub->add_option("--resource", pack->resource, "plain resource image");
    sub->add_option("--database", pack->database, "plain database image");
    sub->add_option("--main", pack->main, "plain main image");
    sub->add_option("--alt-main", pack->altMain, "plain alternate main image");
    sub->add_option("--auxiliary", pack->auxiliary, "plain auxiliary image");
    sub->add_option("--regional-main", pack->regionalMain, "plain regional main image");
    sub->add_option("--regional-alt-main", pack->regionalAltMain,
                    "plain regional alternate main image");
    sub->add_option("--model", pack->models,
                    "a model entry, ID=FILE: ID is 4 characters (KV01) or a number; FILE its "
                    "plain data, at most 32768 bytes (repeatable)")
        ->allow_extra_args(false);
    sub->add_option("--model-layout", pack->modelLayouts,
                    "ID=FIRST,SECOND,ALT: layout words and alternate-main flag of a model "
                    "(extended table only)")
        ->allow_extra_args(false);
    sub->add_flag("--compact-models", pack->compactModels,
                  "write the compact model table (no layout words) instead of the extended one");
    sub->add_option("--province", pack->provinces,
                    "a province entry, NAME=FILE: NAME one of the 34 names (UTF-8) or 0-33, "
                    "FILE its plain 12-byte point records (repeatable)")
        ->allow_extra_args(false);
    sub->add_option("--province-tag", pack->provinceTag, "the province table's tag, a number");
    sub->add_option("--order", pack->order,
                    "file order of the parts, comma separated (names as for --omit)")
        ->delimiter(',')
        ->allow_extra_args(false);
    sub->add_option("--shuffle", pack->shuffle, "lay the parts out in an order drawn from SEED")
        ->type_name("SEED");
    sub->add_option("--gap", pack->gap, "filler bytes before each part (default 0)");
    commands.emplace_back(sub, [pack] { return RunPack(*pack); });
}

void AddUnitCommands(CLI::App& app, GlobalOptions& options, CommandTable& commands) {
    CLI::App* info = app.add_subcommand(
        "info", "read the unit: boot version, capacity, model, layout, settings, identity, dates");
    commands.emplace_back(info, [&options] { return RunInfo(options); });

    auto create = std::make_shared<SimCreateOptions>();
    CLI::App* sim = app.add_subcommand("sim", "simulated units");
    sim->require_subcommand(1);
    CLI::App* simCreate = sim->add_subcommand("create", "make a blank simulated unit in DIR");
    simCreate->add_option("DIR", create->directory, "directory for the unit")->required();
    simCreate->add_option("--boot", create->bootVersion, "boot version (default 1011)");
    simCreate
        ->add_option("--capacity", create->capacity,
                     "bytes of each bank, a multiple of 4096 (default 16 MiB)")
        ->check(CLI::Range(4096u, kSimMaxCapacity));
    commands.emplace_back(simCreate, [create] { return RunSimCreate(*create); });
}

void AddSettingsCommands(CLI::App& app, GlobalOptions& options, CommandTable& commands) {
    CLI::App* settings = app.add_subcommand("settings", "the unit's settings block");
    settings->require_subcommand(1);

    CLI::App* show =
        settings->add_subcommand("show", "the settings `set` takes, with their values");
    commands.emplace_back(show, [&options] { return RunSettingsShow(options); });

    auto assignments = std::make_shared<std::vector<std::string>>();
    CLI::App* set = settings->add_subcommand(
        "set", "change settings with the settings window's checks, e.g. time_zone=8 x=off");
    set->add_option("KEY=VALUE", *assignments, "settings to change")->required();
    commands.emplace_back(
        set, [&options, assignments] { return RunSettingsSet(options, *assignments); });

    auto saveFile = std::make_shared<std::string>();
    CLI::App* save = settings->add_subcommand("save", "back the settings block up to FILE");
    save->add_option("FILE", *saveFile, "file to write (256 bytes)")->required();
    commands.emplace_back(save,
                          [&options, saveFile] { return RunSettingsSave(options, *saveFile); });

    auto loadFile = std::make_shared<std::string>();
    CLI::App* load = settings->add_subcommand(
        "load", "write a saved settings block back (same layout and model only)");
    load->add_option("FILE", *loadFile, "file written by `kivrel settings save`")->required();
    commands.emplace_back(load,
                          [&options, loadFile] { return RunSettingsLoad(options, *loadFile); });
}

void AddTrustOptions(CLI::App& command, TrustOptions& options) {
    command.add_option("--trusted-key", options.trustedKeyFiles,
                       "also trust version files signed with this public key (PEM, P-256); "
                       "with it, a version file must be signed");
    command.add_flag("--require-signed", options.requireSigned,
                     "refuse a version file that is not signed by a trusted key");
}

void AddUpdateCommands(CLI::App& app, GlobalOptions& options, CommandTable& commands) {
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

    auto checkArgs = std::make_shared<CheckArgs>();
    CLI::App* check =
        app.add_subcommand("check", "compare the newest online database with the unit's");
    check->add_option("--version-url", checkArgs->versionUrl,
                      "the version file to use instead of the unit's own");
    AddTrustOptions(*check, checkArgs->trust);
    commands.emplace_back(check, [&options, checkArgs] { return RunCheck(options, *checkArgs); });
}

void AddSignVersionCommand(CLI::App& app, CommandTable& commands) {
    auto args = std::make_shared<SignArgs>();
#ifdef _WIN32
    // Signing is done with the Linux or macOS tool; this one only says so.
    CLI::App* sign = app.add_subcommand(
        "sign-version", "(Linux and macOS only) write the signed version file for an archive");
    sign->allow_extras();
#else
    CLI::App* sign = app.add_subcommand(
        "sign-version", "write the signed version file a server publishes for an archive");
    sign->add_option("--key", args->key, "the vendor's private key (PEM, P-256, unencrypted)")
        ->required();
    sign->add_option("--version", args->version, "the database's version, YYYYMMDD")->required();
    sign->add_option("--url", args->url, "the address the archive is published at")->required();
    sign->add_option("ARCHIVE", args->archive, "the archive (.zip, .7z or .rar)")->required();
#endif
    commands.emplace_back(sign, [args] { return RunSignVersion(*args); });
}

void AddReportCommand(CLI::App& app, GlobalOptions& options, CommandTable& commands) {
    auto out = std::make_shared<std::string>();
    CLI::App* report = app.add_subcommand(
        "report",
        "write one file for support: versions, system, the unit, its settings, and "
        "the last update with its trace");
    report->add_option("OUT", *out,
                       "the file to write (default kivrel-report-YYYYMMDD-HHMMSS.txt here; - "
                       "for standard output)");
    commands.emplace_back(report, [&options, out] { return RunReport(options, *out); });
}

void AddCommands(CLI::App& app, GlobalOptions& options, CommandTable& commands) {
    AddInspectCommand(app, options, commands);
    AddPackCommand(app, commands);
    AddUnitCommands(app, options, commands);
    AddSettingsCommands(app, options, commands);
    AddUpdateCommands(app, options, commands);
    AddReportCommand(app, options, commands);
    AddSignVersionCommand(app, commands);
}

}  // namespace

void BuildCommandLine(CLI::App& app, GlobalOptions& options, CommandTable& commands) {
    app.fallthrough();  // global options may also stand after the command
    app.require_subcommand(1);
    app.set_version_flag("--version", "kivrel " KIVREL_VERSION, "print the version and exit");
    app.add_option("--device", options.device, "hid (the default) or sim:DIR")->type_name("SPEC");
    app.add_option("--trace", options.traceFile, "append every report exchanged with the unit")
        ->type_name("FILE");
    app.add_flag("--yes", options.yes, "answer every question with Yes");
    app.add_flag("--json", options.json, "machine-readable output");
    app.add_option("--timeout-ms", options.timeoutMs, "bound on one report's wait")
        ->check(CLI::Range(1u, 3600000u));
    AddNetworkOptions(app, options.network);
    AddCommands(app, options, commands);
    TreatSlashesAsPaths(app);
}

int RunKivrel(std::vector<std::string> args, const CliEnvironment& environment) {
    GlobalOptions options;
    options.environment = environment;
    CLI::App app{"kivrel: read and update GPS speed-camera units", "kivrel"};
    CommandTable commands;
    BuildCommandLine(app, options, commands);

    // CLI11 parses back to front from a vector holding the arguments in reverse order.
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::Success& e) {  // --help or --version: printed, nothing to run
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        app.exit(e);
        return kExitUsage;
    }
    for (const auto& [sub, run] : commands) {
        if (sub->parsed()) return run();
    }
    return kExitUsage;
}

}  // namespace kivrel::cli
