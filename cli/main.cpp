// kivrel: the command-line tool for Linux, macOS, Windows and scripts.

#include "cli/main.h"

#include <CLI/CLI.hpp>

#include "cli/cli_options.h"
#include "cli/commands.h"

namespace kivrel::cli {

int RunKivrel(std::vector<std::string> args) {
    GlobalOptions options;
    CLI::App app{"kivrel: read and update GPS speed-camera units", "kivrel"};
    app.fallthrough();  // global options may also stand after the command
    app.require_subcommand(1);
    app.add_option("--device", options.device, "hid (the default) or sim:DIR")
        ->type_name("SPEC");
    app.add_option("--trace", options.traceFile, "append every report exchanged with the unit")
        ->type_name("FILE");
    app.add_flag("--yes", options.yes, "answer every question with Yes");
    app.add_flag("--json", options.json, "machine-readable output");
    app.add_option("--timeout-ms", options.timeoutMs, "bound on one report's wait")
        ->check(CLI::Range(1u, 3600000u));

    CommandTable commands;
    RegisterCommands(app, options, commands);

    // CLI11 parses back to front from a vector holding the arguments in reverse order.
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
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
