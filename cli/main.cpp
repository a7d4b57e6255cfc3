// kivrel: the command-line tool for Linux, macOS, Windows and scripts.

#include "cli/main.h"

#include <CLI/CLI.hpp>

#include "cli/cli_options.h"
#include "cli/commands.h"
#include "kivrel_version.h"

namespace kivrel::cli {

namespace {

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
