// `kivrel sign-version` on Windows: signing is the vendor's job, done with the Linux or macOS
// tool; this one checks signatures only, and says so.

#include <CLI/CLI.hpp>
#include <cstdio>

#include "cli/commands.h"

namespace kivrel::cli {

void RegisterSignVersionCommand(CLI::App& app, CommandTable& commands) {
    CLI::App* sign = app.add_subcommand(
        "sign-version", "(Linux and macOS only) write the signed version file for an archive");
    sign->allow_extras();
    commands.emplace_back(sign, [] {
        std::fprintf(stderr,
                     "kivrel sign-version: signing is done with the Linux or macOS kivrel; "
                     "kivrel.exe checks signatures only.\n");
        return kExitFailure;
    });
}

}  // namespace kivrel::cli
