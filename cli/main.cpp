// kivrel: the command-line tool for Linux, macOS, Windows and scripts.

#include "cli/main.h"

#include <CLI/CLI.hpp>

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
    RegisterCommands(app, options, commands);
    TreatSlashesAsPaths(app);
}

int RunKivrel(std::vector<std::string> args) {
    GlobalOptions options;
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
