#pragma once
// Each group of commands registers itself here; main runs the one that was parsed.

#include <functional>
#include <utility>
#include <vector>

#include "cli/cli_options.h"

namespace CLI {
class App;
}

namespace kivrel::cli {

using CommandTable = std::vector<std::pair<CLI::App*, std::function<int()>>>;

void RegisterCommands(CLI::App& app, GlobalOptions& options, CommandTable& commands);

// One group per file: inspect; pack; info and sim; settings; update and check; report;
// sign-version.
void RegisterInspectCommand(CLI::App& app, GlobalOptions& options, CommandTable& commands);
void RegisterPackCommand(CLI::App& app, CommandTable& commands);
void RegisterUnitCommands(CLI::App& app, GlobalOptions& options, CommandTable& commands);
void RegisterSettingsCommands(CLI::App& app, GlobalOptions& options, CommandTable& commands);
void RegisterUpdateCommands(CLI::App& app, GlobalOptions& options, CommandTable& commands);
void RegisterReportCommand(CLI::App& app, GlobalOptions& options, CommandTable& commands);
void RegisterSignVersionCommand(CLI::App& app, CommandTable& commands);

}  // namespace kivrel::cli
